// mktexture end to end: its BMP loads through the texture loader as the
// opaque marble MakeMarble gives for its seed; bad arguments fail.
#include "support/recording_device.h"
#include "support/scratch_dir.h"
#include "support/tool_runner.h"
#include "tools/mktexture/marble.h"

namespace {

using tundra_test::RunTool;
const std::string kMktexture = tundra_test::ToolPath("mktexture");

TEST(Mktexture, WritesTheOpaqueMarbleOfItsSeed) {
    ScratchDir dir;
    std::string output;
    ASSERT_EQ(RunTool(kMktexture + " --size 64 --seed 7 data/m.bmp", output), 0) << output;
    tundra_test::RecordingDevice device;
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(D3DXCreateTextureFromFileExA(&device, "data\\m.bmp", 0, 0, 1, 0, D3DFMT_UNKNOWN,
                                           D3DPOOL_MANAGED, 0, 0, 0, nullptr, nullptr, &texture),
              S_OK);
    texture->Release();
    EXPECT_EQ(device.texture(1)->format(), D3DFMT_X8R8G8B8) << "every alpha is 255";
    const mktexture::Image image = mktexture::MakeMarble(64, 7);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(device.texture(1)->texel(0, UINT(x), UINT(y)), image.at(x, y))
                << x << ", " << y;
    EXPECT_NE(mktexture::MakeMarble(64, 8).pixels, image.pixels);
    EXPECT_EQ(RunTool(kMktexture, output), 0) << output;
    EXPECT_EQ(dir.read("marble.bmp").size(), 54u + 256 * 256 * 4);
}

TEST(Mktexture, BadArgumentsAreRefusedWithAMessage) {
    ScratchDir dir;
    std::string output;
    const std::pair<const char*, const char*> cases[] = {
        {"--size 300", "--size needs a power of two"}, {"--size 4", "--size needs a power of two"},
        {"--size", "--size needs a power of two"},     {"--size 8192", "--size needs a power"},
        {"--seed 4294967296", "--seed needs"},         {"--colour red", "unknown option --colour"},
        {"a.bmp b.bmp", "more than one output"},       {"/nonexistent-dir/m.bmp", "cannot open"}};
    for (const auto& [arguments, message] : cases) {
        EXPECT_NE(RunTool(kMktexture + " " + arguments, output), 0) << arguments;
        EXPECT_NE(output.find(message), std::string::npos) << arguments << ": " << output;
    }
}

}  // namespace
