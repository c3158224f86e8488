// Input on the Linux DirectInput: records fed with chosen time stamps, frames run
// at chosen clock readings (this test owns timeGetTime), handlers seen through g_.
#include "app/globals.h"
#include "camera/camera.h"
#include "input/input.h"
#include "gl/gl_fixture.h"
#include "platform/linux/input_internal.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

static DWORD g_clock = 1000;
DWORD WINAPI timeGetTime() { return g_clock; }

namespace {

using platform_linux::FeedKey;
using platform_linux::FeedMouseButton;
using platform_linux::FeedMouseMotion;
using platform_linux::FeedMouseWheel;

constexpr float kPi = 3.14159265f;

class InputTest : public ::testing::Test {
protected:
    // One Input a process; W, held before it is made, counts from its making.
    static void SetUpTestSuite() {
        window = gl_test::MakeWindow(64, 48);
        ShowWindow(window, SW_SHOW);
        FeedKey(DIK_W, true, 900);
        input = new Input(window);
        Frame(1040);
        rollAtFirstFrame = g_camera.roll;
        FeedKey(DIK_W, false, 1050);
        Frame(1060);
    }
    static void TearDownTestSuite() { delete input, DestroyWindow(window); }
    void SetUp() override {
        g_camera = Camera();
        g_keepRunning = g_showConsole = g_showFps = true;
        g_clock += 10000;
        base = g_clock + 10000;
    }
    static void Frame(DWORD now) { g_clock = now, input->update(); }
    static void Tap(DWORD key, DWORD down, DWORD up) {
        FeedKey(key, true, down), FeedKey(key, false, up);
    }
    DWORD at(DWORD offset) const { return base + offset; }
    static inline HWND window = nullptr;
    static inline Input* input = nullptr;
    static inline float rollAtFirstFrame = 0;
    DWORD base = 0;
};
// Pressed and released between frames: one call with the held time, all else 0.
// DIK_3 and DIK_EQUALS share the codes of the mouse's y axis and right button.
TEST_F(InputTest, BindingsMoveAndTurnTheCamera) {
    enum { kKey, kButton, kMotionX, kMotionY, kWheel };
    enum { kX, kY, kZ, kPitch, kYaw, kRoll, kNone };
    const struct {
        int kind;
        DWORD code;
        LONG amount;
        int field;
        float expected;
    } rows[] = {// clang-format off
        {kKey, DIK_E, 100, kZ, 100}, {kKey, DIK_UP, 70, kZ, 70}, {kKey, DIK_D, 100, kZ, -100},
        {kKey, DIK_DOWN, 70, kZ, -70}, {kKey, DIK_S, 100, kX, -100}, {kKey, DIK_F, 100, kX, 100},
        {kKey, DIK_A, 100, kY, -100}, {kKey, DIK_LEFT, 1300, kYaw, -kPi},
        {kKey, DIK_RIGHT, 650, kYaw, kPi / 2}, {kKey, DIK_Q, 1300, kRoll, -kPi},
        {kKey, DIK_W, 650, kRoll, kPi / 2}, {kButton, 1, 100, kY, 100},
        {kMotionX, 0, 1000, kYaw, kPi}, {kMotionY, 0, 100, kPitch, -0.1f * kPi},
        {kMotionY, 0, -100, kPitch, 0.1f * kPi}, {kKey, DIK_3, 100, kNone, 0},
        {kKey, DIK_EQUALS, 100, kNone, 0}, {kButton, 0, 100, kNone, 0}, {kButton, 3, 100, kNone, 0},
        {kWheel, 0, -240, kNone, 0}};
    // clang-format on
    EXPECT_FLOAT_EQ(rollAtFirstFrame, 40 * Input::kTurnRate);
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << "kind " << row.kind << ", code " << row.code);
        SetUp();
        if (row.kind == kKey) Tap(row.code, at(5), at(5 + row.amount));
        if (row.kind == kButton) FeedMouseButton(int(row.code), true, at(5));
        if (row.kind == kButton) FeedMouseButton(int(row.code), false, at(5 + row.amount));
        if (row.kind == kMotionX) FeedMouseMotion(row.amount, 0, at(5));
        if (row.kind == kMotionY) FeedMouseMotion(0, row.amount, at(5));
        if (row.kind == kWheel) FeedMouseWheel(row.amount, at(5));
        Frame(at(2000)), Frame(at(2100));
        const float fields[] = {g_camera.movement.x, g_camera.movement.y, g_camera.movement.z,
                                g_camera.pitch,      g_camera.yaw,        g_camera.roll};
        for (int field = kX; field <= kRoll; ++field)
            EXPECT_NEAR(fields[field], field == row.field ? row.expected : 0, 1e-6f) << field;
        EXPECT_TRUE(g_keepRunning && g_showConsole && g_showFps);
    }
}
TEST_F(InputTest, HeldTimeIsHandedOverFrameByFrameOnlyOnce) {
    FeedKey(DIK_E, true, at(0));
    FeedKey(DIK_F, true, at(20));  // stamped after the next frame's clock
    const std::pair<DWORD, float> frames[] = {{10, 10}, {30, 30}, {30, 30}, {50, 45}, {90, 45}};
    for (const auto& [now, forward] : frames) {
        if (now == 50) FeedKey(DIK_E, false, at(45)), FeedKey(DIK_F, false, at(40));
        Frame(at(now));
        EXPECT_FLOAT_EQ(g_camera.movement.z, forward) << now;
    }
    EXPECT_FLOAT_EQ(g_camera.movement.x, 20);
    FeedKey(DIK_D, true, at(100));
    Frame(at(150));
    FeedKey(DIK_D, false, at(140));  // stamped before the last accounting
    Frame(at(160));
    EXPECT_FLOAT_EQ(g_camera.movement.z, -5);
    // Leaving the window settles what is held: A hands over its time so far, the
    // console key (release-only) does nothing; their releases are never read.
    FeedKey(DIK_A, true, at(200)), FeedKey(DIK_GRAVE, true, at(200));
    Frame(at(210));
    ShowWindow(window, SW_HIDE);
    g_clock = at(215), input->unacquire();
    FeedKey(DIK_A, false, at(220)), FeedKey(DIK_GRAVE, false, at(220));
    Frame(at(230));
    ShowWindow(window, SW_SHOW);
    input->acquire();
    Frame(at(240));
    EXPECT_FLOAT_EQ(g_camera.movement.y, -15);
    EXPECT_TRUE(g_showConsole);
    Tap(DIK_A, at(245), at(250));
    Frame(at(260));
    EXPECT_FLOAT_EQ(g_camera.movement.y, -20);
}
// The keyboard is read first, but the save sees only the earlier mouse motion.
TEST_F(InputTest, EventsOfBothDevicesAreHandledInTimeOrderAndTogglesOnRelease) {
    ScratchDir dir;
    FeedMouseMotion(100, 0, at(10));
    Tap(DIK_F5, at(5), at(20));
    FeedMouseMotion(100, 0, at(30));
    FeedKey(DIK_GRAVE, true, at(31));
    Frame(at(40));
    EXPECT_EQ(dir.read("data/posFile.pos"), "0 0 0 0 0.314159 0 ");
    EXPECT_NEAR(g_camera.yaw, 0.2f * kPi, 1e-5);
    EXPECT_TRUE(g_showConsole);
    FeedKey(DIK_GRAVE, false, at(50));
    Frame(at(60));
    EXPECT_FALSE(g_showConsole);
    // On overflow the first 16 records are kept and the loss is logged once; D, whose
    // release is lost, is up by the keyboard's state and held until the frame's clock.
    LogCapture log;
    g_camera = Camera();
    for (DWORD tap = 0; tap < 7; ++tap) Tap(DIK_E, at(100 + tap), at(101 + tap));
    FeedKey(DIK_D, true, at(110)), FeedKey(DIK_Z, true, at(111));
    FeedKey(DIK_D, false, at(112)), FeedKey(DIK_Z, false, at(113));
    Frame(at(200));
    Frame(at(210));
    EXPECT_EQ(log.text(), "Keyboard buffer overflow! \n");
    EXPECT_FLOAT_EQ(g_camera.movement.z, 7 - 90);
}

}  // namespace
