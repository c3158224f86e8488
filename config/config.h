// The display and device settings of "data\default.cfg", read once at the
// first call of GetConfig and read-only afterwards.
#pragma once

#include "platform/platform.h"

#include <string>
#include <vector>

class Config {
public:
    // Loads "data\" + fileName at once; the outcome goes to the log and to
    // loaded().
    explicit Config(const std::string& fileName);
    virtual ~Config();

    // Reads the file and converts every key; returns whether all went well.
    bool load(const std::string& fileName);

    bool fullScreen() const { return fullScreen_; }
    int screenWidth() const { return screenWidth_; }
    int screenHeight() const { return screenHeight_; }
    float windowScaling() const { return windowScaling_; }
    D3DFORMAT backbufferFormat() const { return backbufferFormat_; }
    D3DFORMAT textureFormat() const { return textureFormat_; }
    D3DFORMAT depthStencilFormat() const { return depthStencilFormat_; }
    bool hardwareTnL() const { return hardwareTnL_; }
    bool backFaceCulling() const { return backFaceCulling_; }
    D3DTEXTUREFILTERTYPE minification() const { return minification_; }
    D3DTEXTUREFILTERTYPE magnification() const { return magnification_; }
    D3DTEXTUREFILTERTYPE mipMapping() const { return mipMapping_; }
    UINT videoCard() const { return videoCard_; }
    UINT refreshRate() const { return refreshRate_; }
    D3DMULTISAMPLE_TYPE multisamples() const { return multisamples_; }
    bool loaded() const { return loaded_; }

private:
    void readLines(std::istream& file);
    void convertValues();
    std::string valueOf(const std::string& key);
    int integerOf(const std::string& key);
    bool toBool(const std::string& text);
    D3DFORMAT formatFromName(const std::string& name);
    D3DTEXTUREFILTERTYPE filterFromName(const std::string& name);

    std::vector<std::string> lines;
    bool fullScreen_ = false;
    int screenWidth_ = 0;
    int screenHeight_ = 0;
    float windowScaling_ = 0.0f;
    D3DFORMAT backbufferFormat_ = static_cast<D3DFORMAT>(0);
    D3DFORMAT textureFormat_ = static_cast<D3DFORMAT>(0);
    D3DFORMAT depthStencilFormat_ = static_cast<D3DFORMAT>(0);
    bool hardwareTnL_ = false;
    bool backFaceCulling_ = false;
    D3DTEXTUREFILTERTYPE minification_ = static_cast<D3DTEXTUREFILTERTYPE>(0);
    D3DTEXTUREFILTERTYPE magnification_ = static_cast<D3DTEXTUREFILTERTYPE>(0);
    D3DTEXTUREFILTERTYPE mipMapping_ = static_cast<D3DTEXTUREFILTERTYPE>(0);
    UINT videoCard_ = 0;
    UINT refreshRate_ = 0;
    D3DMULTISAMPLE_TYPE multisamples_ = static_cast<D3DMULTISAMPLE_TYPE>(0);
    bool loaded_ = false;
};

// The one configuration, loaded from "default.cfg" at the first call.
Config& GetConfig();

// The value every unknown format or filter name yields.
const DWORD kUnknownName = 0x7FFFFFFF;
