// The configuration reader, one row per rule (data/default.cfg too): text in, values and load out.
#include "config/config.h"
#include "support/config_text.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>

namespace {

using Values = std::map<std::string, std::string>;

// "key=value ...": D3DFORMAT and D3DTEXTUREFILTERTYPE numbers, "?" for an unknown name.
Values Parse(const std::string& text) {
    Values values;
    std::istringstream words(text);
    for (std::string word; words >> word;)
        values[word.substr(0, word.find('='))] = word.substr(word.find('=') + 1);
    return values;
}
Values ValuesOf(const Config& c) {
    auto format = [](DWORD v) { return v == kUnknownName ? "?" : std::to_string(v); };
    std::ostringstream s;
    s << "width=" << c.screenWidth() << " height=" << c.screenHeight() << " full=" << c.fullScreen()
      << " scale=" << c.windowScaling() << " tnl=" << c.hardwareTnL()
      << " cull=" << c.backFaceCulling() << " card=" << c.videoCard()
      << " refresh=" << c.refreshRate() << " back=" << format(c.backbufferFormat())
      << " texture=" << format(c.textureFormat()) << " depth=" << format(c.depthStencilFormat())
      << " min=" << format(c.minification()) << " mag=" << format(c.magnification())
      << " mip=" << format(c.mipMapping()) << " samples=" << c.multisamples()
      << " loaded=" << c.loaded();
    return Parse(s.str());
}
const char* const kDefaults =
    "width=800 height=600 full=0 scale=1 tnl=1 cull=1 card=0 refresh=60 back=22 "
    "texture=21 depth=75 min=2 mag=2 mip=2 samples=0 loaded=1";

// ConfigText() with the "key=value" lines given.
std::string With(const std::string& lines) {
    ConfigText text;
    std::istringstream in(lines);
    for (std::string line; std::getline(in, line);)
        text.set(line.substr(0, line.find('=')), line.substr(line.find('=') + 1));
    return text.text();
}
std::string Without(const char* key, const char* other = "") {
    return ConfigText().remove(key).remove(other).text();
}

TEST(Config, EachRuleAsARow) {
    std::ifstream shipped(std::string(TUNDRA_SOURCE_DIR) + "/data/default.cfg");
    const struct {
        const char* name;
        std::string text;
        const char* changed;  // from kDefaults
    } rows[] = {
        {"shipped default.cfg", std::string(std::istreambuf_iterator<char>(shipped), {}), ""},
        {"every key changed",
         With("screen width=1024\nscreen height=768\nfull screen=1\nwindow scaling=0.75\n"
              "hardware T&L=0\nback face culling=0\nvideo card=2\nrefresh rate=75\n"
              "backbuffer format=R5G6B5\ntexture format=A1R5G5B5\n"
              "depth-stencil buffer format=D16\nminification=point\nmagnification=anisotropic\n"
              "mip-mapping=gaussian_cubic\nantialiasing multisamples=4"),
         "width=1024 height=768 full=1 scale=0.75 tnl=0 cull=0 card=2 refresh=75 back=23 "
         "texture=25 depth=80 min=1 mag=3 mip=5 samples=4"},
        {"blank before the =, or another case",
         Without("screen width") + "screen width =640\nScreen width=640\n", "width=0 loaded=0"},
        {"blanks before the value, words after it",
         With("screen width=  1024 pixels\ndepth-stencil buffer format=\tD32 // 32 bits"),
         "width=1024 depth=71"},
        {"comments, first occurrences, keys inside other text",
         "// screen width=320\nvideo card=1\n//video card=2\nmy screen height=480\n" +
             Without("screen width", "screen height") + "screen width=640 // the real one\n",
         "width=640 card=1 height=480"},
        {"numbers read as far as they go",
         With("screen width=640px\nscreen height=abc\nwindow scaling=0.5x\nrefresh rate=+85\n"
              "full screen=-1\nhardware T&L=true"),
         "width=640 height=0 scale=0.5 refresh=85 full=1 tnl=0"},
        {"numbers out of range saturate",
         With("screen width=99999999999999999999\nscreen height=-9999999999\nvideo card=-1\n"
              "window scaling=1e999"),
         "width=2147483647 height=-2147483648 card=4294967295 scale=inf"},
        {"names are exact",
         With("backbuffer format=x8r8g8b8\nminification=bilinear\nmip-mapping=none"),
         "back=? mip=? loaded=0"},
        {"two keys on a line, reversed",
         "screen height=768 screen width=1024\n" + Without("screen width", "screen height"),
         "width=1024 height=0 loaded=0"},
        {"a line of 300 characters ends the reading",
         "screen width=640 " + std::string(283, 'x') + "\n" + Without("screen width"),
         "width=640 height=0 full=0 scale=0 tnl=0 cull=0 refresh=0 back=? texture=? depth=? "
         "min=? mag=? mip=? loaded=0"},
        {"a key after the 299th character",
         Without("video card") + std::string(295, ' ') + "video card=3\n", "card=0 loaded=0"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScratchDir scratch;
        scratch.writeData("test.cfg", row.text);
        LogCapture log;
        Values expected = Parse(kDefaults);
        for (const auto& [key, value] : Parse(row.changed)) expected[key] = value;
        EXPECT_EQ(ValuesOf(Config("test.cfg")), expected);
        EXPECT_EQ(log.text(), expected["loaded"] == "1"
                                  ? "Loaded configuration file: data\\test.cfg\n"
                                  : "Something failed while loading the configuration file: "
                                    "data\\test.cfg\n");
    }
}

}  // namespace
