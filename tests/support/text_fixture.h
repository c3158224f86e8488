// Fixture for the text tests: each test runs in a fresh temporary directory
// with a "data" folder (Font::load reads "data\\<name>" relative to it), on a
// recording device whose limits are copied into g_caps.
#pragma once

#include "app/globals.h"
#include "support/log_capture.h"
#include "support/recording_device.h"
#include "tools/common/font_writer.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace tundra_test {

class TextTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tundra-text-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory_ = pattern;
        previous_ = std::filesystem::current_path();
        std::filesystem::create_directory(directory_ / "data");
        std::filesystem::current_path(directory_);
        setMaxTextureSize(2048, 2048);
    }
    void TearDown() override {
        std::filesystem::current_path(previous_);
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }

    void setMaxTextureSize(DWORD width, DWORD height) {
        D3DCAPS8 caps = RecordingDevice::defaultCaps();
        caps.MaxTextureWidth = width;
        caps.MaxTextureHeight = height;
        g_caps = caps;
        device.setCaps(caps);
    }

    // Writes data/<name> with the given records.
    void writeFont(const std::vector<tundra_formats::FontGlyphRecord>& glyphs,
                   const std::string& name = "font.f", const std::string& trailing = "") {
        ASSERT_TRUE(
            tundra_formats::WriteFontFile((directory_ / "data" / name).string(), glyphs, trailing));
    }
    void writeBytes(const std::string& bytes, const std::string& name = "font.f") {
        ASSERT_TRUE(
            tundra_formats::WriteFontFile((directory_ / "data" / name).string(), {}, bytes));
    }
    std::string dataPath(const std::string& name) const {
        return (directory_ / "data" / name).string();
    }

    RecordingDevice device;
    LogCapture log;

private:
    std::filesystem::path directory_;
    std::filesystem::path previous_;
};

}  // namespace tundra_test
