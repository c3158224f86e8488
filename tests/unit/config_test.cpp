// The configuration reader, one row per rule: the text in, every value and
// whether it loaded out. The shipped data/default.cfg is a row too.
#include "config/config.h"
#include "support/config_text.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace {

using Values = std::map<std::string, double>;

Values ValuesOf(const Config& c) {
    const double values[] = {
        double(c.screenWidth()),   double(c.screenHeight()),       double(c.fullScreen()),
        c.windowScaling(),         double(c.hardwareTnL()),        double(c.backFaceCulling()),
        double(c.videoCard()),     double(c.refreshRate()),        double(c.backbufferFormat()),
        double(c.textureFormat()), double(c.depthStencilFormat()), double(c.minification()),
        double(c.magnification()), double(c.mipMapping()),         double(c.multisamples()),
        double(c.loaded())};
    const char* names[] = {"width", "height",  "full",    "scale",   "tnl",   "cull",
                           "card",  "refresh", "back",    "texture", "depth", "min",
                           "mag",   "mip",     "samples", "loaded"};
    Values result;
    for (int i = 0; i < 16; ++i) result[names[i]] = values[i];
    return result;
}

// What ConfigText() gives: 800 x 600 windowed, trilinear, no multisampling.
const Values kDefaults = {{"width", 800},
                          {"height", 600},
                          {"full", 0},
                          {"scale", 1},
                          {"tnl", 1},
                          {"cull", 1},
                          {"card", 0},
                          {"refresh", 60},
                          {"back", D3DFMT_X8R8G8B8},
                          {"texture", D3DFMT_A8R8G8B8},
                          {"depth", D3DFMT_D24S8},
                          {"min", D3DTEXF_LINEAR},
                          {"mag", D3DTEXF_LINEAR},
                          {"mip", D3DTEXF_LINEAR},
                          {"samples", 0},
                          {"loaded", 1}};
const double kUnknown = kUnknownName;

std::string Shipped() {
    std::ifstream file(std::string(TUNDRA_SOURCE_DIR) + "/data/default.cfg", std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}
std::string WithCrLf(std::string text) {
    for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 2))
        text.insert(at, "\r");
    return text;
}
std::string Without(const char* key) { return ConfigText().remove(key).text(); }

struct Row {
    const char* name;
    std::string text;
    Values changed;  // from kDefaults
};

TEST(Config, EachRuleAsARow) {
    const Row rows[] = {
        {"shipped default.cfg", Shipped(), {}},
        {"line feeds as carriage return and line feed", WithCrLf(ConfigText().text()), {}},
        {"every key changed",
         ConfigText()
             .set("screen width", "1024")
             .set("screen height", "768")
             .set("full screen", "1")
             .set("window scaling", "0.75")
             .set("hardware T&L", "0")
             .set("back face culling", "0")
             .set("video card", "2")
             .set("refresh rate", "75")
             .set("backbuffer format", "R5G6B5")
             .set("texture format", "A1R5G5B5")
             .set("depth-stencil buffer format", "D16")
             .set("minification", "point")
             .set("magnification", "anisotropic")
             .set("mip-mapping", "gaussian_cubic")
             .set("antialiasing multisamples", "4")
             .text(),
         {{"width", 1024},
          {"height", 768},
          {"full", 1},
          {"scale", 0.75},
          {"tnl", 0},
          {"cull", 0},
          {"card", 2},
          {"refresh", 75},
          {"back", D3DFMT_R5G6B5},
          {"texture", D3DFMT_A1R5G5B5},
          {"depth", D3DFMT_D16},
          {"min", D3DTEXF_POINT},
          {"mag", D3DTEXF_ANISOTROPIC},
          {"mip", D3DTEXF_GAUSSIANCUBIC},
          {"samples", 4}}},
        {"a number missing", Without("refresh rate"), {{"refresh", 0}, {"loaded", 0}}},
        {"a flag missing", Without("full screen"), {{"loaded", 0}}},
        {"a format missing", Without("texture format"), {{"texture", kUnknown}, {"loaded", 0}}},
        {"a filter missing", Without("magnification"), {{"mag", kUnknown}, {"loaded", 0}}},
        {"blank before the =",
         Without("screen width") + "screen width =640\n",
         {{"width", 0}, {"loaded", 0}}},
        {"keys are case-sensitive",
         Without("screen width") + "Screen width=640\n",
         {{"width", 0}, {"loaded", 0}}},
        {"blanks before the value, words after it",
         ConfigText()
             .set("screen width", "  1024 pixels")
             .set("depth-stencil buffer format", "\tD32 // bits")
             .text(),
         {{"width", 1024}, {"depth", D3DFMT_D32}}},
        {"commented-out keys",
         "// screen width=320\nvideo card=1\n//video card=2\n" + Without("screen width") +
             "screen width=640 // the real one\n",
         {{"width", 640}, {"card", 1}}},
        {"first occurrence wins",
         "screen width=320\n" + ConfigText().text() + "screen width=9\n",
         {{"width", 320}}},
        {"key inside other text",
         Without("screen height") + "my screen height=480\n",
         {{"height", 480}}},
        {"flags are integers",
         ConfigText().set("full screen", "-1").set("hardware T&L", "true").text(),
         {{"full", 1}, {"tnl", 0}}},
        {"numbers read as far as they go",
         ConfigText()
             .set("screen width", "640px")
             .set("screen height", "abc")
             .set("window scaling", "0.5x")
             .set("refresh rate", "+85")
             .text(),
         {{"width", 640}, {"height", 0}, {"scale", 0.5}, {"refresh", 85}}},
        {"numbers out of range saturate",
         ConfigText()
             .set("screen width", "99999999999999999999")
             .set("screen height", "-9999999999")
             .set("video card", "-1")
             .set("window scaling", "1e999")
             .text(),
         {{"width", INT_MAX}, {"height", INT_MIN}, {"card", 4294967295.0}, {"scale", INFINITY}}},
        {"names are exact",
         ConfigText()
             .set("backbuffer format", "x8r8g8b8")
             .set("minification", "bilinear")
             .set("mip-mapping", "none")
             .text(),
         {{"back", kUnknown}, {"mip", kUnknown}, {"loaded", 0}}},
        {"two keys on a line, in reading order",
         "screen width=1024 screen height=768\n" + ConfigText().remove("screen height").text(),
         {{"width", 1024}, {"height", 768}}},
        // The width lookup cuts the line up to its value, the height before it.
        {"two keys on a line, reversed",
         "screen height=768 screen width=1024\n" +
             ConfigText().remove("screen width").remove("screen height").text(),
         {{"width", 1024}, {"loaded", 0}, {"height", 0}}},
        {"a line of 299 characters", "//" + std::string(297, 'x') + "\n" + ConfigText().text(), {}},
        // Its first 299 characters count; nothing after it is read.
        {"a line of 300 characters ends the reading",
         "screen width=640 " + std::string(283, 'x') + "\n" + Without("screen width"),
         {{"width", 640},
          {"height", 0},
          {"full", 0},
          {"scale", 0},
          {"tnl", 0},
          {"cull", 0},
          {"refresh", 0},
          {"back", kUnknown},
          {"texture", kUnknown},
          {"depth", kUnknown},
          {"min", kUnknown},
          {"mag", kUnknown},
          {"mip", kUnknown},
          {"loaded", 0}}},
        {"a key after the 299th character",
         Without("video card") + std::string(295, ' ') + "video card=3\n",
         {{"card", 0}, {"loaded", 0}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScratchDir scratch;
        scratch.writeData("test.cfg", row.text);
        LogCapture log;
        Values expected = kDefaults;
        for (const auto& [key, value] : row.changed) expected[key] = value;
        EXPECT_EQ(ValuesOf(Config("test.cfg")), expected);
        EXPECT_EQ(log.text(), (expected["loaded"] ? "Loaded configuration file: data\\test.cfg\n"
                                                  : "Something failed while loading the "
                                                    "configuration file: data\\test.cfg\n"));
    }
}

TEST(Config, GetConfigLoadsDefaultCfgOnce) {
    ScratchDir scratch;
    LogCapture log;
    scratch.writeData("default.cfg", ConfigText().set("screen width", "1234").text());
    Config& first = GetConfig();
    scratch.writeData("default.cfg", ConfigText().set("screen width", "42").text());
    EXPECT_EQ(&GetConfig(), &first);
    EXPECT_EQ(first.screenWidth(), 1234);
    EXPECT_EQ(log.text(), "Loaded configuration file: data\\default.cfg\n");
}

}  // namespace
