// mktexture end to end: its BMP loads through the texture loader as an
// opaque marble of its seed that tiles.
#include "support/recording_device.h"
#include "support/scratch_dir.h"
#include "support/tool_runner.h"

#include <cstdlib>

namespace {

using tundra_test::RunTool;
const std::string kMktexture = tundra_test::ToolPath("mktexture");

TEST(Mktexture, WritesAnOpaqueMarbleOfItsSeedThatTiles) {
    ScratchDir dir;
    std::string output;
    for (const char* seed : {"7 data/m.bmp", "7 data/again.bmp", "8 data/other.bmp"})
        ASSERT_EQ(RunTool(kMktexture + " --size 128 --seed " + seed, output), 0) << output;
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
    auto step = [&device](int x, int y, int dx, int dy) {
        const uint32_t a = device.texture(1)->texel(0, x, y),
                       b = device.texture(1)->texel(0, (x + dx) % n, (y + dy) % n);
        double sum = 0;
        for (int shift : {0, 8, 16}) sum += std::abs(int(a >> shift & 255) - int(b >> shift & 255));
        return sum;
    };
    double inside = 0, across = 0;
    for (int a = 0; a < n; ++a) {
        for (int b = 0; b + 1 < n; ++b) inside += step(b, a, 1, 0) + step(a, b, 0, 1);
        across += step(n - 1, a, 1, 0) + step(a, n - 1, 0, 1);
    }
    inside /= 2 * n * (n - 1), across /= 2 * n;
    EXPECT_NEAR(across, inside, 0.25 * inside);
    EXPECT_EQ(RunTool(kMktexture, output), 0) << output;
    EXPECT_EQ(dir.read("marble.bmp").size(), 54u + 256 * 256 * 4);
}

}  // namespace
