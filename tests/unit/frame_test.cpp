// What a frame does: rates, and RenderFrame on the recording device.
#include "app/frame.h"
#include "app/globals.h"
#include "support/recording_device.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using tundra_test::RecordingDevice;

namespace {

TEST(FrameTest, FormatRateIsTwoDecimalsRightAlignedInSix) {
    const std::pair<float, const char*> rows[] = {
        {60.0f, " 60.00"}, {7.5f, "  7.50"},     {144.126f, "144.13"}, {1234.5f, "1234.50"},
        {0.0f, "  0.00"},  {INFINITY, "  0.00"}, {NAN, "  0.00"}};
    for (const auto& [rate, text] : rows) EXPECT_EQ(text, FormatRate(rate)) << rate;
}
// In order; "" is the kept text of the last sample; 7 frames came before it.
TEST(FrameTest, FrameTimerSamplesAfterTheIntervalAndAveragesSinceStart) {
    const std::tuple<DWORD, DWORD, DWORD, const char*, const char*> rows[] = {
        {10000, 120, 10250, "480.00", "508.00"},
        {2000, 100, 2200, "", "535.00"},
        {2000, 100, 2201, "497.51", "532.34"},
        {0xFFFFFF00u, 64, 0x100u, "125.00", "138.67"},
        {5000, 3, 5000, "", "  0.00"}};
    std::string kept;
    for (const auto& [sampled, frames, now, instant, average] : rows) {
        SCOPED_TRACE(now);
        FrameTimer timer;
        timer.lastSampleTime = timer.startTime = sampled;
        timer.lastSampleFrames = 7;
        timer.frames = frames + 7;
        const std::string text = timer.instantFps(now);
        EXPECT_EQ(*instant ? instant : kept, text);
        kept = text;
        EXPECT_EQ(*instant ? now : sampled, timer.lastSampleTime);
        EXPECT_EQ(*instant ? frames + 7 : 7, timer.lastSampleFrames);
        EXPECT_EQ(average, timer.averageFps(now));
    }
    FrameTimer timer;
    timer.frames = timer.lastSampleFrames = 50;
    timer.start();
    EXPECT_EQ(std::pair(timer.frames, timer.lastSampleFrames), std::pair(0u, 0u));
    EXPECT_EQ(timer.startTime, timer.lastSampleTime);
}
// A lost device skips frames; one Reset sets the run's states again; then it draws.
TEST(FrameTest, RenderFrameDrawsPresentsCountsAndSurvivesLoss) {
    // Reset, BeginScene, Clear, EndScene, Present; lighting off, depth on; frames; quit.
    const HRESULT lost = D3DERR_DEVICELOST, notReset = D3DERR_DEVICENOTRESET;
    const std::tuple<const char*, const char*, std::vector<HRESULT>, bool, bool, int, const char*>
        rows[] = {
            {"one frame", "", {}, true, true, 1, "B1 C1 E1 P1 L0 Z0 f1 q0"},
            {"lost twice", "", {lost, lost, notReset}, true, true, 4, "R1 B1 C1 E1 P1 L1 Z1 f1 q0"},
            {"failed reset", "Reset", {notReset}, true, true, 1, "R1 L0 Z0 f0 q0"},
            {"failed BeginScene", "BeginScene", {}, true, true, 1, "B1 P1 L0 Z0 f1 q0"},
            {"quit asked", "", {}, false, true, 1, "B1 C1 E1 P1 L0 Z0 f1 q1"},
            {"no device", "", {}, false, false, 1, "L0 Z0 f0 q1"}};
    for (const auto& [name, failing, levels, keepRunning, hasDevice, frames, expected] : rows) {
        RecordingDevice device;
        device.scriptCooperativeLevel(levels);
        if (*failing) device.failCalls(failing);
        g_device = hasDevice ? &device : nullptr;
        g_keepRunning = keepRunning;
        g_showConsole = g_showFps = false;
        g_frameTimer.frames = 0;
        g_presentParams = RecordingDevice::defaultParams();
        g_presentParams.BackBufferWidth = 640;  // what a Reset must pass on
        for (int frame = 0; frame < frames; ++frame) RenderFrame();
        std::string got;
        for (const char* call : {"Reset", "BeginScene", "Clear", "EndScene", "Present"})
            if (device.count(call)) got += call[0] + std::to_string(device.count(call)) + " ";
        const auto states = device.callTexts("SetRenderState");
        for (const char* state : {"LIGHTING, 0", "ZENABLE, 1"})
            got += state[0] +
                   std::to_string(std::count(states.begin(), states.end(),
                                             "SetRenderState(" + std::string(state) + ")")) +
                   " ";
        MSG msg;
        int quit = 0;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) quit |= msg.message == WM_QUIT;
        got += "f" + std::to_string(g_frameTimer.frames) + " q" + std::to_string(quit);
        EXPECT_EQ(expected, got) << name;
        for (const std::string& clear : device.callTexts("Clear"))
            EXPECT_EQ("Clear(0, 0x3, 0xff212121, 1, 0)", clear);
        EXPECT_EQ(device.presentParameters().BackBufferWidth,
                  *failing || levels.empty() ? 800u : 640u);
    }
    g_device = nullptr;
    g_keepRunning = g_showConsole = g_showFps = true;
}

}  // namespace
