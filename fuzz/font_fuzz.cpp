// The font reader and Font on any "data\font.f", drawing every code: a font
// that did not load says why and draws nothing; one that did has 256 glyphs.
#include "text/font.h"
#include "text/font_file.h"

#include "app/globals.h"
#include "fuzz_support.h"
#include "support/log_capture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tundra_fuzz::WriteDataFile("font.f", data, size);
    FontFile file;
    bool whole = !file.load("data\\font.f") || file.glyphs.size() == 256;
    for (const auto& glyph : file.glyphs)
        whole = whole && glyph->bitmap.size() == size_t(glyph->width) * glyph->height;
    if (!whole) tundra_fuzz::Fail("a loaded font without 256 whole glyphs");
    LogCapture log;
    tundra_test::RecordingDevice device;
    g_caps = tundra_test::RecordingDevice::defaultCaps();
    {
        Font font;
        font.load("font.f", &device, 4.0f / 3.0f);
        std::string text;
        for (int code = 1; code < 256; ++code) text += char(code);
        text += "\n" + text;
        const float width = font.stringWidth(text), height = font.stringHeight(text);
        device.BeginScene();
        font.drawString(text, 0.0f, 0.0f);
        font.drawStringCentered(text, 0.5f, 0.5f);
        device.EndScene();
        const size_t draws = device.count("DrawPrimitive");
        if (draws != 0 && draws != 2 * text.size())
            tundra_fuzz::Fail("a font draws only some of the characters");
        if (draws == 0 && (width != 0.0f || height != 0.0f || log.text().empty()))
            tundra_fuzz::Fail("a font that draws nothing measures text or logged nothing");
    }
    tundra_fuzz::CheckDeviceClean(device);
    return 0;
}
