// The text of a configuration file: every key with a working value, in the shipped
// file's order, changeable one key at a time.
#pragma once

#include <string>

class ConfigText {
public:
    ConfigText& set(const std::string& key, const std::string& value) {
        const size_t at = find(key);
        if (at == std::string::npos) text_ += key + "=" + value + "\n";
        else text_.replace(at, text_.find('\n', at) - at, key + "=" + value);
        return *this;
    }
    ConfigText& remove(const std::string& key) {
        const size_t at = find(key);
        if (at != std::string::npos) text_.erase(at, text_.find('\n', at) + 1 - at);
        return *this;
    }
    std::string text() const { return text_; }

private:
    // Where the line of `key` starts.
    size_t find(const std::string& key) const { return ("\n" + text_).find("\n" + key + "="); }
    std::string text_ =
        "screen width=800\nscreen height=600\nfull screen=0\nwindow scaling=1\nhardware T&L=1\n"
        "back face culling=1\nvideo card=0\nrefresh rate=60\nbackbuffer format=X8R8G8B8\n"
        "texture format=A8R8G8B8\ndepth-stencil buffer format=D24S8\nminification=trilinear\n"
        "magnification=trilinear\nmip-mapping=trilinear\nantialiasing multisamples=0\n";
};
