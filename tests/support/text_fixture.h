// Text tests: a scratch directory with data/, and a recording device whose
// limits are copied into g_caps.
#pragma once

#include "app/globals.h"
#include "support/log_capture.h"
#include "support/recording_device.h"
#include "support/scratch_dir.h"
#include "tools/common/font_writer.h"

namespace tundra_test {

class TextTest : public ::testing::Test {
protected:
    void SetUp() override { setMaxTextureSize(2048, 2048); }
    // No lock left, nothing the GL device would refuse.
    void TearDown() override {
        for (const auto& list : {device.stillLocked(), device.referenceErrors()})
            EXPECT_EQ(list, std::vector<std::string>{});
    }
    void setMaxTextureSize(DWORD width, DWORD height) {
        D3DCAPS8 caps = RecordingDevice::defaultCaps();
        caps.MaxTextureWidth = width;
        caps.MaxTextureHeight = height;
        g_caps = caps;
        device.setCaps(caps);
    }
    void writeFont(const std::vector<tundra_formats::FontGlyphRecord>& glyphs,
                   const std::string& name = "font.f", const std::string& trailing = "") {
        ASSERT_TRUE(tundra_formats::WriteFontFile(dataPath(name), glyphs, trailing));
    }
    void writeBytes(const std::string& bytes, const std::string& name = "font.f") {
        writeFont({}, name, bytes);
    }
    std::string dataPath(const std::string& name) const {
        return (scratch_.root() / "data" / name).string();
    }
    RecordingDevice device;
    LogCapture log;

private:
    ScratchDir scratch_;
};

}  // namespace tundra_test
