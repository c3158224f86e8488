// mktexture end to end: the texture loader reads its BMP as an opaque, tiling marble of its seed.
#include "support/recording_device.h"
#include "support/scratch_dir.h"
#include "support/tool_runner.h"

#include <cstdlib>

namespace {

using tundra_test::RunTool;

TEST(Mktexture, WritesAnOpaqueMarbleOfItsSeedThatTiles) {
    ScratchDir dir;
    std::string output;
    for (const std::string seed : {"7 data/m.bmp", "7 data/again.bmp", "8 data/other.bmp"})
        ASSERT_EQ(RunTool("mktexture --size 128 --seed " + seed, output), 0) << output;
    EXPECT_EQ(dir.read("data/again.bmp"), dir.read("data/m.bmp"));
    EXPECT_NE(dir.read("data/other.bmp"), dir.read("data/m.bmp"));
    tundra_test::RecordingDevice device;
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileExA(&device, "data\\m.bmp", 0, 0, 1, 0, D3DFMT_UNKNOWN,
                                           D3DPOOL_MANAGED, 0, 0, 0, nullptr, nullptr, &texture),
              S_OK);
    texture->Release();
    EXPECT_EQ(device.texture(1)->format(), D3DFMT_X8R8G8B8) << "every alpha is 255";
    // Seamless: a colour step across the wrapping edges is on average one between neighbours
    // (a quarter either way: an image that does not wrap is off by a third or more).
    const int n = 128;
    const auto channel = [&device](int x, int y, int shift) {
        return int(device.texture(1)->texel(0, x % n, y % n) >> shift & 255);
    };
    double inside = 0, across = 0;  // steps right and down; from the last column or row across
    for (int a = 0; a < n; ++a)
        for (int b = 0; b < n; ++b)
            for (int shift : {0, 8, 16})
                (a + 1 < n ? inside : across) +=
                    std::abs(channel(a, b, shift) - channel(a + 1, b, shift)) +
                    std::abs(channel(b, a, shift) - channel(b, a + 1, shift));
    inside /= 2 * n * (n - 1), across /= 2 * n;
    EXPECT_NEAR(across, inside, 0.25 * inside);
    EXPECT_EQ(RunTool("mktexture", output), 0) << output;
    EXPECT_EQ(dir.read("marble.bmp").size(), 54u + 256 * 256 * 4);
}

}  // namespace
