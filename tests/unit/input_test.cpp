// Input on the Linux DirectInput: records fed with chosen time stamps, frames
// run at chosen clock readings (this test owns timeGetTime), the handlers
// observed through the camera and the program's flags.
#include "app/globals.h"
#include "camera/camera.h"
#include "input/input.h"
#include "gl/gl_fixture.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

static DWORD g_clock = 1000;
DWORD WINAPI timeGetTime() { return g_clock; }

namespace {

using namespace tundra_testing;

constexpr float kPi = 3.14159265f;

class InputTest : public ::testing::Test {
protected:
    // Only one Input can be made in a process. W is held before it is made:
    // it counts as held from the moment of construction.
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
    DWORD at(DWORD offset) const { return base + offset; }
    static float Field(int field) {
        const float fields[] = {g_camera.movement.x, g_camera.movement.y, g_camera.movement.z,
                                g_camera.pitch,      g_camera.yaw,        g_camera.roll};
        return field < 0 ? 0 : fields[field];
    }

    static inline HWND window = nullptr;
    static inline Input* input = nullptr;
    static inline float rollAtFirstFrame = 0;
    DWORD base = 0;
};

// Each input pressed (or moved) and released between two frames: its handler
// runs once, at the release, with the held time; every other field stays 0.
TEST_F(InputTest, BindingsMoveAndTurnTheCamera) {
    enum { kKey, kButton, kMotion, kWheel };
    enum { kX, kY, kZ, kPitch, kYaw, kRoll, kNone = -1 };
    struct Row {
        const char* name;
        int kind;
        DWORD code, amount;
        int field;
        float expected;
    };
    const Row rows[] = {{"E", kKey, DIK_E, 100, kZ, 100},
                        {"Up", kKey, DIK_UP, 70, kZ, 70},
                        {"D", kKey, DIK_D, 100, kZ, -100},
                        {"Down", kKey, DIK_DOWN, 70, kZ, -70},
                        {"S", kKey, DIK_S, 100, kX, -100},
                        {"F", kKey, DIK_F, 100, kX, 100},
                        {"A", kKey, DIK_A, 100, kY, -100},
                        {"Left", kKey, DIK_LEFT, 1300, kYaw, -kPi},
                        {"Right", kKey, DIK_RIGHT, 650, kYaw, kPi / 2},
                        {"Q", kKey, DIK_Q, 1300, kRoll, -kPi},
                        {"W", kKey, DIK_W, 650, kRoll, kPi / 2},
                        {"right button", kButton, 1, 100, kY, 100},
                        {"mouse x", kMotion, 0, 1000, kYaw, kPi},
                        {"mouse y", kMotion, 1, 100, kPitch, -0.1f * kPi},
                        {"mouse y up", kMotion, 1, DWORD(-100), kPitch, 0.1f * kPi},
                        // DIK_3 and DIK_EQUALS share the codes of the mouse's y axis and
                        // right button; only the kind keeps them apart.
                        {"3", kKey, DIK_3, 100, kNone, 0},
                        {"=", kKey, DIK_EQUALS, 100, kNone, 0},
                        {"Z", kKey, DIK_Z, 100, kNone, 0},
                        {"left button", kButton, 0, 100, kNone, 0},
                        {"middle button", kButton, 2, 100, kNone, 0},
                        {"fourth button", kButton, 3, 100, kNone, 0},
                        {"wheel", kWheel, 0, DWORD(-240), kNone, 0}};
    EXPECT_FLOAT_EQ(rollAtFirstFrame, 40 * Input::kTurnRate);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SetUp();
        const LONG counts = LONG(row.amount);
        if (row.kind == kKey) FeedKey(row.code, true, at(5));
        if (row.kind == kButton) FeedMouseButton(int(row.code), true, at(5));
        if (row.kind == kMotion)
            FeedMouseMotion(row.code ? 0 : counts, row.code ? counts : 0, at(5));
        if (row.kind == kWheel) FeedMouseWheel(counts, at(5));
        if (row.kind == kKey) FeedKey(row.code, false, at(5 + row.amount));
        if (row.kind == kButton) FeedMouseButton(int(row.code), false, at(5 + row.amount));
        Frame(at(2000));
        Frame(at(2100));
        for (int field = kX; field <= kRoll; ++field)
            EXPECT_NEAR(Field(field), field == row.field ? row.expected : 0, 1e-6f) << field;
        EXPECT_TRUE(g_keepRunning && g_showConsole && g_showFps);
    }
}

TEST_F(InputTest, HeldTimeIsHandedOverFrameByFrameAndNeverTwice) {
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

TEST_F(InputTest, TogglesActOnceAtReleaseAndEscapeQuits) {
    FeedKey(DIK_GRAVE, true, at(0));
    Frame(at(10));
    EXPECT_TRUE(g_showConsole);
    FeedKey(DIK_GRAVE, false, at(30));
    FeedKey(DIK_CAPITAL, true, at(31));
    FeedKey(DIK_CAPITAL, false, at(32));
    Frame(at(40));
    EXPECT_FALSE(g_showConsole || g_showFps);
    FeedKey(DIK_GRAVE, true, at(50));
    FeedKey(DIK_GRAVE, false, at(51));
    FeedKey(DIK_ESCAPE, true, at(52));
    FeedKey(DIK_ESCAPE, false, at(53));
    Frame(at(60));
    EXPECT_TRUE(g_showConsole);
    EXPECT_FALSE(g_keepRunning);
}

TEST_F(InputTest, KeyboardOverflowKeepsTheFirstRecordsAndLogsOnce) {
    LogCapture log;
    for (DWORD tap = 0; tap < 9; ++tap) {  // 18 records, 16 kept
        FeedKey(DIK_E, true, at(10 * tap));
        FeedKey(DIK_E, false, at(10 * tap + 1));
    }
    Frame(at(100));
    Frame(at(110));
    EXPECT_EQ(log.text(), "Keyboard buffer overflow! \n");
    EXPECT_FLOAT_EQ(g_camera.movement.z, 8);
}

TEST_F(InputTest, KeyReleasedWhileInactiveKeepsCountingUntilItsNextRelease) {
    FeedKey(DIK_A, true, at(0));
    Frame(at(10));
    ShowWindow(window, SW_HIDE);
    input->unacquire();
    FeedKey(DIK_A, false, at(20));  // not seen: the window is inactive
    Frame(at(30));
    ShowWindow(window, SW_SHOW);
    input->acquire();
    Frame(at(40));
    EXPECT_FLOAT_EQ(g_camera.movement.y, -40);
    FeedKey(DIK_A, true, at(45));
    FeedKey(DIK_A, false, at(50));
    Frame(at(60));
    EXPECT_FLOAT_EQ(g_camera.movement.y, -45);
}

}  // namespace
