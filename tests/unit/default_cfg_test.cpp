// The configuration shipped in data/default.cfg must load completely, with
// values that open an 800 x 600 window on any GL or Direct3D 8 machine, and
// must stay within the reader's line rules.
#include "config/config.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace {

std::string ShippedConfiguration() {
    std::ifstream file(std::string(TUNDRA_SOURCE_DIR) + "/data/default.cfg", std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST(ShippedConfiguration, LoadsEveryKeyWithWindowedValues) {
    const std::string text = ShippedConfiguration();
    ASSERT_FALSE(text.empty());
    ScratchDir dir;
    dir.writeData("default.cfg", text);
    LogCapture log;
    Config config("default.cfg");
    EXPECT_EQ(log.text(), "Loaded configuration file: data\\default.cfg\n");
    EXPECT_TRUE(config.loaded());
    EXPECT_EQ(config.screenWidth(), 800);
    EXPECT_EQ(config.screenHeight(), 600);
    EXPECT_FALSE(config.fullScreen());
    EXPECT_FLOAT_EQ(config.windowScaling(), 1.0f);
    EXPECT_TRUE(config.hardwareTnL());
    EXPECT_TRUE(config.backFaceCulling());
    EXPECT_EQ(config.videoCard(), 0u);
    EXPECT_EQ(config.refreshRate(), 60u);
    EXPECT_EQ(config.backbufferFormat(), D3DFMT_X8R8G8B8);
    EXPECT_EQ(config.textureFormat(), D3DFMT_A8R8G8B8);
    EXPECT_EQ(config.depthStencilFormat(), D3DFMT_D24S8);
    EXPECT_EQ(config.minification(), D3DTEXF_LINEAR);
    EXPECT_EQ(config.magnification(), D3DTEXF_LINEAR);
    EXPECT_EQ(config.mipMapping(), D3DTEXF_LINEAR);
    EXPECT_EQ(config.multisamples(), D3DMULTISAMPLE_NONE);
}

// Every key stands once, at the start of its line, touching its "=": a
// second occurrence or a key text inside another line would silently
// change which value wins.
TEST(ShippedConfiguration, EachKeyOnceOnItsOwnLineAndLinesShort) {
    const char* keys[] = {"screen width",
                          "screen height",
                          "full screen",
                          "window scaling",
                          "hardware T&L",
                          "back face culling",
                          "video card",
                          "refresh rate",
                          "backbuffer format",
                          "texture format",
                          "depth-stencil buffer format",
                          "minification",
                          "magnification",
                          "mip-mapping",
                          "antialiasing multisamples"};
    std::istringstream lines(ShippedConfiguration());
    std::string line;
    std::map<std::string, int> seen;
    while (std::getline(lines, line)) {
        EXPECT_LT(line.size(), 299u) << line;
        EXPECT_EQ(line.find('\r'), std::string::npos) << "line feeds only";
        const std::string code = line.substr(0, line.find("//"));
        for (const char* key : keys) {
            const size_t at = code.find(std::string(key) + "=");
            if (at == std::string::npos) continue;
            EXPECT_EQ(at, 0u) << line;
            ++seen[key];
        }
    }
    for (const char* key : keys) EXPECT_EQ(seen[key], 1) << key;
}

}  // namespace
