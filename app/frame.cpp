#include "app/frame.h"

#include "app/device.h"
#include "app/globals.h"
#include "camera/camera.h"
#include "config/config.h"
#include "input/input.h"
#include "text/console.h"
#include "text/font.h"
#include "world/world.h"

#include <cmath>
#include <cstdio>

namespace {

const D3DCOLOR kClearColour = 0xFF212121;

// The text of the last instant sample, shared by every call.
std::string& KeptInstantText() {
    static std::string text;
    return text;
}

float RateOf(DWORD frames, DWORD milliseconds) {
    float perMillisecond = static_cast<float>(frames) / static_cast<float>(milliseconds);
    return static_cast<float>(perMillisecond * 1000.0);
}

// Returns false when the frame must not be drawn: the device is lost, or it
// was reset in this call.
bool DeviceReady() {
    HRESULT level = g_device->TestCooperativeLevel();
    if (level == D3DERR_DEVICELOST) return false;
    if (level == D3DERR_DEVICENOTRESET) {
        if (SUCCEEDED(g_device->Reset(&g_presentParams))) SetDeviceStates(GetConfig());
        return false;
    }
    return true;
}

// A label and a number in a line kept from frame to frame: once it has grown
// to fit, writing it again takes no memory.
const std::string& Labelled(std::string& line, const char* label, const std::string& number) {
    return line.assign(label).append(number);
}

void DrawFrameRates() {
    static std::string instantLine, averageLine;
    g_font->setSize(0.2f);
    g_font->drawStringCentered(Labelled(instantLine, "instant fps: ", g_frameTimer.instantFps()),
                               0.9f, 0.05f);
    g_font->drawStringCentered(Labelled(averageLine, "average fps: ", g_frameTimer.averageFps()),
                               0.9f, 0.0f);
}

void DrawScene() {
    g_device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kClearColour, 1.0f, 0);
    if (g_input) g_input->update();
    if (g_world) g_world->render();
    if (g_showConsole) g_console.render();
    if (g_showFps && g_font) DrawFrameRates();
}

}  // namespace

FrameTimer::FrameTimer() : sampleInterval(200) {}

FrameTimer::~FrameTimer() {}

void FrameTimer::start() {
    startTime = lastSampleTime = now();
    frames = lastSampleFrames = 0;
}

DWORD FrameTimer::now() { return timeGetTime(); }

const std::string& FrameTimer::instantFps() { return instantFps(now()); }

const std::string& FrameTimer::instantFps(DWORD time) {
    DWORD elapsed = time - lastSampleTime;
    if (elapsed > sampleInterval) {
        float rate = RateOf(frames - lastSampleFrames, elapsed);
        lastSampleFrames = frames;
        lastSampleTime = time;
        KeptInstantText() = FormatRate(rate);
    }
    return KeptInstantText();
}

std::string FrameTimer::averageFps() const { return averageFps(now()); }

std::string FrameTimer::averageFps(DWORD time) const {
    return FormatRate(RateOf(frames, time - startTime));
}

// Formatted on the stack, where a stream would allocate each frame; the
// largest float takes 42 characters.
std::string FormatRate(float rate) {
    if (!std::isfinite(rate)) rate = 0.0f;
    char text[48];
    std::snprintf(text, sizeof text, "%6.2f", double(rate));
    return text;
}

void RenderFrame() {
    if (!g_keepRunning) PostQuitMessage(0);
    if (!g_device || !DeviceReady()) return;
    if (SUCCEEDED(g_device->BeginScene())) {
        DrawScene();
        g_device->EndScene();
    }
    g_device->Present(nullptr, nullptr, nullptr, nullptr);
    ++g_frameTimer.frames;
}
