// D3DXCreateTextureFromFileExA on the recording device: what it fills at the device's pitch for
// each kind of image, mip level and format; clean refusals of damaged files and fuzz findings.
#include "platform/d3dx/image.h"
#include "platform/platform.h"
#include "platform/texel_layout.h"
#include "support/recording_device.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using tundra_test::RecordingDevice;
using tundra_test::RecordingTexture;

namespace {

std::string Le(uint32_t v, int bytes = 4) {
    std::string s;
    for (int i = 0; i < bytes; ++i) s += char((v >> (8 * i)) & 0xFF);
    return s;
}
std::string Bytes(std::initializer_list<int> v) { return std::string(v.begin(), v.end()); }
std::string Poke(std::string s, size_t at, uint32_t v, int bytes = 4) {
    return s.replace(at, size_t(bytes), Le(v, bytes));
}
std::string Insert(std::string s, size_t at, const std::string& what) { return s.insert(at, what); }
std::string ReadFile(const std::string& relative) {
    std::ifstream in(std::string(TUNDRA_SOURCE_DIR) + "/tests/" + relative, std::ios::binary);
    EXPECT_TRUE(in.is_open()) << relative;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A BMP file as the format describes it (colours 0xRRGGBB, masks after a
// 40-byte header or inside a larger one); wrong values are poked in later.
std::string Bmp(int32_t width, int32_t height, uint16_t bpp, const std::string& pixels,
                const std::vector<uint32_t>& palette = {}, uint32_t compression = 0,
                const std::vector<uint32_t>& masks = {}, uint32_t headerSize = 40) {
    std::string info = Le(headerSize);
    if (headerSize == 12) {
        info += Le(width, 2) + Le(height, 2) + Le(1, 2) + Le(bpp, 2);
    } else {
        info += Le(width) + Le(height) + Le(1, 2) + Le(bpp, 2) + Le(compression) +
                Le(pixels.size()) + Le(2835) + Le(2835) + Le(palette.size()) + Le(0);
        for (uint32_t mask : masks) info += Le(mask);
        info.resize(std::max<size_t>(info.size(), headerSize), '\0');
    }
    for (uint32_t colour : palette) info += Le(colour, headerSize == 12 ? 3 : 4);
    return "BM" + Le(14 + info.size() + pixels.size()) + Le(0) + Le(14 + info.size()) + info +
           pixels;
}

// Rows of 24-bit pixels (0xRRGGBB) in file order, each padded to 4 bytes.
std::string Rows24(const std::vector<std::vector<uint32_t>>& rows) {
    std::string bytes;
    for (const auto& row : rows) {
        for (uint32_t p : row) bytes += Le(p, 3);
        bytes.resize((bytes.size() + 3) / 4 * 4, '\0');
    }
    return bytes;
}
// 8-bit run-length BMP of 4 × 2 (height -2: top-down) with this stream.
std::string Rle8(const std::string& stream, int32_t height = 2) {
    return Bmp(4, height, 8, stream, {0, 0xFFFFFF}, 1);
}
std::string Png(int width, int height, int channels, std::vector<unsigned char> pixels) {
    std::string png;
    auto append = [](void* out, void* data, int n) {
        static_cast<std::string*>(out)->append((char*)data, size_t(n));
    };
    stbi_write_png_to_func(append, &png, width, height, channels, pixels.data(), width * channels);
    return png;
}
const std::string kRgbaPng =
    Png(2, 2, 4, {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0, 10, 20, 30, 255});
// An empty IDAT chunk (CRC included) before the first one: legal, carries nothing.
const std::string kPaddedPng =
    Insert(kRgbaPng, kRgbaPng.find("IDAT") - 4,
           Bytes({0, 0, 0, 0, 'I', 'D', 'A', 'T', 0x35, 0xAF, 0x06, 0x1E}));

// The bytes of texel (x, y) of a level, little-endian, in the texture's format.
uint32_t TexelOf(RecordingTexture& t, UINT level, UINT x, UINT y) {
    const UINT size = texel_layout::BytesPerTexel(t.format());
    D3DLOCKED_RECT locked{};
    t.LockRect(level, &locked, nullptr, 0);
    const BYTE* texel = static_cast<const BYTE*>(locked.pBits) + y * locked.Pitch + x * size;
    uint32_t value = 0;
    for (UINT i = 0; i < size; ++i) value |= uint32_t(texel[i]) << (8 * i);
    t.UnlockRect(level);
    return value;
}

class TextureLoad : public ::testing::Test {
protected:
    void TearDown() override {
        if (texture) texture->Release();
        EXPECT_EQ(device.problems(), std::vector<std::string>{});
    }
    // Writes data/t.img and loads it as InitGeometry does, unless told otherwise.
    HRESULT load(const std::string& content, D3DFORMAT format = D3DFMT_UNKNOWN,
                 UINT mips = D3DX_DEFAULT, UINT width = D3DX_DEFAULT, UINT height = D3DX_DEFAULT) {
        if (texture) texture->Release();
        texture = reinterpret_cast<IDirect3DTexture8*>(&device);  // must be reset on failure
        scratch.writeData("t.img", content);
        return D3DXCreateTextureFromFileExA(&device, "data\\t.img", width, height, mips, 0, format,
                                            D3DPOOL_MANAGED, D3DX_FILTER_TRIANGLE,
                                            D3DX_FILTER_TRIANGLE, 0, &info, nullptr, &texture);
    }

    ScratchDir scratch;
    RecordingDevice device;
    IDirect3DTexture8* texture = nullptr;
    D3DXIMAGE_INFO info{};
};

using Texel = std::array<uint32_t, 4>;  // level, x, y, value in the texture's format
struct Variant {
    std::string name, file;
    D3DFORMAT made, source;  // source: what the file's pixels are (info.Format)
    UINT levels;
    std::pair<UINT, UINT> size;  // of the image
    std::vector<Texel> texels;
    D3DFORMAT asked;
    int tolerance;  // per 8-bit channel, for JPEG
    UINT mips, width, height;
};
const D3DFORMAT kAny = D3DFMT_UNKNOWN, kXRGB = D3DFMT_X8R8G8B8, kARGB = D3DFMT_A8R8G8B8,
                kRGB = D3DFMT_R8G8B8;
Variant V(const std::string& name, std::string file, D3DFORMAT made, D3DFORMAT source, UINT levels,
          std::pair<UINT, UINT> size, std::vector<Texel> texels, D3DFORMAT asked = kAny,
          int tolerance = 0, UINT mips = D3DX_DEFAULT, UINT width = D3DX_DEFAULT,
          UINT height = D3DX_DEFAULT) {
    return {name, file, made, source, levels, size, texels, asked, tolerance, mips, width, height};
}
// Texels (A, R, G, B) = (0x80, 0xFF, 0x80, 0x00) and (0x7F, 0x10, 0x20, 0x30) in `format`.
const std::string kAlphaPair = Bmp(2, 1, 32, Bytes({0, 0x80, 0xFF, 0x80, 0x30, 0x20, 0x10, 0x7F}),
                                   {}, 3, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, 108);
const std::string kGreyJpeg = ReadFile("images/grey.jpg");  // 8 x 8 of grey 128, one component
Variant Conv(D3DFORMAT format, uint32_t first, uint32_t second) {
    return V("to format " + std::to_string(format), kAlphaPair, format, kARGB, 2, {2, 1},
             {{0, 0, 0, first}, {0, 1, 0, second}}, format);
}

const Variant kVariants[] = {
    V("24-bit bottom-up, padded rows",
      Bmp(3, 2, 24, Rows24({{0x0000FF, 0x00FF00, 0xFF0000}, {0x102030, 0x405060, 0x708090}})),
      kXRGB, kRGB, 2, {3, 2},
      {{0, 0, 0, 0xFF102030}, {0, 2, 0, 0xFF708090}, {0, 0, 1, 0xFF0000FF}, {0, 2, 1, 0xFFFF0000}}),
    V("24-bit top-down", Bmp(2, -2, 24, Rows24({{0x112233, 0x445566}, {0x778899, 0xAABBCC}})),
      kXRGB, kRGB, 2, {2, 2}, {{0, 1, 0, 0xFF445566}, {0, 0, 1, 0xFF778899}}),
    V("1-bit core header", Bmp(2, 1, 1, Bytes({0x40, 0, 0, 0}), {0, 0xC0FFEE}, 0, {}, 12), kXRGB,
      kXRGB, 2, {2, 1}, {{0, 0, 0, 0xFF000000}, {0, 1, 0, 0xFFC0FFEE}}),
    V("1-bit", Bmp(3, 2, 1, Bytes({0xA0, 0, 0, 0, 0x40, 0, 0, 0}), {0, 0xFFFFFF}), kXRGB, kXRGB, 2,
      {3, 2}, {{0, 1, 0, 0xFFFFFFFF}, {0, 0, 0, 0xFF000000}, {0, 2, 1, 0xFFFFFFFF}}),
    V("4-bit, an index outside the palette is black",
      Bmp(3, 1, 4, Bytes({0x21, 0x90, 0, 0}), {0, 0x111111, 0x222222}), kXRGB, kXRGB, 2, {3, 1},
      {{0, 0, 0, 0xFF222222}, {0, 1, 0, 0xFF111111}, {0, 2, 0, 0xFF000000}}),
    V("16-bit 5-5-5: red, blue 16 of 31", Bmp(2, 1, 16, Bytes({0x00, 0x7C, 0x10, 0x00})), kXRGB,
      D3DFMT_X1R5G5B5, 2, {2, 1}, {{0, 0, 0, 0xFFFF0000}, {0, 1, 0, 0xFF000084}}),
    V("16-bit 5-6-5 masks: green, green 1 of 63",
      Bmp(2, 1, 16, Bytes({0xE0, 0x07, 0x20, 0x00}), {}, 3, {0xF800, 0x07E0, 0x001F}),
      D3DFMT_R5G6B5, D3DFMT_R5G6B5, 2, {2, 1}, {{0, 0, 0, 0x07E0}, {0, 1, 0, 0x0020}},
      D3DFMT_R5G6B5),
    V("32-bit alpha mask, all alpha 0: opaque",
      Bmp(2, 1, 32, Bytes({0x30, 0x20, 0x10, 0, 0, 0, 0xFF, 0}), {}, 3,
          {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, 108),
      kXRGB, kARGB, 2, {2, 1}, {{0, 0, 0, 0xFF102030}}),
    V("32-bit alpha, its mean at level 1", kAlphaPair, kARGB, kARGB, 2, {2, 1},
      {{0, 0, 0, 0x80FF8000}, {0, 1, 0, 0x7F102030}, {1, 0, 0, 0x80885018}}),
    Conv(D3DFMT_X1R5G5B5, 0xFE00, 0x8886),
    Conv(D3DFMT_A1R5G5B5, 0xFE00, 0x0886),  // alpha from 128 up
    Conv(D3DFMT_A4R4G4B4, 0x8F80, 0x7123),
    Conv(D3DFMT_X4R4G4B4, 0xFF80, 0xF123),
    Conv(D3DFMT_R5G6B5, 0xFC00, 0x1106),
    Conv(D3DFMT_L8, 151, 29),
    Conv(D3DFMT_A8, 0x80, 0x7F),
    Conv(D3DFMT_R8G8B8, 0xFF8000, 0x102030),
    V("RLE8 runs, literals, deltas, line ends",
      Bmp(5, 3, 8, Bytes({2, 1, 0, 3, 2, 3, 2, 0, 0, 0, 0, 2, 1, 1, 2, 3, 0, 1}),
          {0, 0xFF, 0xFF00, 0xFF0000}, 1),
      kXRGB, kXRGB, 3, {5, 3},
      {{0, 1, 2, 0xFF0000FF}, {0, 3, 2, 0xFFFF0000}, {0, 0, 0, 0xFF000000}, {0, 2, 0, 0xFFFF0000}}),
    V("RLE4 alternating runs, odd literal",
      Bmp(8, 1, 4, Bytes({5, 0x12, 0, 3, 0x32, 0x10, 0, 1}), {0, 0x111111, 0x222222, 0x333333}, 2),
      kXRGB, kXRGB, 4, {8, 1},
      {{0, 3, 0, 0xFF222222}, {0, 4, 0, 0xFF111111}, {0, 5, 0, 0xFF333333}, {0, 7, 0, 0xFF111111}}),
    V("RLE8 indices past the row end are dropped",
      Bmp(3, 2, 8, Bytes({4, 1, 0, 0, 0, 2, 1, 0, 0, 4, 2, 2, 2, 2, 0, 0, 0, 1}), {0, 0xFF, 0xFF00},
          1),
      kXRGB, kXRGB, 2, {3, 2},
      {{0, 2, 1, 0xFF0000FF}, {0, 2, 0, 0xFF00FF00}, {0, 0, 0, 0xFF000000}}),  // skipped by a delta
    // 5 -> 2: weights 2/5, 2/5, 1/5 and 1/5, 2/5, 2/5.
    V("mip chain of an odd width", Bmp(5, 1, 24, Rows24({{0xFF, 0, 0xFF, 0, 0}})), kXRGB, kRGB, 3,
      {5, 1}, {{1, 0, 0, 0xFF000099}, {1, 1, 0, 0xFF000033}, {2, 0, 0, 0xFF000066}}),
    V("one level, resized to 4 x 2", Bmp(2, 1, 24, Rows24({{0, 0xFF}})), kARGB, kRGB, 1, {2, 1},
      {{0, 1, 1, 0xFF000040}, {0, 3, 0, 0xFF0000FF}}, kARGB, 0, 1, 4, 2),
    // Texel (1, 1) samples a quarter of the way in both ways: 255 · 3/4 · 1/4 of the bottom left.
    V("one level, resized to 4 x 4", Bmp(2, 2, 24, Rows24({{0xFF, 0}, {0, 0}})), kARGB, kRGB, 1,
      {2, 2}, {{0, 1, 1, 0xFF000030}}, kARGB, 0, 1, 4, 4),
    V("PNG with alpha", kRgbaPng, kARGB, kARGB, 2, {2, 2},
      {{0, 0, 0, 0xFFFF0000}, {0, 1, 0, 0x8000FF00}, {0, 0, 1, 0x000000FF}, {1, 0, 0, 0xA0424547}}),
    V("PNG with an empty image data chunk", kPaddedPng, kARGB, kARGB, 2, {2, 2},
      {{0, 1, 0, 0x8000FF00}, {0, 1, 1, 0xFF0A141E}}),
    V("JPEG baseline, 16 x 8 halves", ReadFile("images/split.jpg"), kXRGB, kRGB, 5, {16, 8},
      {{0, 2, 5, 0xFFC86432}, {0, 13, 1, 0xFF2850DC}, {4, 0, 0, 0xFF785A87}}, kAny, 3),
    V("JPEG grey", kGreyJpeg, kXRGB, D3DFMT_L8, 4, {8, 8},
      {{0, 5, 2, 0xFF808080}, {3, 0, 0, 0xFF808080}}, kAny, 3),
    V("JPEG progressive, tables between scans", ReadFile("images/progressive.jpg"), kXRGB, kRGB, 4,
      {8, 8}, {{0, 0, 0, 0xFFFE0000}, {0, 7, 7, 0xFF0001FD}}, kAny, 3),
};

TEST_F(TextureLoad, EachImageKindFillsEveryLevelAtTheDevicePitch) {
    for (const Variant& row : kVariants) {
        SCOPED_TRACE(row.name);
        device.clearCalls();
        ASSERT_EQ(load(row.file, row.asked, row.mips, row.width, row.height), S_OK);
        RecordingTexture& t = *device.texture(int(device.textureCount()));
        EXPECT_EQ(std::make_pair<IDirect3DTexture8*>(&t, t.pool()),
                  std::make_pair(texture, D3DPOOL_MANAGED));
        EXPECT_EQ(std::make_tuple(t.format(), t.levelCount(), info.Format),
                  std::make_tuple(row.made, row.levels, row.source));
        EXPECT_EQ(info.ImageFileFormat, row.file[0] == 'B'   ? D3DXIFF_BMP
                                        : row.file[1] == 'P' ? D3DXIFF_PNG
                                                             : D3DXIFF_JPG);
        EXPECT_EQ(std::pair(info.Width, info.Height), row.size);
        EXPECT_EQ(std::pair(t.width(), t.height()),
                  row.width == D3DX_DEFAULT ? row.size : std::pair(row.width, row.height));
        EXPECT_EQ(device.count("LockRect"), row.levels);
        EXPECT_TRUE(t.paddingIntact());
        for (const auto& [level, x, y, value] : row.texels) {
            const uint32_t got = TexelOf(t, level, x, y);
            for (int c = 0; c < 4; ++c)
                EXPECT_NEAR(int((got >> 8 * c) & 0xFF), int((value >> 8 * c) & 0xFF), row.tolerance)
                    << "level " << level << " (" << x << ", " << y << ") " << std::hex << got;
        }
    }
}

struct Damaged {
    std::string name, file, reason;  // reason: part of the loader's reason
};
const std::string kBmp = Bmp(2, 2, 24, Rows24({{1, 2}, {3, 4}}));
const std::string kPng = Png(4, 4, 3, std::vector<unsigned char>(48, 0));
const std::string kJpeg = ReadFile("images/split.jpg");
const std::string kProgressive = ReadFile("images/progressive.jpg");
const size_t kSos = kJpeg.find("\xFF\xDA");
// A Huffman table segment whose 16 symbol counts add up to 16 × 255.
const std::string kHugeDht = Bytes({0xFF, 0xC4, 0x00, 0x13, 0x00}) + std::string(16, '\xFF');
Damaged Finding(const char* name, const char* reason) {
    return {name, ReadFile(std::string("fuzz_findings/image/") + name), reason};
}
const Damaged kDamaged[] = {
    {"empty", "", "not a BMP, PNG or JPEG"},
    {"BMP cut to 10 bytes", kBmp.substr(0, 10), "not a BMP"},
    {"BMP cut in its header", kBmp.substr(0, 20), "header cut short"},
    {"BMP pixels cut short", kBmp.substr(0, kBmp.size() - 3), "pixel data cut short"},
    {"BMP data offset past the end", Poke(kBmp, 10, 100000), "offset"},
    {"BMP data offset inside the header", Poke(kBmp, 10, 20), "offset"},
    {"BMP header size 41", Poke(kBmp, 14, 41), "header size not supported"},
    {"BMP 2 planes", Poke(kBmp, 26, 2, 2), "plane"},
    {"BMP width 0", Poke(kBmp, 18, 0), "no pixels"},
    {"BMP height 0", Poke(kBmp, 22, 0), "no pixels"},
    {"BMP one texel wider than the largest edge", Poke(kBmp, 18, 16385), "too large"},
    {"BMP height INT32_MIN", Poke(kBmp, 22, 0x80000000), "too large"},
    {"BMP 16384 x 16384", Poke(Poke(kBmp, 18, 16384), 22, 16384), "too large"},
    {"BMP 7 bits", Poke(kBmp, 28, 7, 2), "bit depth"},
    {"BMP JPEG compression", Poke(kBmp, 30, 4), "compression"},
    {"BMP RLE8 at 24 bits", Poke(kBmp, 30, 1), "run-length"},
    {"BMP mask not a run of bits", Bmp(2, 1, 16, Le(0), {}, 3, {0xF0F0, 0xF00, 0xF}), "mask"},
    {"BMP 52-byte header with 4 masks", Bmp(2, 1, 16, Le(0), {}, 6, {0xF00, 0xF0, 0xF, 0xF000}, 52),
     "too small for its masks"},
    {"BMP 300 colours at 4 bits", Bmp(2, 1, 4, Le(0), std::vector<uint32_t>(300)), "palette"},
    {"RLE delta below the last row", Rle8(Bytes({0, 2, 0, 3, 0, 1})), "delta"},
    {"RLE delta onto the row after the last", Rle8(Bytes({0, 2, 1, 2, 0, 1})), "delta"},
    {"RLE run after the last row", Rle8(Bytes({0, 0, 0, 0, 4, 1, 0, 1})), "last row"},
    {"RLE literal after the last row", Rle8(Bytes({0, 0, 0, 0, 0, 3, 1, 1, 1, 0, 0, 1})),
     "last row"},
    {"RLE without end mark", Rle8(Bytes({4, 1, 0, 0})), "end mark"},
    {"RLE literal cut short", Rle8(Bytes({0, 4, 1, 1})), "cut short"},
    {"RLE delta cut short", Rle8(Bytes({0, 2, 1})), "cut short"},
    {"RLE top-down", Rle8(Bytes({0, 1}), -2), "top-down"},
    {"PNG cut in half", kPng.substr(0, kPng.size() / 2), "PNG"},
    {"PNG 65536 wide", Poke(kPng, 16, 0x00000100), "not a readable PNG"},
    {"PNG unknown chunk", Poke(kPng, kPng.find("IDAT"), 0x80 << 8 | 'Q', 2),
     "Q?AT PNG chunk not known"},
    {"JPEG Huffman table after an empty segment",
     Insert(kJpeg, kSos, Bytes({0xFF, 0xE1, 0x00, 0x02}) + kHugeDht), "Huffman table"},
    {"JPEG scan with an undefined AC table", Poke(kJpeg, kSos + 6, 0x03, 1), "does not define"},
    {"JPEG scan with an undefined DC table", Poke(kJpeg, kSos + 6, 0x20, 1), "does not define"},
    // Missing bytes count as zeros, as the decoder reads them: no frame size to judge.
    {"JPEG cut after its frame's length", kJpeg.substr(0, kJpeg.find("\xFF\xC0") + 4),
     "not a readable"},
    {"grey JPEG undefined quantisation table",
     Poke(kGreyJpeg, kGreyJpeg.find("\xFF\xC0") + 12, 1, 1),
     "quantisation table the file does not define"},
    {"progressive JPEG undefined quantisation table",
     Poke(kProgressive, kProgressive.find("\xFF\xC2") + 18, 2, 1),
     "quantisation table the file does not define"},
    {"progressive JPEG bad table between scans",
     Poke(kProgressive, kProgressive.rfind("\xFF\xC4") + 5, 0xFFFFFFFF), "Huffman table"},
    // Found by fuzzing: stb_image 2.27 overran, read garbage, hung or crashed on these.
    Finding("huffman-table-too-many-symbols.jpg", "more than 256 symbols"),
    Finding("huffman-table-after-stray-bytes.jpg", "more than 256 symbols"),
    Finding("huffman-table-after-stuffed-ff-run.jpg", "more than 256 symbols"),
    Finding("scan-with-undefined-huffman-table.jpg", "scan uses a Huffman table the file"),
    Finding("undefined-quantisation-table.jpg", "quantisation table the file does not"),
    Finding("huge-frame-with-little-scan-data.jpg", "too little data for the image size"),
    Finding("image-data-chunk-past-the-end.png", "chunk runs past the end of the file"),
    Finding("empty-first-image-data-chunk.png", "PNG chunk not known"),
};

TEST_F(TextureLoad, DamagedFilesAreRefusedWithAPrintableReasonAndNoTexture) {
    for (const Damaged& row : kDamaged) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(load(row.file), D3DXERR_INVALIDDATA);
        EXPECT_EQ(texture, nullptr);
        const std::string& reason = tundra_d3dx::LastTextureLoadError();
        EXPECT_NE(reason.find(row.reason), std::string::npos) << reason;
        for (char c : reason) EXPECT_TRUE(c >= 0x20 && c <= 0x7E) << reason;
    }
    EXPECT_EQ(device.count("CreateTexture"), 0u);
}

TEST_F(TextureLoad, DeviceFailuresAndBadRequestsLeaveNoTextureBehind) {
    device.failCalls("CreateTexture", E_OUTOFMEMORY, 0, 1);
    EXPECT_EQ(load(kBmp), E_OUTOFMEMORY);
    EXPECT_EQ(texture, nullptr);
    device.failCalls("LockRect", D3DERR_INVALIDCALL, 1, 1);  // the second level
    EXPECT_TRUE(FAILED(load(kBmp)));
    EXPECT_EQ(texture, nullptr);
    ASSERT_EQ(device.textureCount(), 1u);
    EXPECT_EQ(device.texture(1)->refCount(), 0u);
    EXPECT_TRUE(FAILED(load(kBmp, D3DFMT_D16)));  // not a colour format
    EXPECT_EQ(device.textureCount(), 1u);
}

}  // namespace
