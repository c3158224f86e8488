#include <algorithm>
#include "app/frame.h"
#include "app/globals.h"
#include "support/recording_device.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

using tundra_test::RecordingDevice;

namespace {

TEST(FormatRateTest, TwoDecimalsRightAlignedInSix) {
    EXPECT_EQ(" 60.00", FormatRate(60.0f));
    EXPECT_EQ("  7.50", FormatRate(7.5f));
    EXPECT_EQ("144.13", FormatRate(144.126f));
    EXPECT_EQ("1234.50", FormatRate(1234.5f));  // wider numbers are not cut
    EXPECT_EQ("  0.00", FormatRate(0.0f));
}

TEST(FormatRateTest, RateThatIsNotANumberReadsZero) {
    EXPECT_EQ("  0.00", FormatRate(std::numeric_limits<float>::infinity()));
    EXPECT_EQ("  0.00", FormatRate(std::nanf("")));
}

// A timer whose last sample was taken at `time` with `frames` counted.
FrameTimer SampledAt(DWORD time, DWORD frames) {
    FrameTimer timer;
    timer.frames = frames;
    timer.lastSampleFrames = frames;
    timer.lastSampleTime = time;
    timer.startTime = time;
    return timer;
}

TEST(FrameTimerTest, InstantRateOverTheSampleInterval) {
    FrameTimer timer = SampledAt(10000, 7);
    timer.frames += 120;
    EXPECT_EQ("480.00", timer.instantFps(10250));
    EXPECT_EQ(10250u, timer.lastSampleTime);
    EXPECT_EQ(127u, timer.lastSampleFrames);
}

TEST(FrameTimerTest, ExactlyTheIntervalDoesNotSample) {
    FrameTimer first = SampledAt(1000, 0);
    first.frames = 30;
    std::string kept = first.instantFps(1500);  // 60.00
    ASSERT_EQ(" 60.00", kept);

    FrameTimer timer = SampledAt(2000, 0);
    timer.frames = 100;
    EXPECT_EQ(kept, timer.instantFps(2200));  // the kept text of the last sample
    EXPECT_EQ(2000u, timer.lastSampleTime);
    EXPECT_EQ(0u, timer.lastSampleFrames);
    EXPECT_EQ("497.51", timer.instantFps(2201));
}

TEST(FrameTimerTest, SamplingSurvivesTheTimerWrapping) {
    FrameTimer timer = SampledAt(0xFFFFFF00u, 0);
    timer.frames = 64;
    EXPECT_EQ("125.00", timer.instantFps(0x100u));  // 512 ms later
}

TEST(FrameTimerTest, AverageSinceStart) {
    FrameTimer timer = SampledAt(5000, 0);
    timer.frames = 1000;
    EXPECT_EQ(" 50.00", timer.averageFps(25000));
    EXPECT_EQ(" 50.00", timer.averageFps(25000));  // computed afresh, no state
}

TEST(FrameTimerTest, AverageBeforeAnyMillisecondPassedIsZero) {
    FrameTimer timer = SampledAt(5000, 0);
    EXPECT_EQ("  0.00", timer.averageFps(5000));
    timer.frames = 3;
    EXPECT_EQ("  0.00", timer.averageFps(5000));
}

TEST(FrameTimerTest, StartResetsTheCounters) {
    FrameTimer timer;
    EXPECT_EQ(200u, timer.sampleInterval);
    timer.frames = 50;
    timer.lastSampleFrames = 40;
    DWORD before = timeGetTime();
    timer.start();
    DWORD after = timeGetTime();
    EXPECT_EQ(0u, timer.frames);
    EXPECT_EQ(0u, timer.lastSampleFrames);
    EXPECT_LE(timer.startTime - before, after - before);  // taken between the two
    EXPECT_EQ(timer.startTime, timer.lastSampleTime);
}

// RenderFrame against a recording device; no world, font or input exist.
class RenderFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_device = &device;
        g_keepRunning = true;
        g_showConsole = false;
        g_showFps = false;
        g_frameTimer.frames = 0;
        g_presentParams = RecordingDevice::defaultParams();
        DrainMessages();
    }
    void TearDown() override {
        g_device = nullptr;
        g_keepRunning = g_showConsole = g_showFps = true;
        DrainMessages();
    }
    static void DrainMessages() {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    static bool QuitPosted() {
        MSG msg;
        return PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) && msg.message == WM_QUIT;
    }
    std::vector<std::string> frameCalls() const {
        std::vector<std::string> calls;
        for (const std::string& text : device.callTexts())
            if (text != "TestCooperativeLevel()") calls.push_back(text);
        return calls;
    }

    RecordingDevice device;
};

TEST_F(RenderFrameTest, FrameClearsDrawsPresentsAndCounts) {
    RenderFrame();
    EXPECT_EQ((std::vector<std::string>{"BeginScene()", "Clear(0, 0x3, 0xff212121, 1, 0)",
                                        "EndScene()", "Present()"}),
              frameCalls());
    EXPECT_EQ(1u, g_frameTimer.frames);
    EXPECT_FALSE(QuitPosted());
}

TEST_F(RenderFrameTest, LostDeviceSkipsThenResetsOnceThenDraws) {
    device.scriptCooperativeLevel({D3DERR_DEVICELOST, D3DERR_DEVICELOST, D3DERR_DEVICENOTRESET});
    RenderFrame();
    RenderFrame();
    EXPECT_EQ(0u, device.count("Present"));
    EXPECT_EQ(0u, device.count("BeginScene"));
    EXPECT_EQ(0u, g_frameTimer.frames);

    RenderFrame();
    EXPECT_EQ(1u, device.count("Reset"));
    EXPECT_EQ(0u, device.count("Present"));
    EXPECT_EQ(0u, g_frameTimer.frames);
    EXPECT_EQ(800u, device.presentParameters().BackBufferWidth);

    RenderFrame();
    EXPECT_EQ(1u, device.count("Reset"));
    EXPECT_EQ(1u, device.count("Present"));
    EXPECT_EQ(1u, g_frameTimer.frames);
}

// A reset puts every device state back to its initial value; the frame sets
// the run's states again so that the level is not drawn lit (black).
TEST_F(RenderFrameTest, SuccessfulResetSetsTheRunStatesAgain) {
    device.scriptCooperativeLevel({D3DERR_DEVICENOTRESET});
    RenderFrame();
    EXPECT_EQ(1u, device.count("Reset"));
    std::vector<std::string> calls = frameCalls();
    EXPECT_NE(calls.end(), std::find(calls.begin(), calls.end(), "SetRenderState(LIGHTING, 0)"));
    EXPECT_NE(calls.end(), std::find(calls.begin(), calls.end(), "SetRenderState(ZENABLE, 1)"));
    EXPECT_EQ(0u, device.count("Present"));
}

TEST_F(RenderFrameTest, FailedResetSetsNoStates) {
    device.scriptCooperativeLevel({D3DERR_DEVICENOTRESET});
    device.failCalls("Reset");
    RenderFrame();
    EXPECT_EQ(1u, device.count("Reset"));
    EXPECT_EQ(0u, device.count("SetRenderState"));
}

TEST_F(RenderFrameTest, FailedBeginSceneStillPresentsAndCounts) {
    device.failCalls("BeginScene");
    RenderFrame();
    EXPECT_EQ((std::vector<std::string>{"BeginScene()", "Present()"}), frameCalls());
    EXPECT_EQ(1u, g_frameTimer.frames);
}

TEST_F(RenderFrameTest, ClearedKeepRunningPostsQuitAndStillRenders) {
    g_keepRunning = false;
    RenderFrame();
    EXPECT_TRUE(QuitPosted());
    EXPECT_EQ(1u, device.count("Present"));
    EXPECT_EQ(1u, g_frameTimer.frames);
}

TEST_F(RenderFrameTest, NoDeviceOnlyChecksForQuit) {
    g_device = nullptr;
    g_keepRunning = false;
    RenderFrame();
    EXPECT_TRUE(QuitPosted());
    EXPECT_TRUE(device.calls().empty());
    EXPECT_EQ(0u, g_frameTimer.frames);
}

}  // namespace
