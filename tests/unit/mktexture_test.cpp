// The marble texture tool: an opaque, seamlessly tiling, repeatable image in
// a BMP every loader reads, and a command line that refuses bad input.
#include "support/scratch_dir.h"
#include "support/tool_runner.h"
#include "tools/mktexture/marble.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

int Luminance(uint32_t pixel) {
    return int((pixel >> 16) & 255) + int((pixel >> 8) & 255) + int(pixel & 255);
}

// Mean difference between column x and column x + 1 (wrapping at the edge).
double ColumnStep(const mktexture::Image& image, int x) {
    long sum = 0;
    for (int y = 0; y < image.size; ++y)
        sum += std::abs(Luminance(image.at(x, y)) - Luminance(image.at((x + 1) % image.size, y)));
    return double(sum) / image.size;
}

double RowStep(const mktexture::Image& image, int y) {
    long sum = 0;
    for (int x = 0; x < image.size; ++x)
        sum += std::abs(Luminance(image.at(x, y)) - Luminance(image.at(x, (y + 1) % image.size)));
    return double(sum) / image.size;
}

TEST(Marble, OpaqueRepeatableAndSeededImage) {
    const mktexture::Image a = mktexture::MakeMarble(256, 1);
    ASSERT_EQ(a.size, 256);
    ASSERT_EQ(a.pixels.size(), 256u * 256u);
    int darkest = 765, brightest = 0;
    for (uint32_t pixel : a.pixels) {
        ASSERT_EQ(pixel >> 24, 0xFFu);
        darkest = std::min(darkest, Luminance(pixel));
        brightest = std::max(brightest, Luminance(pixel));
    }
    EXPECT_GT(brightest - darkest, 150) << "no visible veins";
    EXPECT_EQ(mktexture::MakeMarble(256, 1).pixels, a.pixels);
    EXPECT_NE(mktexture::MakeMarble(256, 2).pixels, a.pixels);
}

// The step across the wrap-around edge must look like any step inside.
TEST(Marble, TilesWithoutSeams) {
    for (int size : {64, 256}) {
        const mktexture::Image image = mktexture::MakeMarble(size, 7);
        double largestInner = 0;
        for (int i = 0; i + 1 < size; ++i)
            largestInner = std::max({largestInner, ColumnStep(image, i), RowStep(image, i)});
        EXPECT_LE(ColumnStep(image, size - 1), largestInner) << size;
        EXPECT_LE(RowStep(image, size - 1), largestInner) << size;
    }
}

TEST(Marble, SizesMustBePowersOfTwoInRange) {
    EXPECT_TRUE(mktexture::IsValidMarbleSize(8));
    EXPECT_TRUE(mktexture::IsValidMarbleSize(4096));
    EXPECT_FALSE(mktexture::IsValidMarbleSize(4));
    EXPECT_FALSE(mktexture::IsValidMarbleSize(300));
    EXPECT_FALSE(mktexture::IsValidMarbleSize(8192));
    EXPECT_TRUE(mktexture::MakeMarble(300, 1).pixels.empty());
}

uint32_t Read32(const std::string& bytes, size_t offset) {
    return uint32_t(uint8_t(bytes[offset])) | uint32_t(uint8_t(bytes[offset + 1])) << 8 |
           uint32_t(uint8_t(bytes[offset + 2])) << 16 | uint32_t(uint8_t(bytes[offset + 3])) << 24;
}

TEST(Marble, BmpIsBottomUp32BitWithAlpha) {
    ScratchDir dir;
    const mktexture::Image image = mktexture::MakeMarble(16, 3);
    std::string error;
    ASSERT_TRUE(mktexture::WriteBmp32((dir.root() / "m.bmp").string(), image, error)) << error;
    const std::string bytes = dir.read("m.bmp");
    ASSERT_EQ(bytes.size(), 54u + 16 * 16 * 4);
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    EXPECT_EQ(Read32(bytes, 2), bytes.size());
    EXPECT_EQ(Read32(bytes, 10), 54u);  // pixels follow the two headers
    EXPECT_EQ(Read32(bytes, 14), 40u);  // BITMAPINFOHEADER
    EXPECT_EQ(Read32(bytes, 18), 16u);  // width
    EXPECT_EQ(Read32(bytes, 22), 16u);  // positive height: bottom row first
    EXPECT_EQ(Read32(bytes, 28) & 0xFFFF, 32u);
    EXPECT_EQ(Read32(bytes, 30), 0u);  // BI_RGB
    // First stored pixel is the bottom-left one, as B, G, R, A.
    EXPECT_EQ(Read32(bytes, 54), image.at(0, 15));
    EXPECT_EQ(Read32(bytes, 54 + 15 * 16 * 4 + 4), image.at(1, 0));
}

TEST(Marble, UnwritablePathIsReported) {
    std::string error;
    EXPECT_FALSE(
        mktexture::WriteBmp32("/nonexistent-dir/m.bmp", mktexture::MakeMarble(8, 1), error));
    EXPECT_NE(error.find("/nonexistent-dir/m.bmp"), std::string::npos);
}

using tundra_test::RunTool;

const std::string kMktexture = tundra_test::ToolPath("mktexture");

TEST(MktextureCommandLine, HelpAndOptions) {
    std::string output;
    EXPECT_EQ(RunTool(kMktexture + " --help", output), 0);
    EXPECT_NE(output.find("marble.bmp"), std::string::npos) << output;
    EXPECT_NE(output.find("--seed"), std::string::npos) << output;

    ScratchDir dir;
    EXPECT_EQ(RunTool(kMktexture + " --size 32 --seed 9 small.bmp", output), 0) << output;
    EXPECT_EQ(dir.read("small.bmp").size(), 54u + 32 * 32 * 4);
    EXPECT_EQ(RunTool(kMktexture, output), 0) << output;
    EXPECT_EQ(dir.read("marble.bmp").size(), 54u + 256 * 256 * 4);
}

TEST(MktextureCommandLine, BadArgumentsAreRefusedClearly) {
    std::string output;
    for (const char* arguments : {"--size 300", "--size 4", "--size", "--size -8", "--size 64x"}) {
        EXPECT_NE(RunTool(kMktexture + " " + arguments, output), 0) << arguments;
        EXPECT_NE(output.find("--size needs a power of two"), std::string::npos)
            << arguments << ": " << output;
    }
    EXPECT_NE(RunTool(kMktexture + " --seed 4294967296", output), 0);
    EXPECT_NE(output.find("--seed needs"), std::string::npos) << output;
    EXPECT_NE(RunTool(kMktexture + " --colour red", output), 0);
    EXPECT_NE(output.find("unknown option --colour"), std::string::npos) << output;
    EXPECT_NE(RunTool(kMktexture + " a.bmp b.bmp", output), 0);
    EXPECT_NE(RunTool(kMktexture + " /nonexistent-dir/m.bmp", output), 0);
    EXPECT_NE(output.find("cannot open"), std::string::npos) << output;
}

}  // namespace
