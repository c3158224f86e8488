// Input on the Linux DirectInput: records fed with chosen time stamps, frames
// run at chosen clock readings (this test owns timeGetTime), and the bound
// handlers observed through the camera and the program's flags.
#include "app/globals.h"
#include "camera/camera.h"
#include "input/input.h"
#include "platform/linux/testing.h"
#include "support/active_window.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

// The frame clock, moved by the tests.
static DWORD g_clock = 1000;
DWORD WINAPI timeGetTime() { return g_clock; }

namespace {

using tundra_testing::FeedKey;
using tundra_testing::FeedMouseButton;
using tundra_testing::FeedMouseMotion;
using tundra_testing::FeedMouseWheel;

constexpr float kPi = 3.14159265f;

class InputTest : public ::testing::Test {
protected:
    // Only one Input can ever be made in a process, so the whole suite
    // shares it. W is held before it is made: it must count as held from the
    // moment of construction.
    static void SetUpTestSuite() {
        window = new ActiveWindow;
        FeedKey(DIK_W, true, 900);
        g_clock = 1000;
        input = new Input(window->handle());
        ResetCamera();
        Frame(1040);
        rollAfterFirstFrame = g_camera.roll;
        FeedKey(DIK_W, false, 1050);
        Frame(1060);
        rollAfterRelease = g_camera.roll;
    }
    static void TearDownTestSuite() {
        delete input;
        delete window;
    }

    void SetUp() override {
        ResetCamera();
        g_keepRunning = g_showConsole = g_showFps = true;
        g_clock += 10000;  // every test starts well after the last one
    }

    static void ResetCamera() {
        g_camera.position.set(0, 0, 0);
        g_camera.movement.set(0, 0, 0);
        g_camera.pitch = g_camera.yaw = g_camera.roll = 0;
    }

    static void Frame(DWORD now) {
        g_clock = now;
        input->update();
    }
    DWORD at(DWORD offset) const { return base + offset; }

    static ActiveWindow* window;
    static Input* input;
    static float rollAfterFirstFrame;
    static float rollAfterRelease;
    DWORD base = g_clock + 10000;
};

ActiveWindow* InputTest::window = nullptr;
Input* InputTest::input = nullptr;
float InputTest::rollAfterFirstFrame = 0;
float InputTest::rollAfterRelease = 0;

TEST_F(InputTest, KeyHeldAtConstructionCountsFromThatMoment) {
    EXPECT_FLOAT_EQ(rollAfterFirstFrame, 40 * Input::kTurnRate);
    EXPECT_FLOAT_EQ(rollAfterRelease, 50 * Input::kTurnRate);
}

TEST_F(InputTest, HeldKeyDurationsAddUpToTheHeldTime) {
    FeedKey(DIK_E, true, at(0));
    Frame(at(10));
    EXPECT_FLOAT_EQ(g_camera.movement.z, 10);
    Frame(at(30));
    EXPECT_FLOAT_EQ(g_camera.movement.z, 30);
    Frame(at(30));  // same millisecond: nothing to hand over
    EXPECT_FLOAT_EQ(g_camera.movement.z, 30);
    FeedKey(DIK_E, false, at(45));
    Frame(at(50));
    EXPECT_FLOAT_EQ(g_camera.movement.z, 45);
    Frame(at(90));
    EXPECT_FLOAT_EQ(g_camera.movement.z, 45);
}

TEST_F(InputTest, TapBetweenFramesCallsOnceAtRelease) {
    FeedKey(DIK_LEFT, true, at(5));
    FeedKey(DIK_LEFT, false, at(1305));
    Frame(at(1400));
    EXPECT_NEAR(g_camera.yaw, -kPi, 1e-4);
    Frame(at(1500));
    EXPECT_NEAR(g_camera.yaw, -kPi, 1e-4);
}

TEST_F(InputTest, ReleaseStampedBeforeLastAccountingHandsOverNothing) {
    FeedKey(DIK_D, true, at(0));
    Frame(at(50));
    EXPECT_FLOAT_EQ(g_camera.movement.z, -50);
    FeedKey(DIK_D, false, at(40));
    Frame(at(60));
    EXPECT_FLOAT_EQ(g_camera.movement.z, -50);
}

TEST_F(InputTest, PressStampedAfterTheFrameClockIsNotCountedTwice) {
    FeedKey(DIK_F, true, at(20));
    Frame(at(10));
    Frame(at(30));
    FeedKey(DIK_F, false, at(50));
    Frame(at(60));
    EXPECT_FLOAT_EQ(g_camera.movement.x, 30);
}

TEST_F(InputTest, EventsOfBothDevicesAreHandledInTimeOrder) {
    ScratchDir dir;
    // The keyboard is read first; the save must still see the earlier mouse
    // motion and not the later one.
    FeedMouseMotion(100, 0, at(10));
    FeedKey(DIK_F5, true, at(5));
    FeedKey(DIK_F5, false, at(20));
    FeedMouseMotion(100, 0, at(30));
    Frame(at(40));
    EXPECT_EQ(dir.read("data/posFile.pos"), "0 0 0 0 0.314159 0 ");
    EXPECT_NEAR(g_camera.yaw, 0.2f * kPi, 1e-5);
}

TEST_F(InputTest, MouseTurnsPitchesAndLiftsWithTheRightButton) {
    FeedMouseMotion(1000, 0, at(1));
    FeedMouseMotion(0, 100, at(2));
    FeedMouseButton(1, true, at(10));
    Frame(at(60));
    FeedMouseButton(1, false, at(110));
    Frame(at(120));
    EXPECT_NEAR(g_camera.yaw, kPi, 1e-5);
    EXPECT_NEAR(g_camera.pitch, -0.1f * kPi, 1e-5);
    EXPECT_FLOAT_EQ(g_camera.movement.y, 100);

    FeedMouseMotion(-1000, -100, at(130));
    Frame(at(140));
    EXPECT_NEAR(g_camera.yaw, 0, 1e-5);
    EXPECT_NEAR(g_camera.pitch, 0, 1e-5);
}

TEST_F(InputTest, UnboundInputsAndKeysSharingMouseCodesDoNothing) {
    // DIK_3 and DIK_EQUALS have the codes of the mouse's y axis and right
    // button; only the kind keeps them apart.
    for (DWORD key : {DWORD{DIK_3}, DWORD{DIK_EQUALS}, DWORD{DIK_Z}}) {
        FeedKey(key, true, at(1));
        FeedKey(key, false, at(101));
    }
    FeedMouseWheel(-240, at(2));
    FeedMouseButton(0, true, at(3));
    FeedMouseButton(2, true, at(3));
    FeedMouseButton(3, true, at(3));
    Frame(at(150));
    FeedMouseButton(0, false, at(160));
    FeedMouseButton(2, false, at(160));
    FeedMouseButton(3, false, at(160));
    Frame(at(170));
    EXPECT_EQ(g_camera.movement.y, 0);
    EXPECT_EQ(g_camera.movement.z, 0);
    EXPECT_EQ(g_camera.pitch, 0);
    EXPECT_EQ(g_camera.yaw, 0);
}

TEST_F(InputTest, ToggleAndSaveKeysActOnceAtRelease) {
    FeedKey(DIK_GRAVE, true, at(0));
    Frame(at(10));
    Frame(at(20));
    EXPECT_TRUE(g_showConsole);
    FeedKey(DIK_GRAVE, false, at(30));
    FeedKey(DIK_CAPITAL, true, at(31));
    FeedKey(DIK_CAPITAL, false, at(32));
    Frame(at(40));
    EXPECT_FALSE(g_showConsole);
    EXPECT_FALSE(g_showFps);
    FeedKey(DIK_GRAVE, true, at(50));
    FeedKey(DIK_GRAVE, false, at(51));
    Frame(at(60));
    EXPECT_TRUE(g_showConsole);
}

TEST_F(InputTest, EscapeQuitsEvenWhenReleasedBeforeTheNextFrame) {
    FeedKey(DIK_ESCAPE, true, at(0));
    FeedKey(DIK_ESCAPE, false, at(1));
    Frame(at(10));
    EXPECT_FALSE(g_keepRunning);
}

TEST_F(InputTest, KeyboardOverflowKeepsTheFirstRecordsAndLogsOnce) {
    LogCapture log;
    for (DWORD tap = 0; tap < 9; ++tap) {  // 18 records, 16 kept
        FeedKey(DIK_E, true, at(10 * tap));
        FeedKey(DIK_E, false, at(10 * tap + 1));
    }
    Frame(at(100));
    EXPECT_EQ(log.text(), "Keyboard buffer overflow! \n");
    EXPECT_FLOAT_EQ(g_camera.movement.z, 8);
    Frame(at(110));
    EXPECT_EQ(log.text(), "Keyboard buffer overflow! \n");
}

TEST_F(InputTest, KeyReleasedWhileInactiveKeepsCountingUntilItsNextRelease) {
    FeedKey(DIK_A, true, at(0));
    Frame(at(10));
    window->deactivate();
    input->unacquire();
    FeedKey(DIK_A, false, at(20));  // not seen: the window is inactive
    Frame(at(30));
    window->activate();
    input->acquire();
    Frame(at(40));
    EXPECT_FLOAT_EQ(g_camera.movement.y, -40);
    FeedKey(DIK_A, true, at(45));
    FeedKey(DIK_A, false, at(50));
    Frame(at(60));
    EXPECT_FLOAT_EQ(g_camera.movement.y, -45);
}

TEST_F(InputTest, SecondInputIsRefused) {
    const char* message = nullptr;
    try {
        Input second(window->handle());
    } catch (const char* text) {
        message = text;
    }
    ASSERT_NE(message, nullptr);
    EXPECT_STREQ(message, "tried to create 2 inputs. No go!");
    EXPECT_TRUE(Input::exists());
}

TEST(InputRates, MatchTheirSinglePrecisionBits) {
    uint32_t turn, mouse;
    std::memcpy(&turn, &Input::kTurnRate, 4);
    std::memcpy(&mouse, &Input::kMouseRate, 4);
    EXPECT_EQ(turn, 0x3B1E5FFCu);
    EXPECT_EQ(mouse, 0x3B4DE32Eu);
}

}  // namespace
