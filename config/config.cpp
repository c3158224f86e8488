#include "config/config.h"

#include "app/log.h"

#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

// A line of this many characters or more ends the reading (see readLines).
const int kLineBuffer = 300;

struct NamedFormat {
    const char* name;
    D3DFORMAT format;
};

const NamedFormat kFormats[] = {
    {"A8R8G8B8", D3DFMT_A8R8G8B8},
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
    {"D24X8", D3DFMT_D24X8},
};

struct NamedFilter {
    const char* name;
    D3DTEXTUREFILTERTYPE filter;
};

const NamedFilter kFilters[] = {
    {"point", D3DTEXF_POINT},
    {"bilinear", D3DTEXF_LINEAR},
    {"trilinear", D3DTEXF_LINEAR},
    {"flat_cubic", D3DTEXF_FLATCUBIC},
    {"gaussian_cubic", D3DTEXF_GAUSSIANCUBIC},
    {"anisotropic", D3DTEXF_ANISOTROPIC},
};

// atoi's reading (blanks, sign, digits up to the first non-digit, 0 when
// there are none), except that a number beyond the 32-bit range saturates
// instead of being undefined.
int ToInteger(const std::string& text) {
    long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

}  // namespace

Config::Config(const std::string& fileName) { load(fileName); }

Config::~Config() {}

bool Config::load(const std::string& fileName) {
    loaded_ = true;
    std::string path = "data\\" + fileName;
    std::ifstream file(NativePath(path).c_str());
    if (!file.is_open()) {
        Log << "Couldn't open the configuration file: " << path << std::endl;
        loaded_ = false;
        return false;
    }
    readLines(file);
    convertValues();
    lines.clear();
    if (loaded_) Log << "Loaded configuration file: " << path << std::endl;
    else Log << "Something failed while loading the configuration file: " << path << std::endl;
    return loaded_;
}

// Every read appends its line, also the failed read at the end of the file
// (an empty line). A line too long for the buffer fails the read too: its
// first 299 characters are kept and the rest of the file is not read.
void Config::readLines(std::istream& file) {
    char buffer[kLineBuffer];
    while (!file.fail()) {
        buffer[0] = '\0';
        file.getline(buffer, kLineBuffer);
        std::string line(buffer);
        std::string::size_type comment = line.find("//");
        if (comment != std::string::npos) line.erase(comment);
        lines.push_back(line);
    }
}

// The order matters: each lookup cuts its line up to the value it read.
void Config::convertValues() {
    screenWidth_ = integerOf("screen width");
    screenHeight_ = integerOf("screen height");
    fullScreen_ = toBool(valueOf("full screen"));
    windowScaling_ = static_cast<float>(std::atof(valueOf("window scaling").c_str()));
    hardwareTnL_ = toBool(valueOf("hardware T&L"));
    backFaceCulling_ = toBool(valueOf("back face culling"));
    videoCard_ = static_cast<UINT>(integerOf("video card"));
    refreshRate_ = static_cast<UINT>(integerOf("refresh rate"));
    backbufferFormat_ = formatFromName(valueOf("backbuffer format"));
    textureFormat_ = formatFromName(valueOf("texture format"));
    depthStencilFormat_ = formatFromName(valueOf("depth-stencil buffer format"));
    minification_ = filterFromName(valueOf("minification"));
    magnification_ = filterFromName(valueOf("magnification"));
    mipMapping_ = filterFromName(valueOf("mip-mapping"));
    multisamples_ = static_cast<D3DMULTISAMPLE_TYPE>(integerOf("antialiasing multisamples"));
}

std::string Config::valueOf(const std::string& key) {
    std::string pattern = key + "=";
    for (std::string& line : lines) {
        std::string::size_type at = line.find(pattern);
        if (at == std::string::npos) continue;
        line.erase(0, at + pattern.size());
        std::istringstream rest(line);
        std::string word;
        rest >> word;
        return word;
    }
    loaded_ = false;
    return "ERROR";
}

int Config::integerOf(const std::string& key) { return ToInteger(valueOf(key)); }

bool Config::toBool(const std::string& text) { return ToInteger(text) != 0; }

D3DFORMAT Config::formatFromName(const std::string& name) {
    for (const NamedFormat& entry : kFormats)
        if (name == entry.name) return entry.format;
    loaded_ = false;
    return static_cast<D3DFORMAT>(kUnknownName);
}

D3DTEXTUREFILTERTYPE Config::filterFromName(const std::string& name) {
    for (const NamedFilter& entry : kFilters)
        if (name == entry.name) return entry.filter;
    loaded_ = false;
    return static_cast<D3DTEXTUREFILTERTYPE>(kUnknownName);
}

Config& GetConfig() {
    static Config config("default.cfg");
    return config;
}
