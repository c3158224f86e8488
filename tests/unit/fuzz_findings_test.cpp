// Inputs the fuzz targets (fuzz/) once found a fault with, kept in
// tests/fuzz_findings/<reader>/ and replayed through the same reader. Each
// must now give its orderly outcome; under the asan preset the sanitizers
// also watch the replay.
#include "platform/d3dx/image.h"
#include "platform/platform.h"
#include "support/recording_device.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string Finding(const std::string& reader, const std::string& name) {
    const std::string path = std::string(TUNDRA_SOURCE_DIR) + "/tests/fuzz_findings/" + reader +
                             "/" + name;
    std::ifstream file(path, std::ios::binary);
    EXPECT_TRUE(file.is_open()) << path;
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

struct ImageFinding {
    const char* file;
    const char* reason;  // part of the loader's reason for refusing it
};

// stb_image 2.27 overran its Huffman tables, decoded with Huffman or
// quantisation tables it never read (garbage multiplied into its sums until
// they overflowed), decoded for seconds, or copied to a null pointer on
// these.
const ImageFinding kImageFindings[] = {
    {"huffman-table-too-many-symbols.jpg", "a Huffman table has more than 256 symbols"},
    {"huffman-table-after-stray-bytes.jpg", "a Huffman table has more than 256 symbols"},
    {"huffman-table-after-stuffed-ff-run.jpg", "a Huffman table has more than 256 symbols"},
    {"scan-with-undefined-huffman-table.jpg",
     "a scan uses a Huffman table the file does not define"},
    {"undefined-quantisation-table.jpg",
     "a component uses a quantisation table the file does not define"},
    // 745 bytes claiming 8192 x 8192 pixels: stb_image decoded zeros for
    // seconds past the end of its scans.
    {"huge-frame-with-little-scan-data.jpg", "the scans hold too little data for the image size"},
    // 897 bytes whose IDAT claims a gigabyte, which stb_image allocated.
    {"image-data-chunk-past-the-end.png", "an image data chunk runs past the end of the file"},
    // Its empty first IDAT went to memcpy as a null pointer; taken out, the
    // file fails at a chunk type of unprintable bytes.
    {"empty-first-image-data-chunk.png", "PNG chunk not known"},
};

bool Printable(const std::string& text) {
    for (char c : text)
        if (c < 0x20 || c > 0x7E) return false;
    return true;
}

TEST(FuzzFindings, DamagedImagesAreRefusedWithAReasonAndNoTexture) {
    for (const ImageFinding& finding : kImageFindings) {
        SCOPED_TRACE(finding.file);
        ScratchDir scratch;
        scratch.writeData("marble.bmp", Finding("image", finding.file));
        tundra_test::RecordingDevice device;
        IDirect3DTexture8* texture = nullptr;
        const HRESULT hr = D3DXCreateTextureFromFileExA(
            &device, "data\\marble.bmp", D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0,
            D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_FILTER_TRIANGLE, D3DX_FILTER_TRIANGLE, 0, nullptr,
            nullptr, &texture);
        EXPECT_EQ(hr, D3DXERR_INVALIDDATA);
        EXPECT_EQ(texture, nullptr);
        EXPECT_NE(tundra_d3dx::LastTextureLoadError().find(finding.reason), std::string::npos)
            << tundra_d3dx::LastTextureLoadError();
        EXPECT_TRUE(Printable(tundra_d3dx::LastTextureLoadError()));
        EXPECT_EQ(device.count("CreateTexture"), 0u);
    }
}

}  // namespace
