// FormatRate, FrameTimer and RenderFrame on the recording device.
#include "app/frame.h"
#include "app/globals.h"
#include "support/recording_device.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using tundra_test::RecordingDevice;

namespace {

TEST(FrameTest, FormatRateIsTwoDecimalsRightAlignedInSix) {
    const std::pair<float, const char*> rows[] = {
        {60.0f, " 60.00"},        {7.5f, "  7.50"},
        {144.126f, "144.13"},     {1234.5f, "1234.50"},
        {0.0f, "  0.00"},         {std::numeric_limits<float>::infinity(), "  0.00"},
        {std::nanf(""), "  0.00"}};
    for (const auto& [rate, text] : rows) EXPECT_EQ(text, FormatRate(rate)) << rate;
}

TEST(FrameTest, FrameTimerSamplesAfterTheIntervalAndAveragesSinceStart) {
    struct Row {
        const char* name;
        DWORD sampled, frames, now;
        const char* instant;  // "" : the kept text of the last sample
        DWORD sampleTimeAfter;
        const char* average;
    };
    const Row rows[] = {{"over the interval", 10000, 120, 10250, "480.00", 10250, "480.00"},
                        {"a sample to keep", 1000, 30, 1500, " 60.00", 1500, " 60.00"},
                        {"exactly the interval", 2000, 100, 2200, "", 2000, "500.00"},
                        {"one past the interval", 2000, 100, 2201, "497.51", 2201, "497.51"},
                        {"timer wrapped", 0xFFFFFF00u, 64, 0x100u, "125.00", 0x100u, "125.00"},
                        {"no time passed", 5000, 3, 5000, "", 5000, "  0.00"}};
    std::string kept;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FrameTimer timer;
        EXPECT_EQ(200u, timer.sampleInterval);
        timer.lastSampleTime = timer.startTime = row.sampled;
        timer.lastSampleFrames = 0;
        timer.frames = row.frames;
        const std::string instant = timer.instantFps(row.now);
        EXPECT_EQ(*row.instant ? row.instant : kept, instant);
        kept = instant;
        EXPECT_EQ(row.sampleTimeAfter, timer.lastSampleTime);
        EXPECT_EQ(row.sampleTimeAfter == row.sampled ? 0 : row.frames, timer.lastSampleFrames);
        EXPECT_EQ(row.average, timer.averageFps(row.now));
    }
    FrameTimer timer;
    timer.frames = timer.lastSampleFrames = 50;
    const DWORD before = timeGetTime();
    timer.start();
    EXPECT_EQ(0u, timer.frames + timer.lastSampleFrames);
    EXPECT_LE(timer.startTime - before, timeGetTime() - before);
    EXPECT_EQ(timer.startTime, timer.lastSampleTime);
}

bool QuitPosted() {
    MSG msg;
    bool quit = false;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) quit |= msg.message == WM_QUIT;
    return quit;
}

// Frames after a lost device: skipped while lost, one Reset (which sets the
// run's states again, or none when it fails), then drawn.
TEST(FrameTest, RenderFrameDrawsPresentsCountsAndSurvivesLoss) {
    struct Row {
        const char* name;
        std::vector<HRESULT> levels;
        const char* failing;
        bool keepRunning, device;
        int frames;
        size_t resets, presents, counted, lightingOff, begins;
        bool clears;
    };
    const HRESULT lost = D3DERR_DEVICELOST, notReset = D3DERR_DEVICENOTRESET;
    const Row rows[] = {
        {"one frame", {}, "", true, true, 1, 0, 1, 1, 0, 1, true},
        {"lost, lost, reset, draw", {lost, lost, notReset}, "", true, true, 4, 1, 1, 1, 1, 1, true},
        {"failed reset", {notReset}, "Reset", true, true, 1, 1, 0, 0, 0, 0, false},
        {"failed BeginScene", {}, "BeginScene", true, true, 1, 0, 1, 1, 0, 1, false},
        {"quit asked", {}, "", false, true, 1, 0, 1, 1, 0, 1, true},
        {"no device", {}, "", false, false, 1, 0, 0, 0, 0, 0, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RecordingDevice device;
        device.scriptCooperativeLevel(row.levels);
        if (*row.failing) device.failCalls(row.failing);
        g_device = row.device ? &device : nullptr;
        g_keepRunning = row.keepRunning;
        g_showConsole = g_showFps = false;
        g_frameTimer.frames = 0;
        g_presentParams = RecordingDevice::defaultParams();
        QuitPosted();
        for (int frame = 0; frame < row.frames; ++frame) RenderFrame();
        EXPECT_EQ(!row.keepRunning, QuitPosted());
        EXPECT_EQ(row.resets, device.count("Reset"));
        EXPECT_EQ(row.presents, device.count("Present"));
        EXPECT_EQ(row.counted, g_frameTimer.frames);
        EXPECT_EQ(row.begins, device.count("BeginScene"));
        EXPECT_EQ(row.begins && row.clears ? 1u : 0u, device.count("EndScene"));
        EXPECT_EQ(row.clears ? 1u : 0u, device.callTexts("Clear").size());
        if (row.clears) EXPECT_EQ("Clear(0, 0x3, 0xff212121, 1, 0)", device.callTexts("Clear")[0]);
        const auto states = device.callTexts("SetRenderState");
        EXPECT_EQ(row.lightingOff,
                  size_t(std::count(states.begin(), states.end(), "SetRenderState(LIGHTING, 0)")));
        EXPECT_EQ(row.lightingOff,
                  size_t(std::count(states.begin(), states.end(), "SetRenderState(ZENABLE, 1)")));
        if (row.resets) EXPECT_EQ(800u, device.presentParameters().BackBufferWidth);
    }
    g_device = nullptr;
    g_keepRunning = g_showConsole = g_showFps = true;
}

}  // namespace
