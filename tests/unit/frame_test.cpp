// FormatRate, FrameTimer and RenderFrame on the recording device.
#include "app/frame.h"
#include "app/globals.h"
#include "support/recording_device.h"

#include <gtest/gtest.h>

#include <cmath>

using tundra_test::RecordingDevice;

namespace {

TEST(FrameTest, FormatRateIsTwoDecimalsRightAlignedInSix) {
    const std::pair<float, const char*> rows[] = {
        {60.0f, " 60.00"}, {7.5f, "  7.50"},     {144.126f, "144.13"}, {1234.5f, "1234.50"},
        {0.0f, "  0.00"},  {INFINITY, "  0.00"}, {NAN, "  0.00"}};
    for (const auto& [rate, text] : rows) EXPECT_EQ(text, FormatRate(rate)) << rate;
}

// Rows run in order: a sample within the interval shows the kept text ("").
// Seven frames were counted before the last sample.
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
        EXPECT_EQ(200u, timer.sampleInterval);
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
    EXPECT_EQ(0u, timer.frames + timer.lastSampleFrames);
    EXPECT_LE(timeGetTime() - timer.startTime, 1000u);
    EXPECT_EQ(timer.startTime, timer.lastSampleTime);
}

// A lost device skips frames, then one Reset sets the run's states again (or
// none when it fails); the next frame draws.
TEST(FrameTest, RenderFrameDrawsPresentsCountsAndSurvivesLoss) {
    struct Row {
        const char *name, *failing;
        std::vector<HRESULT> levels;
        bool keepRunning, device;
        int frames;
        const char* expected;
    };
    // Counts of Reset, BeginScene, Clear, EndScene, Present; L: lighting off
    // and depth on set again; f: frames counted; q: quit posted.
    const HRESULT lost = D3DERR_DEVICELOST, notReset = D3DERR_DEVICENOTRESET;
    const Row rows[] = {
        {"one frame", "", {}, true, true, 1, "B1 C1 E1 P1 f1 q0"},
        {"lost twice", "", {lost, lost, notReset}, true, true, 4, "R1 B1 C1 E1 P1 L f1 q0"},
        {"failed reset", "Reset", {notReset}, true, true, 1, "R1 f0 q0"},
        {"failed BeginScene", "BeginScene", {}, true, true, 1, "B1 P1 f1 q0"},
        {"quit asked", "", {}, false, true, 1, "B1 C1 E1 P1 f1 q1"},
        {"no device", "", {}, false, false, 1, "f0 q1"}};
    for (const Row& row : rows) {
        RecordingDevice device;
        device.scriptCooperativeLevel(row.levels);
        if (*row.failing) device.failCalls(row.failing);
        g_device = row.device ? &device : nullptr;
        g_keepRunning = row.keepRunning;
        g_showConsole = g_showFps = false;
        g_frameTimer.frames = 0;
        g_presentParams = RecordingDevice::defaultParams();
        for (int frame = 0; frame < row.frames; ++frame) RenderFrame();
        std::string got;
        for (const char* call : {"Reset", "BeginScene", "Clear", "EndScene", "Present"})
            if (device.count(call)) got += call[0] + std::to_string(device.count(call)) + " ";
        const auto states = device.callTexts("SetRenderState");
        if (std::count(states.begin(), states.end(), "SetRenderState(LIGHTING, 0)") +
                std::count(states.begin(), states.end(), "SetRenderState(ZENABLE, 1)") ==
            2)
            got += "L ";
        MSG msg;
        int quit = 0;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) quit |= msg.message == WM_QUIT;
        got += "f" + std::to_string(g_frameTimer.frames) + " q" + std::to_string(quit);
        EXPECT_EQ(row.expected, got) << row.name;
        for (const std::string& clear : device.callTexts("Clear"))
            EXPECT_EQ("Clear(0, 0x3, 0xff212121, 1, 0)", clear);
        EXPECT_TRUE(!device.count("Reset") || device.presentParameters().BackBufferWidth == 800);
    }
    g_device = nullptr;
    g_keepRunning = g_showConsole = g_showFps = true;
}

}  // namespace
