// Fuzz target: the font file reader and Font::load on any "data\font.f",
// then measuring and drawing every character code, against the recording
// device. A font that did not load must say why and draw nothing.
#include "text/font.h"
#include "text/font_file.h"

#include "app/globals.h"
#include "fuzz_support.h"
#include "support/log_capture.h"

using tundra_fuzz::Fail;

namespace {

std::string EveryCode() {
    std::string text;
    for (int code = 1; code < 256; ++code) text += char(code);
    return text;
}

void CheckFontFile() {
    FontFile file;
    if (file.load("data\\font.f")) {
        if (file.glyphs.size() != size_t(FontFile::kGlyphCount)) Fail("loaded without 256 glyphs");
        for (const auto& glyph : file.glyphs)
            if (glyph->bitmap.size() != size_t(glyph->width) * glyph->height)
                Fail("glyph bitmap size differs from width x height");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tundra_fuzz::WriteDataFile("font.f", data, size);
    CheckFontFile();
    LogCapture log;
    tundra_test::RecordingDevice device;
    g_caps = tundra_test::RecordingDevice::defaultCaps();
    {
        Font font;
        font.load("font.f", &device, 4.0f / 3.0f);
        const std::string text = EveryCode() + "\n" + EveryCode();
        const float width = font.stringWidth(text), height = font.stringHeight(text);
        if (!font.isReady() && (width != 0.0f || height != 0.0f))
            Fail("a font that did not load measures text");
        if (!font.isReady() && log.text().empty()) Fail("a failed font load logged nothing");
        device.BeginScene();
        font.drawString(text, 0.0f, 0.0f);
        font.drawStringCentered(text, 0.5f, 0.5f);
        device.EndScene();
        if (!font.isReady() && device.count("DrawPrimitive") != 0)
            Fail("a font that did not load draws");
    }
    tundra_fuzz::CheckDeviceClean(device);
    return 0;
}
