// Checks on what a whole viewer run leaves behind: its log text and frames
// saved as binary PPM files.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace tundra_test {

// Checks that each text occurs in the log after the one before it.
inline void ExpectInOrder(const std::string& log, const std::vector<std::string>& texts) {
    size_t at = 0;
    for (const std::string& text : texts) {
        size_t found = log.find(text, at);
        ASSERT_NE(std::string::npos, found) << "missing in order: \"" << text << "\"\nlog:\n"
                                            << log;
        at = found + text.size();
    }
}

inline bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// An 8-bit RGB frame, rows top to bottom.
struct Frame {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;

    bool loaded() const { return width > 0 && rgb.size() == size_t(width) * height * 3; }
    size_t pixels() const { return size_t(width) * height; }

    // How many pixels differ from the same pixel of `other` (of the same
    // size) by more than `tolerance` in any channel.
    size_t pixelsOff(const Frame& other, int tolerance) const {
        size_t count = 0;
        for (size_t pixel = 0; pixel < pixels() && pixel * 3 + 2 < other.rgb.size(); ++pixel)
            for (size_t channel = 0; channel < 3; ++channel)
                if (std::abs(int(rgb[pixel * 3 + channel]) - int(other.rgb[pixel * 3 + channel])) >
                    tolerance) {
                    ++count;
                    break;
                }
        return count;
    }
};

// A binary PPM (P6, 8 bits); an empty frame when it cannot be read.
inline Frame ReadPpm(const std::string& path) {
    Frame frame;
    std::ifstream file(path, std::ios::binary);
    std::string magic;
    int maxValue = 0;
    file >> magic >> frame.width >> frame.height >> maxValue;
    file.get();
    if (!file || magic != "P6" || maxValue != 255) return Frame{};
    frame.rgb.resize(frame.pixels() * 3);
    if (!file.read(reinterpret_cast<char*>(frame.rgb.data()), std::streamsize(frame.rgb.size())))
        return Frame{};
    return frame;
}

}  // namespace tundra_test
