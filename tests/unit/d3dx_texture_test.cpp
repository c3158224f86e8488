// D3DXCreateTextureFromFileExA on the recording device: BMP files built byte
// by byte here (independent of any writer in the tree), PNG and JPEG written
// with stb_image_write (PNG) or kept as bytes (JPEG); the texels, the mip chain, and clean failures.
#include "platform/d3dx/image.h"
#include "platform/platform.h"
#include "support/recording_device.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

using tundra_test::RecordingDevice;
using tundra_test::RecordingTexture;

namespace {

void Put16(std::string& s, uint16_t v) {
    s += char(v & 0xFF);
    s += char(v >> 8);
}
void Put32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s += char((v >> (8 * i)) & 0xFF);
}
void Poke32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = char((v >> (8 * i)) & 0xFF);
}

// A BMP file as the format describes it; fields can be set to wrong values.
struct Bmp {
    int32_t width = 1, height = 1;
    uint16_t bpp = 24;
    uint32_t compression = 0;
    uint32_t headerSize = 40;       // 12 (core), 40 or 108 (V4)
    std::vector<uint32_t> palette;  // 0xRRGGBB
    uint32_t colorsUsed = 0;        // 0: the palette's length
    std::vector<uint32_t> masks;    // after a 40-byte header, inside a V4 one
    std::string pixels;

    std::string build() const {
        std::string info;
        Put32(info, headerSize);
        if (headerSize == 12) {
            Put16(info, uint16_t(width));
            Put16(info, uint16_t(height));
            Put16(info, 1);
            Put16(info, bpp);
        } else {
            Put32(info, uint32_t(width));
            Put32(info, uint32_t(height));
            Put16(info, 1);
            Put16(info, bpp);
            Put32(info, compression);
            Put32(info, uint32_t(pixels.size()));
            Put32(info, 2835);
            Put32(info, 2835);
            Put32(info, colorsUsed || palette.size() > 256 ? colorsUsed : uint32_t(palette.size()));
            Put32(info, 0);
            for (uint32_t mask : masks) Put32(info, mask);
            if (headerSize > 40) info.resize(headerSize, '\0');
        }
        for (uint32_t colour : palette) {
            info += char(colour & 0xFF);
            info += char((colour >> 8) & 0xFF);
            info += char((colour >> 16) & 0xFF);
            if (headerSize != 12) info += '\0';
        }
        std::string file = "BM";
        Put32(file, uint32_t(14 + info.size() + pixels.size()));
        Put32(file, 0);
        Put32(file, uint32_t(14 + info.size()));
        return file + info + pixels;
    }
};

// Rows of 24-bit pixels (0xRRGGBB) in file order, each padded to 4 bytes.
std::string rows24(const std::vector<std::vector<uint32_t>>& rows) {
    std::string bytes;
    for (const auto& row : rows) {
        for (uint32_t p : row) {
            bytes += char(p & 0xFF);
            bytes += char((p >> 8) & 0xFF);
            bytes += char((p >> 16) & 0xFF);
        }
        while (bytes.size() % 4) bytes += '\0';
    }
    return bytes;
}

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s += char(v);
    return s;
}

void AppendToString(void* context, void* data, int size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), size_t(size));
}

// A 16 × 8 baseline JPEG (4:4:4, quality 95): the left 8 columns are
// (200, 100, 50), the right 8 (40, 80, 220). Made with ImageMagick and kept
// here because stb's JPEG writer shifts negative values (undefined behaviour).
const unsigned char kSplitJpeg[] = {
    0xff, 0xd8, 0xff, 0xe0, 0x00, 0x10, 0x4a, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01,
    0x00, 0x01, 0x00, 0x00, 0xff, 0xdb, 0x00, 0x43, 0x00, 0x02, 0x01, 0x01, 0x01, 0x01, 0x01, 0x02,
    0x01, 0x01, 0x01, 0x02, 0x02, 0x02, 0x02, 0x02, 0x04, 0x03, 0x02, 0x02, 0x02, 0x02, 0x05, 0x04,
    0x04, 0x03, 0x04, 0x06, 0x05, 0x06, 0x06, 0x06, 0x05, 0x06, 0x06, 0x06, 0x07, 0x09, 0x08, 0x06,
    0x07, 0x09, 0x07, 0x06, 0x06, 0x08, 0x0b, 0x08, 0x09, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x06, 0x08,
    0x0b, 0x0c, 0x0b, 0x0a, 0x0c, 0x09, 0x0a, 0x0a, 0x0a, 0xff, 0xdb, 0x00, 0x43, 0x01, 0x02, 0x02,
    0x02, 0x02, 0x02, 0x02, 0x05, 0x03, 0x03, 0x05, 0x0a, 0x07, 0x06, 0x07, 0x0a, 0x0a, 0x0a, 0x0a,
    0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a,
    0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a,
    0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0x0a, 0xff, 0xc0,
    0x00, 0x11, 0x08, 0x00, 0x08, 0x00, 0x10, 0x03, 0x01, 0x11, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11,
    0x01, 0xff, 0xc4, 0x00, 0x15, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x05, 0x08, 0xff, 0xc4, 0x00, 0x14, 0x10, 0x01, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xc4,
    0x00, 0x15, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x08, 0x09, 0xff, 0xc4, 0x00, 0x14, 0x11, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0xda, 0x00, 0x0c, 0x03,
    0x01, 0x00, 0x02, 0x11, 0x03, 0x11, 0x00, 0x3f, 0x00, 0x3c, 0x57, 0x36, 0x12, 0xfa, 0xee, 0x25,
    0x5b, 0xff, 0xd9,
};

std::string splitJpeg() {
    return std::string(reinterpret_cast<const char*>(kSplitJpeg), sizeof kSplitJpeg);
}

// An 8 × 8 progressive JPEG in ten scans, red at the top left to blue at the
// bottom right (ImageMagick, gradient:red-blue, -interlace JPEG): it
// defines Huffman tables between its scans.
const unsigned char kProgressiveJpeg[] = {
    0xff, 0xd8, 0xff, 0xe0, 0x00, 0x10, 0x4a, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x00, 0x00, 0x01,
    0x00, 0x01, 0x00, 0x00, 0xff, 0xdb, 0x00, 0x43, 0x00, 0x03, 0x02, 0x02, 0x03, 0x02, 0x02, 0x03,
    0x03, 0x03, 0x03, 0x04, 0x03, 0x03, 0x04, 0x05, 0x08, 0x05, 0x05, 0x04, 0x04, 0x05, 0x0a, 0x07,
    0x07, 0x06, 0x08, 0x0c, 0x0a, 0x0c, 0x0c, 0x0b, 0x0a, 0x0b, 0x0b, 0x0d, 0x0e, 0x12, 0x10, 0x0d,
    0x0e, 0x11, 0x0e, 0x0b, 0x0b, 0x10, 0x16, 0x10, 0x11, 0x13, 0x14, 0x15, 0x15, 0x15, 0x0c, 0x0f,
    0x17, 0x18, 0x16, 0x14, 0x18, 0x12, 0x14, 0x15, 0x14, 0xff, 0xdb, 0x00, 0x43, 0x01, 0x03, 0x04,
    0x04, 0x05, 0x04, 0x05, 0x09, 0x05, 0x05, 0x09, 0x14, 0x0d, 0x0b, 0x0d, 0x14, 0x14, 0x14, 0x14,
    0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14,
    0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14,
    0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0x14, 0xff, 0xc2,
    0x00, 0x11, 0x08, 0x00, 0x08, 0x00, 0x08, 0x03, 0x01, 0x11, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11,
    0x01, 0xff, 0xc4, 0x00, 0x14, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x07, 0xff, 0xc4, 0x00, 0x15, 0x01, 0x01, 0x01, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x06, 0x07, 0xff, 0xda,
    0x00, 0x0c, 0x03, 0x01, 0x00, 0x02, 0x10, 0x03, 0x10, 0x00, 0x00, 0x01, 0x1a, 0x71, 0x47, 0xff,
    0xc4, 0x00, 0x15, 0x10, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x14, 0xff, 0xda, 0x00, 0x08, 0x01, 0x01, 0x00, 0x01, 0x05, 0x02,
    0xbd, 0xff, 0xc4, 0x00, 0x16, 0x11, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x16, 0x62, 0xff, 0xda, 0x00, 0x08, 0x01, 0x03, 0x01,
    0x01, 0x3f, 0x01, 0x70, 0xa3, 0xff, 0xc4, 0x00, 0x16, 0x11, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x16, 0x62, 0xff, 0xda, 0x00,
    0x08, 0x01, 0x02, 0x01, 0x01, 0x3f, 0x01, 0x47, 0x93, 0xff, 0xc4, 0x00, 0x15, 0x10, 0x01, 0x01,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x31,
    0xff, 0xda, 0x00, 0x08, 0x01, 0x01, 0x00, 0x06, 0x3f, 0x02, 0xaf, 0xff, 0xc4, 0x00, 0x14, 0x10,
    0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0xff, 0xda, 0x00, 0x08, 0x01, 0x01, 0x00, 0x01, 0x3f, 0x21, 0x5f, 0xff, 0xda, 0x00, 0x0c,
    0x03, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x00, 0x00, 0x10, 0xdf, 0xff, 0xc4, 0x00, 0x16, 0x11,
    0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x11, 0xf0, 0xff, 0xda, 0x00, 0x08, 0x01, 0x03, 0x01, 0x01, 0x3f, 0x10, 0xb6, 0x7f, 0xff,
    0xc4, 0x00, 0x16, 0x11, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x11, 0xf0, 0xff, 0xda, 0x00, 0x08, 0x01, 0x02, 0x01, 0x01, 0x3f,
    0x10, 0x94, 0x7f, 0xff, 0xc4, 0x00, 0x16, 0x10, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x71, 0x91, 0xff, 0xda, 0x00, 0x08, 0x01,
    0x01, 0x00, 0x01, 0x3f, 0x10, 0x45, 0x3f, 0xff, 0xd9,
};

std::string progressiveJpeg() {
    return std::string(reinterpret_cast<const char*>(kProgressiveJpeg), sizeof kProgressiveJpeg);
}

void ExpectNearColour(uint32_t texel, int r, int g, int b) {
    EXPECT_NEAR(int((texel >> 16) & 0xFF), r, 3);
    EXPECT_NEAR(int((texel >> 8) & 0xFF), g, 3);
    EXPECT_NEAR(int(texel & 0xFF), b, 3);
}

class TextureLoad : public ::testing::Test {
protected:
    ~TextureLoad() override {
        EXPECT_TRUE(device.referenceErrors().empty());
        for (const std::string& leak : device.leaks()) ADD_FAILURE() << leak;
        for (const std::string& locked : device.stillLocked()) ADD_FAILURE() << locked << " locked";
    }

    // Writes data/<name> and loads it as InitGeometry does, unless told otherwise.
    HRESULT load(const std::string& name, const std::string& content,
                 D3DFORMAT format = D3DFMT_UNKNOWN, UINT mipLevels = D3DX_DEFAULT,
                 UINT width = D3DX_DEFAULT, UINT height = D3DX_DEFAULT) {
        scratch.writeData(name, content);
        return loadExisting("data\\" + name, format, mipLevels, width, height);
    }
    HRESULT loadExisting(const std::string& path, D3DFORMAT format = D3DFMT_UNKNOWN,
                         UINT mipLevels = D3DX_DEFAULT, UINT width = D3DX_DEFAULT,
                         UINT height = D3DX_DEFAULT) {
        release();
        texture = reinterpret_cast<IDirect3DTexture8*>(&device);  // must be reset on failure
        return D3DXCreateTextureFromFileExA(&device, path.c_str(), width, height, mipLevels, 0,
                                            format, D3DPOOL_MANAGED, D3DX_FILTER_TRIANGLE,
                                            D3DX_FILTER_TRIANGLE, 0, &info, nullptr, &texture);
    }
    // The texture just loaded, as the recording device keeps it.
    RecordingTexture& loaded() {
        RecordingTexture* t = device.texture(int(device.textureCount()));
        EXPECT_EQ(static_cast<IDirect3DTexture8*>(t), texture);
        if (!t) throw std::runtime_error("no texture");
        return *t;
    }
    void release() {
        if (texture && texture != reinterpret_cast<IDirect3DTexture8*>(&device)) texture->Release();
        texture = nullptr;
    }
    // The load failed, handed out nothing, and (when given) for this reason.
    void expectCleanFailure(HRESULT hr, const std::string& because = std::string()) {
        EXPECT_TRUE(FAILED(hr));
        EXPECT_EQ(texture, nullptr);
        texture = nullptr;
        const std::string& reason = tundra_d3dx::LastTextureLoadError();
        EXPECT_FALSE(reason.empty());
        EXPECT_NE(reason.find(because), std::string::npos) << reason;
    }

    void TearDown() override { release(); }

    ScratchDir scratch;
    RecordingDevice device;
    IDirect3DTexture8* texture = nullptr;
    D3DXIMAGE_INFO info{};
};

TEST_F(TextureLoad, Reads24BitBottomUpIntoPaddedRows) {
    Bmp bmp;
    bmp.width = 3;
    bmp.height = 2;
    bmp.pixels = rows24({{0x0000FF, 0x00FF00, 0xFF0000}, {0x102030, 0x405060, 0x708090}});
    ASSERT_EQ(load("a.bmp", bmp.build()), S_OK);
    RecordingTexture& t = loaded();
    EXPECT_EQ(t.format(), D3DFMT_X8R8G8B8);
    EXPECT_EQ(t.pool(), D3DPOOL_MANAGED);
    EXPECT_EQ(t.texel(0, 0, 0), 0xFF102030u);  // top row = last row in the file
    EXPECT_EQ(t.texel(0, 2, 0), 0xFF708090u);
    EXPECT_EQ(t.texel(0, 0, 1), 0xFF0000FFu);
    EXPECT_EQ(t.texel(0, 2, 1), 0xFFFF0000u);
    EXPECT_TRUE(t.paddingIntact());
    EXPECT_FALSE(t.isLocked(0));
    EXPECT_EQ(info.Width, 3u);
    EXPECT_EQ(info.Height, 2u);
    EXPECT_EQ(info.Format, D3DFMT_R8G8B8);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_BMP);
}

TEST_F(TextureLoad, TopDownAndCoreHeaderGiveTheSameTexels) {
    Bmp bmp;
    bmp.width = 2;
    bmp.height = -2;
    bmp.pixels = rows24({{0x112233, 0x445566}, {0x778899, 0xAABBCC}});
    ASSERT_EQ(load("down.bmp", bmp.build()), S_OK);
    EXPECT_EQ(loaded().texel(0, 1, 0), 0xFF445566u);
    EXPECT_EQ(loaded().texel(0, 0, 1), 0xFF778899u);

    Bmp core;
    core.headerSize = 12;
    core.width = 2;
    core.height = 1;
    core.bpp = 8;
    core.palette = std::vector<uint32_t>(256, 0x000000);  // core headers carry a full table
    core.palette[1] = 0xC0FFEE;
    core.pixels = bytes({1, 0, 0, 0});
    ASSERT_EQ(load("core.bmp", core.build()), S_OK);
    EXPECT_EQ(loaded().texel(0, 0, 0), 0xFFC0FFEEu);
    EXPECT_EQ(loaded().texel(0, 1, 0), 0xFF000000u);
}

TEST_F(TextureLoad, ReadsPalettisedDepthsWithRowPadding) {
    Bmp one;
    one.width = 3;
    one.height = 2;
    one.bpp = 1;
    one.palette = {0x000000, 0xFFFFFF};
    one.pixels = bytes({0xA0, 0, 0, 0, 0x40, 0, 0, 0});  // bottom: 1 0 1; top: 0 1 0
    ASSERT_EQ(load("one.bmp", one.build()), S_OK);
    EXPECT_EQ(loaded().texel(0, 1, 0), 0xFFFFFFFFu);
    EXPECT_EQ(loaded().texel(0, 0, 0), 0xFF000000u);
    EXPECT_EQ(loaded().texel(0, 2, 1), 0xFFFFFFFFu);

    Bmp four;
    four.width = 3;
    four.height = 1;
    four.bpp = 4;
    four.palette = {0x000000, 0x111111, 0x222222};
    four.colorsUsed = 3;
    four.pixels = bytes({0x21, 0x90, 0, 0});  // 2, 1, 9 (outside the palette)
    ASSERT_EQ(load("four.bmp", four.build()), S_OK);
    EXPECT_EQ(loaded().texel(0, 0, 0), 0xFF222222u);
    EXPECT_EQ(loaded().texel(0, 1, 0), 0xFF111111u);
    EXPECT_EQ(loaded().texel(0, 2, 0), 0xFF000000u);

    Bmp eight;
    eight.width = 2;
    eight.height = 1;
    eight.bpp = 8;
    eight.palette = std::vector<uint32_t>(256, 0x010203);
    eight.palette[200] = 0xFA8072;
    eight.pixels = bytes({200, 7, 0, 0});
    ASSERT_EQ(load("eight.bmp", eight.build()), S_OK);
    EXPECT_EQ(loaded().texel(0, 0, 0), 0xFFFA8072u);
    EXPECT_EQ(loaded().texel(0, 1, 0), 0xFF010203u);
}

TEST_F(TextureLoad, Reads16BitAs555Or565AndConvertsOnRequest) {
    Bmp rgb555;
    rgb555.width = 2;
    rgb555.bpp = 16;
    rgb555.pixels = bytes({0x00, 0x7C, 0x10, 0x00});  // pure red, blue 16 of 31
    ASSERT_EQ(load("555.bmp", rgb555.build()), S_OK);
    EXPECT_EQ(loaded().texel(0, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(loaded().texel(0, 1, 0), 0xFF000084u);  // 16 × 255 / 31 rounded = 132
    EXPECT_EQ(info.Format, D3DFMT_X1R5G5B5);

    Bmp rgb565 = rgb555;
    rgb565.compression = 3;
    rgb565.masks = {0xF800, 0x07E0, 0x001F};
    rgb565.pixels = bytes({0xE0, 0x07, 0x20, 0x00});  // pure green, green 1 of 63
    ASSERT_EQ(load("565.bmp", rgb565.build(), D3DFMT_R5G6B5), S_OK);
    EXPECT_EQ(loaded().format(), D3DFMT_R5G6B5);
    EXPECT_EQ(loaded().texel16(0, 0, 0), 0x07E0u);
    EXPECT_EQ(loaded().texel16(0, 1, 0), 0x0020u);
    EXPECT_EQ(info.Format, D3DFMT_R5G6B5);
}

TEST_F(TextureLoad, Reads32BitWithAndWithoutAlpha) {
    Bmp plain;
    plain.width = 1;
    plain.bpp = 32;
    plain.pixels = bytes({0x30, 0x20, 0x10, 0x00});  // the fourth byte means nothing here
    ASSERT_EQ(load("x.bmp", plain.build()), S_OK);
    EXPECT_EQ(loaded().format(), D3DFMT_X8R8G8B8);
    EXPECT_EQ(loaded().texel(0, 0, 0), 0xFF102030u);

    Bmp alpha;
    alpha.width = 2;
    alpha.bpp = 32;
    alpha.compression = 3;
    alpha.headerSize = 108;
    alpha.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    alpha.pixels = bytes({0x30, 0x20, 0x10, 0x80, 0x00, 0x00, 0xFF, 0xFF});
    ASSERT_EQ(load("a.bmp", alpha.build()), S_OK);
    EXPECT_EQ(loaded().format(), D3DFMT_A8R8G8B8);
    EXPECT_EQ(loaded().texel(0, 0, 0), 0x80102030u);
    EXPECT_EQ(loaded().texel(0, 1, 0), 0xFFFF0000u);
    EXPECT_EQ(info.Format, D3DFMT_A8R8G8B8);

    alpha.pixels = bytes({0x30, 0x20, 0x10, 0x00, 0x00, 0x00, 0xFF, 0x00});  // alpha unused
    ASSERT_EQ(load("a0.bmp", alpha.build()), S_OK);
    EXPECT_EQ(loaded().format(), D3DFMT_X8R8G8B8);
    EXPECT_EQ(loaded().texel(0, 0, 0), 0xFF102030u);
}

TEST_F(TextureLoad, DecodesRle8RunsLiteralsDeltasAndLineEnds) {
    Bmp rle;
    rle.width = 5;
    rle.height = 3;
    rle.bpp = 8;
    rle.compression = 1;
    rle.palette = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000};
    rle.pixels = bytes({2, 1,              // bottom row: 1 1
                        0, 3, 2, 3, 2, 0,  // then literal 2 3 2, padded to a word
                        0, 0,              // end of line
                        0, 2, 1, 1,        // delta: skip one texel and one row
                        2, 3,              // top row from x 1: 3 3
                        0, 1});            // end of bitmap
    ASSERT_EQ(load("rle8.bmp", rle.build()), S_OK);
    RecordingTexture& t = loaded();
    EXPECT_EQ(t.texel(0, 0, 2), 0xFF0000FFu);
    EXPECT_EQ(t.texel(0, 1, 2), 0xFF0000FFu);
    EXPECT_EQ(t.texel(0, 2, 2), 0xFF00FF00u);
    EXPECT_EQ(t.texel(0, 3, 2), 0xFFFF0000u);
    EXPECT_EQ(t.texel(0, 4, 2), 0xFF00FF00u);
    EXPECT_EQ(t.texel(0, 0, 1), 0xFF000000u);  // the middle row was skipped
    EXPECT_EQ(t.texel(0, 0, 0), 0xFF000000u);  // skipped by the delta
    EXPECT_EQ(t.texel(0, 1, 0), 0xFFFF0000u);
    EXPECT_EQ(t.texel(0, 2, 0), 0xFFFF0000u);
    EXPECT_EQ(t.texel(0, 3, 0), 0xFF000000u);  // left unwritten by the end of bitmap
}

TEST_F(TextureLoad, DecodesRle4AlternatingRunsAndOddLiterals) {
    Bmp rle;
    rle.width = 8;
    rle.height = 1;
    rle.bpp = 4;
    rle.compression = 2;
    rle.palette = {0x000000, 0x111111, 0x222222, 0x333333};
    rle.pixels = bytes({5, 0x12,           // 1 2 1 2 1
                        0, 3, 0x32, 0x10,  // literal 3 2 1 (two bytes, already a word)
                        0, 1});
    ASSERT_EQ(load("rle4.bmp", rle.build()), S_OK);
    const uint32_t expected[8] = {1, 2, 1, 2, 1, 3, 2, 1};
    for (uint32_t x = 0; x < 8; ++x)
        EXPECT_EQ(loaded().texel(0, x, 0), 0xFF000000u | (expected[x] * 0x111111u)) << x;
}

TEST_F(TextureLoad, DropsRunLengthIndicesPastTheRowEnd) {
    // Writers such as ImageMagick code rows out to their padded width.
    Bmp rle;
    rle.width = 3;
    rle.height = 2;
    rle.bpp = 8;
    rle.compression = 1;
    rle.palette = {0x000000, 0x0000FF, 0x00FF00};
    rle.pixels = bytes({4, 1, 0, 0,              // bottom row: 1 1 1 (+1 dropped)
                        0, 5, 2, 2, 2, 2, 2, 0,  // top row: 2 2 2 (+2 dropped)
                        0, 0, 0, 1});
    ASSERT_EQ(load("padded.bmp", rle.build()), S_OK);
    EXPECT_EQ(loaded().texel(0, 2, 1), 0xFF0000FFu);
    EXPECT_EQ(loaded().texel(0, 0, 0), 0xFF00FF00u);
    EXPECT_EQ(loaded().texel(0, 2, 0), 0xFF00FF00u);
    EXPECT_TRUE(loaded().paddingIntact());
}

TEST_F(TextureLoad, BuildsAFullMipChainOfAreaAverages) {
    // 4 × 2: columns alternate 0 and 200 in red; rows differ in blue.
    Bmp bmp;
    bmp.width = 4;
    bmp.height = 2;
    bmp.pixels = rows24(
        {{0x000000, 0xC80000, 0x000000, 0xC80000}, {0x000064, 0xC80064, 0x000064, 0xC80064}});
    ASSERT_EQ(load("mip.bmp", bmp.build()), S_OK);
    RecordingTexture& t = loaded();
    ASSERT_EQ(t.levelCount(), 3u);  // 4×2, 2×1, 1×1
    EXPECT_EQ(t.width(1), 2u);
    EXPECT_EQ(t.height(1), 1u);
    EXPECT_EQ(t.texel(1, 0, 0), 0xFF640032u);  // red (0+200)/2, blue (0+100)/2
    EXPECT_EQ(t.texel(2, 0, 0), 0xFF640032u);
    EXPECT_EQ(device.count("LockRect"), 3u);
    EXPECT_EQ(device.count("UnlockRect"), 3u);
    EXPECT_TRUE(t.paddingIntact());

    // Odd width 5 → 2: texel 0 covers texels 0, 1, 2 with weights 2/5, 2/5,
    // 1/5, texel 1 covers texels 2, 3, 4 with 1/5, 2/5, 2/5.
    Bmp odd;
    odd.width = 5;
    odd.pixels = rows24({{0x0000FF, 0x000000, 0x0000FF, 0x000000, 0x000000}});
    ASSERT_EQ(load("odd.bmp", odd.build()), S_OK);
    ASSERT_EQ(loaded().levelCount(), 3u);             // 5, 2, 1
    EXPECT_EQ(loaded().texel(1, 0, 0), 0xFF000099u);  // 255 × 3/5 = 153
    EXPECT_EQ(loaded().texel(1, 1, 0), 0xFF000033u);  // 255 × 1/5 = 51
    EXPECT_EQ(loaded().texel(2, 0, 0), 0xFF000066u);  // (153 + 51) / 2

    ASSERT_EQ(load("one-level.bmp", odd.build(), D3DFMT_UNKNOWN, 1), S_OK);
    EXPECT_EQ(loaded().levelCount(), 1u);
}

TEST_F(TextureLoad, ResizesToAnExplicitSize) {
    Bmp bmp;
    bmp.width = 2;
    bmp.height = 2;
    bmp.pixels = rows24({{0x406080, 0x406080}, {0x406080, 0x406080}});
    ASSERT_EQ(load("r.bmp", bmp.build(), D3DFMT_A8R8G8B8, 1, 8, 4), S_OK);
    EXPECT_EQ(loaded().width(), 8u);
    EXPECT_EQ(loaded().height(), 4u);
    EXPECT_EQ(loaded().format(), D3DFMT_A8R8G8B8);
    EXPECT_EQ(loaded().texel(0, 7, 3), 0xFF406080u);
    EXPECT_EQ(info.Width, 2u);
}

TEST_F(TextureLoad, ReadsPngWithAlphaAndJpeg) {
    const unsigned char rgba[2 * 2 * 4] = {255, 0, 0,   255, 0,  255, 0,  128,
                                           0,   0, 255, 0,   10, 20,  30, 255};
    std::string png;
    ASSERT_NE(stbi_write_png_to_func(AppendToString, &png, 2, 2, 4, rgba, 8), 0);
    ASSERT_EQ(load("t.png", png), S_OK);
    EXPECT_EQ(loaded().format(), D3DFMT_A8R8G8B8);
    EXPECT_EQ(loaded().texel(0, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(loaded().texel(0, 1, 0), 0x8000FF00u);
    EXPECT_EQ(loaded().texel(0, 0, 1), 0x000000FFu);
    EXPECT_EQ(loaded().texel(0, 1, 1), 0xFF0A141Eu);
    EXPECT_EQ(loaded().texel(1, 0, 0), 0xA0424547u);  // mean of the four, per channel
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_PNG);

    ASSERT_EQ(load("t.jpg", splitJpeg()), S_OK);
    RecordingTexture& t = loaded();
    EXPECT_EQ(t.format(), D3DFMT_X8R8G8B8);
    EXPECT_EQ(t.levelCount(), 5u);
    ExpectNearColour(t.texel(0, 2, 5), 200, 100, 50);
    ExpectNearColour(t.texel(0, 13, 1), 40, 80, 220);
    ExpectNearColour(t.texel(4, 0, 0), 120, 90, 135);  // the mean of both halves
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_JPG);
    EXPECT_EQ(info.Format, D3DFMT_R8G8B8);
}

// --- damaged and unusable files ---------------------------------------------

Bmp SmallBmp() {
    Bmp bmp;
    bmp.width = 2;
    bmp.height = 2;
    bmp.pixels = rows24({{1, 2}, {3, 4}});
    return bmp;
}

TEST_F(TextureLoad, MissingEmptyAndForeignFilesFail) {
    expectCleanFailure(loadExisting("data\\nothing.bmp"));
    expectCleanFailure(load("empty.bmp", ""));
    expectCleanFailure(load("text.bmp", "// just some text, not an image\n"));
    expectCleanFailure(load("gif.bmp", "GIF89a\x01\x00\x01\x00"));
    expectCleanFailure(loadExisting("data"));  // a directory
    EXPECT_EQ(device.count("CreateTexture"), 0u);
}

TEST_F(TextureLoad, TruncatedOrMisplacedBmpDataFails) {
    std::string good = SmallBmp().build();
    expectCleanFailure(load("cut.bmp", good.substr(0, 10)), "not a BMP");
    expectCleanFailure(load("cut.bmp", good.substr(0, 20)), "header cut short");
    expectCleanFailure(load("cut.bmp", good.substr(0, 54)), "offset");
    expectCleanFailure(load("cut.bmp", good.substr(0, good.size() - 3)), "pixel data cut short");

    std::string pastEnd = good;
    Poke32(pastEnd, 10, 100000);
    expectCleanFailure(load("offset.bmp", pastEnd));
    std::string insideHeader = good;
    Poke32(insideHeader, 10, 20);
    expectCleanFailure(load("inside.bmp", insideHeader));
    std::string oddHeader = good;
    Poke32(oddHeader, 14, 41);
    expectCleanFailure(load("hdr.bmp", oddHeader));
    EXPECT_EQ(device.count("CreateTexture"), 0u);
}

TEST_F(TextureLoad, ImpossibleBmpFieldsFail) {
    auto variant = [](auto change) {
        Bmp bmp = SmallBmp();
        change(bmp);
        return bmp.build();
    };
    expectCleanFailure(load("w0.bmp", variant([](Bmp& b) { b.width = 0; })), "no pixels");
    expectCleanFailure(load("h0.bmp", variant([](Bmp& b) { b.height = 0; })), "no pixels");
    expectCleanFailure(load("wneg.bmp", variant([](Bmp& b) { b.width = -2; })), "no pixels");
    expectCleanFailure(load("huge.bmp", variant([](Bmp& b) { b.width = 100000; })), "too large");
    expectCleanFailure(load("many.bmp", variant([](Bmp& b) { b.width = b.height = 16384; })),
                       "too large");
    expectCleanFailure(load("hmin.bmp", variant([](Bmp& b) { b.height = INT32_MIN; })),
                       "too large");
    expectCleanFailure(load("bpp7.bmp", variant([](Bmp& b) { b.bpp = 7; })), "bit depth");
    expectCleanFailure(load("jpeg.bmp", variant([](Bmp& b) { b.compression = 4; })), "compression");
    expectCleanFailure(load("rlebpp.bmp", variant([](Bmp& b) { b.compression = 1; })),
                       "run-length");
    expectCleanFailure(load("mask.bmp", variant([](Bmp& b) {
                                b.bpp = 16;
                                b.compression = 3;
                                b.masks = {0xF0F0, 0x0F00, 0x000F};  // not a run of bits
                            })),
                       "mask");
    expectCleanFailure(load("palette.bmp", variant([](Bmp& b) {
                                b.bpp = 4;
                                b.colorsUsed = 300;
                                b.palette = std::vector<uint32_t>(300, 0);
                            })),
                       "palette");
    std::string planes = SmallBmp().build();
    planes[26] = 2;
    expectCleanFailure(load("planes.bmp", planes), "plane");
    EXPECT_EQ(device.count("CreateTexture"), 0u);
}

TEST_F(TextureLoad, BadRunLengthStreamsFail) {
    Bmp rle;
    rle.width = 4;
    rle.height = 2;
    rle.bpp = 8;
    rle.compression = 1;
    rle.palette = {0, 0xFFFFFF};
    const std::vector<std::pair<std::string, std::string>> streams = {
        {bytes({0, 2, 0, 3, 0, 1}), "delta"},           // delta below the last row
        {bytes({0, 2, 1, 2, 0, 1}), "delta"},           // delta onto the row after the last
        {bytes({0, 0, 0, 0, 4, 1, 0, 1}), "last row"},  // run after the last row
        {bytes({0, 0, 0, 0, 0, 3, 1, 1, 1, 0, 0, 1}), "last row"},  // literal after the last row
        {bytes({4, 1, 0, 0}), "end mark"},                          // no end-of-bitmap mark
        {bytes({0, 4, 1, 1}), "cut short"},                         // literal cut short
        {bytes({0, 2, 1}), "cut short"},                            // delta cut short
    };
    for (const auto& [stream, because] : streams) {
        rle.pixels = stream;
        expectCleanFailure(load("rle.bmp", rle.build()), because);
    }
    Bmp topDown = rle;
    topDown.height = -2;
    topDown.pixels = bytes({0, 1});
    expectCleanFailure(load("rle-down.bmp", topDown.build()), "top-down");
}

TEST_F(TextureLoad, DamagedPngAndJpegFail) {
    const unsigned char rgb[4 * 4 * 3] = {};
    std::string png;
    stbi_write_png_to_func(AppendToString, &png, 4, 4, 3, rgb, 12);
    expectCleanFailure(load("cut.png", png.substr(0, png.size() / 2)));
    expectCleanFailure(load("head.jpg", splitJpeg().substr(0, 20)));
    expectCleanFailure(load("cut.jpg", splitJpeg().substr(0, sizeof kSplitJpeg - 40)));
    std::string wide = png;
    Poke32(wide, 16, 0x00000100);  // width 65536, big-endian in the IHDR chunk
    expectCleanFailure(load("wide.png", wide));
    EXPECT_EQ(device.count("CreateTexture"), 0u);
}

// An IDAT chunk with no data, CRC included, inserted before the first one:
// legal, and stb_image copies it into a buffer it has not allocated yet.
std::string withEmptyImageData(const std::string& png) {
    const size_t firstData = png.find("IDAT") - 4;
    return png.substr(0, firstData) +
           bytes({0, 0, 0, 0, 'I', 'D', 'A', 'T', 0x35, 0xAF, 0x06, 0x1E}) + png.substr(firstData);
}

TEST_F(TextureLoad, PngWithEmptyImageDataChunksLoadsAsWithout) {
    const unsigned char rgb[2 * 2 * 3] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 20, 30};
    std::string png;
    ASSERT_NE(stbi_write_png_to_func(AppendToString, &png, 2, 2, 3, rgb, 6), 0);
    const std::string padded = withEmptyImageData(png);
    auto cleaned = [](const std::string& file) {
        const std::vector<uint8_t> kept = tundra_d3dx::WithoutEmptyImageData(
            reinterpret_cast<const uint8_t*>(file.data()), file.size());
        return std::string(kept.begin(), kept.end());
    };
    EXPECT_EQ(cleaned(padded), png);
    EXPECT_EQ(cleaned(png), "");  // nothing to take out: no copy
    ASSERT_EQ(load("padded.png", padded), S_OK);
    EXPECT_EQ(loaded().texel(0, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(loaded().texel(0, 1, 1), 0xFF0A141Eu);
}

TEST_F(TextureLoad, UnknownPngChunkTypesAreNamedPrintably) {
    std::string png;
    const unsigned char grey[4] = {};
    ASSERT_NE(stbi_write_png_to_func(AppendToString, &png, 2, 2, 1, grey, 2), 0);
    const size_t firstData = png.find("IDAT");
    // "IDAT" becomes "Q\x80AT": a critical chunk (upper-case first letter) unknown.
    png[firstData] = 'Q';
    png[firstData + 1] = char(0x80);
    expectCleanFailure(load("odd.png", png), "Q?AT PNG chunk not known");
}

// A Huffman table segment (DHT) whose 16 symbol counts add up to 16 × 255:
// a decoder that trusts them writes far past its 256-entry tables.
std::string oversizedHuffmanTable() {
    std::string segment = bytes({0xFF, 0xC4, 0x00, 0x13, 0x00});
    segment += std::string(16, '\xFF');
    return segment;
}

TEST_F(TextureLoad, JpegHuffmanTablesWithMoreThan256SymbolsFail) {
    const std::string jpeg = splitJpeg();
    const size_t firstTable = jpeg.find("\xFF\xC4");
    ASSERT_NE(firstTable, std::string::npos);
    std::string counts = jpeg;
    counts.replace(firstTable + 5, 16, std::string(16, '\xFF'));
    expectCleanFailure(load("counts.jpg", counts), "Huffman table");
    // stb_image skips stray bytes between segments to the next 0xFF.
    std::string stray = counts;
    stray.insert(firstTable, "\x09\x28");
    expectCleanFailure(load("stray.jpg", stray), "Huffman table");
    // The same table after the scan, where progressive files define theirs:
    // the check must follow the entropy-coded data to find it.
    std::string late = jpeg;
    late.insert(late.size() - 2, oversizedHuffmanTable());
    expectCleanFailure(load("late.jpg", late), "Huffman table");
    EXPECT_EQ(device.count("CreateTexture"), 0u);
    // The intact file still loads.
    EXPECT_EQ(load("intact.jpg", jpeg), S_OK);
}

// A scan names DC and AC table slots; stb_image decodes with whatever is in
// a slot no table was read into.
TEST_F(TextureLoad, JpegScansNamingUndefinedHuffmanTablesFail) {
    const std::string jpeg = splitJpeg();
    const size_t scan = jpeg.find("\xFF\xDA");
    ASSERT_NE(scan, std::string::npos);
    std::string undefinedAc = jpeg;
    undefinedAc[scan + 6] = char(0x03);  // first component: DC slot 0, AC slot 3
    expectCleanFailure(load("ac.jpg", undefinedAc), "does not define");
    std::string undefinedDc = jpeg;
    undefinedDc[scan + 6] = char(0x20);  // DC slot 2, AC slot 0
    expectCleanFailure(load("dc.jpg", undefinedDc), "does not define");
    EXPECT_EQ(device.count("CreateTexture"), 0u);
}

// The walk over the entropy-coded data: runs of 0xFF followed by 0 are
// stuffed bytes, restart markers stay inside; the next real marker after
// them is still checked.
TEST(JpegCheck, FindsTheTableAfterStuffedBytesAndRestartMarkers) {
    const std::string tables =
        bytes({0xFF, 0xD8,  // start of image
               0xFF, 0xC4, 0x00, 0x14, 0x00, 1,    0,    0,    0,    0,   0,
               0,    0,    0,    0,    0,    0,    0,    0,    0,    0,   0x05,  // DC table 0
               0xFF, 0xC4, 0x00, 0x14, 0x10, 1,    0,    0,    0,    0,   0,
               0,    0,    0,    0,    0,    0,    0,    0,    0,    0,   0x00,  // AC table 0
               0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00});
    const std::string data = bytes({0x12, 0xFF, 0xFF, 0x00, 0x34, 0xFF, 0xD0, 0x56});
    const std::string end = bytes({0xFF, 0xD9});
    auto problem = [](const std::string& file) {
        return tundra_d3dx::JpegProblemForStb(reinterpret_cast<const uint8_t*>(file.data()),
                                              file.size());
    };
    EXPECT_EQ(problem(tables + data + end), "");
    EXPECT_EQ(problem(tables + data + oversizedHuffmanTable() + end),
              "a Huffman table has more than 256 symbols");
}

// Components name quantisation table slots in the frame header; stb_image
// multiplies with whatever is in a slot no table was read into. Baseline
// files use them in each scan, progressive ones at the end of the image.
TEST_F(TextureLoad, JpegComponentsNamingUndefinedQuantisationTablesFail) {
    std::string baseline = splitJpeg();
    const size_t frame = baseline.find("\xFF\xC0");
    ASSERT_NE(frame, std::string::npos);
    baseline[frame + 12] = char(3);  // first component: table slot 3
    expectCleanFailure(load("baseline.jpg", baseline),
                       "quantisation table the file does not define");
    std::string progressive = progressiveJpeg();
    const size_t progressiveFrame = progressive.find("\xFF\xC2");
    ASSERT_NE(progressiveFrame, std::string::npos);
    progressive[progressiveFrame + 18] = char(2);  // third component: table slot 2
    expectCleanFailure(load("progressive.jpg", progressive),
                       "quantisation table the file does not define");
    EXPECT_EQ(device.count("CreateTexture"), 0u);
}

// The tables a progressive file defines between its scans are found, so
// the checks above refuse nothing that is whole.
TEST_F(TextureLoad, ReadsProgressiveJpeg) {
    ASSERT_EQ(load("progressive.jpg", progressiveJpeg()), S_OK);
    ExpectNearColour(loaded().texel(0, 0, 0), 254, 0, 0);
    ExpectNearColour(loaded().texel(0, 7, 7), 0, 1, 253);
    std::string cut = progressiveJpeg();
    const size_t lastTable = cut.rfind("\xFF\xC4");
    ASSERT_GT(lastTable, cut.find("\xFF\xDA"));  // a table after the first scan
    cut.replace(lastTable + 5, 16, std::string(16, '\xFF'));
    expectCleanFailure(load("late.jpg", cut), "Huffman table");
}

TEST_F(TextureLoad, DeviceFailuresLeaveNoTextureBehind) {
    std::string bmp = SmallBmp().build();
    device.failCalls("CreateTexture", E_OUTOFMEMORY, 0, 1);
    HRESULT hr = load("a.bmp", bmp);
    EXPECT_EQ(hr, E_OUTOFMEMORY);
    expectCleanFailure(hr);

    device.failCalls("LockRect", D3DERR_INVALIDCALL, 1, 1);  // the second level
    expectCleanFailure(load("b.bmp", bmp));
    ASSERT_EQ(device.textureCount(), 1u);
    EXPECT_EQ(device.texture(1)->refCount(), 0u);
    EXPECT_FALSE(device.texture(1)->isLocked(0));

    expectCleanFailure(load("c.bmp", bmp, D3DFMT_D16));  // not a colour format
    EXPECT_EQ(device.textureCount(), 1u);

    RecordingDevice tiny(RecordingDevice::defaultParams(), [] {
        D3DCAPS8 caps = RecordingDevice::defaultCaps();
        caps.MaxTextureWidth = caps.MaxTextureHeight = 1;
        return caps;
    }());
    IDirect3DTexture8* none = nullptr;
    scratch.writeData("d.bmp", bmp);
    EXPECT_TRUE(FAILED(D3DXCreateTextureFromFileExA(
        &tiny, "data\\d.bmp", D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN,
        D3DPOOL_MANAGED, 0, 0, 0, nullptr, nullptr, &none)));
    EXPECT_EQ(none, nullptr);
    EXPECT_TRUE(tiny.leaks().empty());
}

TEST(TextureLoadArguments, NullArgumentsAreRefused) {
    RecordingDevice device;
    IDirect3DTexture8* texture = nullptr;
    EXPECT_EQ(D3DXCreateTextureFromFileExA(nullptr, "x.bmp", 0, 0, 0, 0, D3DFMT_UNKNOWN,
                                           D3DPOOL_MANAGED, 0, 0, 0, nullptr, nullptr, &texture),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateTextureFromFileExA(&device, nullptr, 0, 0, 0, 0, D3DFMT_UNKNOWN,
                                           D3DPOOL_MANAGED, 0, 0, 0, nullptr, nullptr, &texture),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXCreateTextureFromFileExA(&device, "x.bmp", 0, 0, 0, 0, D3DFMT_UNKNOWN,
                                           D3DPOOL_MANAGED, 0, 0, 0, nullptr, nullptr, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_TRUE(device.calls().empty());
}

}  // namespace
