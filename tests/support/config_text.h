// The text of a configuration file: every key with a working value (800 x
// 600 windowed, hardware vertex processing, culling on, no multisampling) in
// the shipped file's order, changeable one key at a time.
#pragma once

#include <string>
#include <utility>
#include <vector>

class ConfigText {
public:
    ConfigText& set(const std::string& key, const std::string& value) {
        for (auto& entry : entries_)
            if (entry.first == key) return entry.second = value, *this;
        entries_.emplace_back(key, value);
        return *this;
    }
    ConfigText& remove(const std::string& key) {
        for (auto it = entries_.begin(); it != entries_.end(); ++it)
            if (it->first == key) return entries_.erase(it), *this;
        return *this;
    }
    std::string text() const {
        std::string result;
        for (const auto& entry : entries_) result += entry.first + "=" + entry.second + "\n";
        return result;
    }

private:
    std::vector<std::pair<std::string, std::string>> entries_ = {
        {"screen width", "800"},
        {"screen height", "600"},
        {"full screen", "0"},
        {"window scaling", "1"},
        {"hardware T&L", "1"},
        {"back face culling", "1"},
        {"video card", "0"},
        {"refresh rate", "60"},
        {"backbuffer format", "X8R8G8B8"},
        {"texture format", "A8R8G8B8"},
        {"depth-stencil buffer format", "D24S8"},
        {"minification", "trilinear"},
        {"magnification", "trilinear"},
        {"mip-mapping", "trilinear"},
        {"antialiasing multisamples", "0"}};
};