#include "config/config.h"
#include "support/config_text.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>

namespace {

class ConfigTest : public ::testing::Test {
protected:
    // Writes data/test.cfg and loads it.
    Config load(const std::string& text) {
        scratch.writeData("test.cfg", text);
        return Config("test.cfg");
    }

    static constexpr DWORD kUnknown = 0x7FFFFFFF;

    ScratchDir scratch;
    LogCapture log;
};

TEST_F(ConfigTest, CompleteFileLoadsEveryValue) {
    Config config = load(ConfigText()
                             .set("full screen", "1")
                             .set("window scaling", "0.75")
                             .set("hardware T&L", "0")
                             .set("video card", "2")
                             .set("refresh rate", "75")
                             .set("backbuffer format", "R5G6B5")
                             .set("texture format", "A1R5G5B5")
                             .set("depth-stencil buffer format", "D16")
                             .set("minification", "point")
                             .set("magnification", "anisotropic")
                             .set("mip-mapping", "gaussian_cubic")
                             .set("antialiasing multisamples", "4")
                             .text());
    EXPECT_TRUE(config.loaded());
    EXPECT_TRUE(config.fullScreen());
    EXPECT_EQ(800, config.screenWidth());
    EXPECT_EQ(600, config.screenHeight());
    EXPECT_FLOAT_EQ(0.75f, config.windowScaling());
    EXPECT_FALSE(config.hardwareTnL());
    EXPECT_TRUE(config.backFaceCulling());
    EXPECT_EQ(2u, config.videoCard());
    EXPECT_EQ(75u, config.refreshRate());
    EXPECT_EQ(D3DFMT_R5G6B5, config.backbufferFormat());
    EXPECT_EQ(D3DFMT_A1R5G5B5, config.textureFormat());
    EXPECT_EQ(D3DFMT_D16, config.depthStencilFormat());
    EXPECT_EQ(D3DTEXF_POINT, config.minification());
    EXPECT_EQ(D3DTEXF_ANISOTROPIC, config.magnification());
    EXPECT_EQ(D3DTEXF_GAUSSIANCUBIC, config.mipMapping());
    EXPECT_EQ(4u, static_cast<unsigned>(config.multisamples()));
    EXPECT_EQ("Loaded configuration file: data\\test.cfg\n", log.text());
}

TEST_F(ConfigTest, MissingFileLeavesEverythingZero) {
    Config config("absent.cfg");
    EXPECT_FALSE(config.loaded());
    EXPECT_FALSE(config.fullScreen());
    EXPECT_EQ(0, config.screenWidth());
    EXPECT_EQ(0, config.screenHeight());
    EXPECT_EQ(0.0f, config.windowScaling());
    EXPECT_EQ(0u, static_cast<unsigned>(config.backbufferFormat()));
    EXPECT_EQ(0u, static_cast<unsigned>(config.depthStencilFormat()));
    EXPECT_EQ(0u, static_cast<unsigned>(config.minification()));
    EXPECT_EQ(0u, config.videoCard());
    EXPECT_EQ("Couldn't open the configuration file: data\\absent.cfg\n", log.text());
}

TEST_F(ConfigTest, EmptyFileMissesEveryKey) {
    Config config = load("");
    EXPECT_FALSE(config.loaded());
    EXPECT_EQ(0, config.screenWidth());
    EXPECT_FALSE(config.hardwareTnL());
    EXPECT_EQ(0.0f, config.windowScaling());
    EXPECT_EQ(kUnknown, static_cast<DWORD>(config.backbufferFormat()));
    EXPECT_EQ(kUnknown, static_cast<DWORD>(config.mipMapping()));
    EXPECT_EQ("Something failed while loading the configuration file: data\\test.cfg\n",
              log.text());
}

TEST_F(ConfigTest, OneMissingKeyFailsTheLoadButTheOthersAreRead) {
    Config config = load(ConfigText().remove("refresh rate").text());
    EXPECT_FALSE(config.loaded());
    EXPECT_EQ(0u, config.refreshRate());
    EXPECT_EQ(800, config.screenWidth());
    EXPECT_EQ(D3DTEXF_LINEAR, config.mipMapping());
    EXPECT_EQ(D3DMULTISAMPLE_NONE, config.multisamples());
}

TEST_F(ConfigTest, KeyMustTouchTheEqualsSign) {
    std::string text = ConfigText().remove("screen width").text() + "screen width =640\n";
    Config config = load(text);
    EXPECT_EQ(0, config.screenWidth());
    EXPECT_FALSE(config.loaded());
}

TEST_F(ConfigTest, ValueSkipsBlanksAndKeepsOnlyTheFirstWord) {
    Config config = load(ConfigText()
                             .set("screen width", "   1024 pixels wide")
                             .set("backbuffer format", "\tR5G6B5 // sixteen bits")
                             .text());
    EXPECT_TRUE(config.loaded());
    EXPECT_EQ(1024, config.screenWidth());
    EXPECT_EQ(D3DFMT_R5G6B5, config.backbufferFormat());
}

TEST_F(ConfigTest, CommentsHideKeys) {
    std::string text = "// screen width=320\n" + ConfigText().remove("screen width").text() +
                       "screen width=640 // the real one\n";
    Config config = load(text);
    EXPECT_EQ(640, config.screenWidth());
    EXPECT_TRUE(config.loaded());

    Config commentedOut = load("video card=1\n//video card=2\n" + ConfigText().text());
    EXPECT_EQ(1u, commentedOut.videoCard());
}

TEST_F(ConfigTest, FirstOccurrenceWins) {
    std::string text = "screen width=320\n" + ConfigText().text() + "screen width=1600\n";
    Config config = load(text);
    EXPECT_EQ(320, config.screenWidth());
    EXPECT_TRUE(config.loaded());
}

TEST_F(ConfigTest, KeyInsideOtherTextStillCounts) {
    std::string text = ConfigText().remove("screen height").text() + "my screen height=480\n";
    Config config = load(text);
    EXPECT_EQ(480, config.screenHeight());
    EXPECT_TRUE(config.loaded());
}

TEST_F(ConfigTest, KeysAreCaseSensitive) {
    std::string text = ConfigText().remove("screen width").text() + "Screen width=800\n";
    Config config = load(text);
    EXPECT_EQ(0, config.screenWidth());
    EXPECT_FALSE(config.loaded());
}

TEST_F(ConfigTest, FlagsAreIntegers) {
    EXPECT_FALSE(load(ConfigText().set("full screen", "true").text()).fullScreen());
    EXPECT_FALSE(load(ConfigText().set("full screen", "yes").text()).fullScreen());
    EXPECT_TRUE(load(ConfigText().set("full screen", "2").text()).fullScreen());
    EXPECT_TRUE(load(ConfigText().set("full screen", "-1").text()).fullScreen());
    EXPECT_FALSE(load(ConfigText().set("full screen", "0").text()).fullScreen());
}

TEST_F(ConfigTest, NumbersReadLikeAtoiAndAtof) {
    Config config = load(ConfigText()
                             .set("screen width", "640px")
                             .set("screen height", "abc")
                             .set("window scaling", "0.5x")
                             .set("refresh rate", "+85")
                             .text());
    EXPECT_EQ(640, config.screenWidth());
    EXPECT_EQ(0, config.screenHeight());
    EXPECT_FLOAT_EQ(0.5f, config.windowScaling());
    EXPECT_EQ(85u, config.refreshRate());
    EXPECT_TRUE(config.loaded());  // a malformed number is not a missing key
}

TEST_F(ConfigTest, OutOfRangeNumbersSaturate) {
    Config config = load(ConfigText()
                             .set("screen width", "99999999999999999999")
                             .set("screen height", "-99999999999")
                             .set("video card", "-1")
                             .set("window scaling", "1e999")
                             .text());
    EXPECT_EQ(INT_MAX, config.screenWidth());
    EXPECT_EQ(INT_MIN, config.screenHeight());
    EXPECT_EQ(0xFFFFFFFFu, config.videoCard());
    EXPECT_TRUE(std::isinf(config.windowScaling()));
}

TEST_F(ConfigTest, FormatAndFilterNamesAreExact) {
    Config lower = load(ConfigText().set("backbuffer format", "x8r8g8b8").text());
    EXPECT_EQ(kUnknown, static_cast<DWORD>(lower.backbufferFormat()));
    EXPECT_FALSE(lower.loaded());

    Config filters = load(ConfigText()
                              .set("minification", "bilinear")
                              .set("magnification", "trilinear")
                              .set("mip-mapping", "none")
                              .text());
    EXPECT_EQ(filters.minification(), filters.magnification());
    EXPECT_EQ(D3DTEXF_LINEAR, filters.minification());
    EXPECT_EQ(kUnknown, static_cast<DWORD>(filters.mipMapping()));
    EXPECT_FALSE(filters.loaded());
}

TEST_F(ConfigTest, EveryFormatNameIsKnown) {
    const std::pair<const char*, D3DFORMAT> names[] = {{"A8R8G8B8", D3DFMT_A8R8G8B8},
                                                       {"X8R8G8B8", D3DFMT_X8R8G8B8},
                                                       {"R8G8B8", D3DFMT_R8G8B8},
                                                       {"A1R5G5B5", D3DFMT_A1R5G5B5},
                                                       {"R5G6B5", D3DFMT_R5G6B5},
                                                       {"X1R5G5B5", D3DFMT_X1R5G5B5},
                                                       {"D15S1", D3DFMT_D15S1},
                                                       {"D16", D3DFMT_D16},
                                                       {"D16_LOCKABLE", D3DFMT_D16_LOCKABLE},
                                                       {"D24S8", D3DFMT_D24S8},
                                                       {"D24X4S4", D3DFMT_D24X4S4},
                                                       {"D32", D3DFMT_D32},
                                                       {"D24X8", D3DFMT_D24X8}};
    for (const auto& [name, format] : names) {
        Config config = load(ConfigText().set("depth-stencil buffer format", name).text());
        EXPECT_EQ(format, config.depthStencilFormat()) << name;
        EXPECT_TRUE(config.loaded()) << name;
    }
}

TEST_F(ConfigTest, CarriageReturnsAreWhiteSpace) {
    std::string text = ConfigText().text();
    std::string crlf;
    for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    Config config = load(crlf);
    EXPECT_TRUE(config.loaded());
    EXPECT_EQ(D3DFMT_X8R8G8B8, config.backbufferFormat());
    EXPECT_EQ(D3DTEXF_LINEAR, config.mipMapping());
}

TEST_F(ConfigTest, SharedLineWorksOnlyInLookupOrder) {
    std::string rest = ConfigText().remove("screen width").remove("screen height").text();
    Config inOrder = load("screen width=1024 screen height=768\n" + rest);
    EXPECT_EQ(1024, inOrder.screenWidth());
    EXPECT_EQ(768, inOrder.screenHeight());
    EXPECT_TRUE(inOrder.loaded());

    Config reversed = load("screen height=768 screen width=1024\n" + rest);
    EXPECT_EQ(1024, reversed.screenWidth());
    EXPECT_EQ(0, reversed.screenHeight());  // cut away by the width lookup
    EXPECT_FALSE(reversed.loaded());
}

TEST_F(ConfigTest, LineOf299CharactersIsRead) {
    std::string longComment = "//" + std::string(297, 'x');
    ASSERT_EQ(299u, longComment.size());
    Config config = load(longComment + "\n" + ConfigText().text());
    EXPECT_TRUE(config.loaded());
    EXPECT_EQ(800, config.screenWidth());
}

TEST_F(ConfigTest, LineOf300CharactersEndsTheReading) {
    std::string rest = ConfigText().remove("screen width").text();
    // The first 299 characters of the long line still count.
    std::string longLine = "screen width=640 " + std::string(300, 'x');
    Config config = load(longLine + "\n" + rest);
    EXPECT_EQ(640, config.screenWidth());
    EXPECT_EQ(0, config.screenHeight());
    EXPECT_EQ(kUnknown, static_cast<DWORD>(config.backbufferFormat()));
    EXPECT_FALSE(config.loaded());

    Config exactly300 = load(std::string(300, '#') + "\n" + ConfigText().text());
    EXPECT_EQ(0, exactly300.screenWidth());
    EXPECT_FALSE(exactly300.loaded());
}

TEST_F(ConfigTest, KeyBeyondTheFirst299CharactersIsLost) {
    std::string rest = ConfigText().remove("video card").text();
    Config config = load(rest + std::string(295, ' ') + "video card=3\n");
    EXPECT_EQ(0u, config.videoCard());
    EXPECT_FALSE(config.loaded());
}

TEST_F(ConfigTest, GetConfigLoadsDefaultCfgOnce) {
    scratch.writeData("default.cfg", ConfigText().set("screen width", "1234").text());
    Config& first = GetConfig();
    scratch.writeData("default.cfg", ConfigText().set("screen width", "42").text());
    Config& second = GetConfig();
    EXPECT_EQ(&first, &second);
    EXPECT_EQ(1234, second.screenWidth());
    EXPECT_EQ("Loaded configuration file: data\\default.cfg\n", log.text());
}

}  // namespace
