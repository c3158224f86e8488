// The real program, headless, driven by an input script (TUNDRA_SCRIPT):
// flying, turning, looking, lifting, saving and restoring the placement,
// switching the overlays, and quitting, checked through the position file,
// captured frames and the log.
#include "support/run_checks.h"
#include "support/scratch_dir.h"
#include "support/shell_data.h"
#include "support/tool_runner.h"
#include "tools/common/font_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr float kPi = 3.14159265f;
constexpr int kWidth = 320, kHeight = 240;

const char kConfig[] =
    "screen width=320\n"
    "screen height=240\n"
    "full screen=0\n"
    "window scaling=1\n"
    "hardware T&L=1\n"
    "back face culling=1\n"
    "video card=0\n"
    "backbuffer format=X8R8G8B8\n"
    "texture format=A8R8G8B8\n"
    "depth-stencil buffer format=D24S8\n";

using tundra_test::Frame;
using tundra_test::ReadPpm;

// Pure-red text pixels inside the given share of the frame.
int RedPixels(const Frame& frame, double left, double top, double right, double bottom) {
    int count = 0;
    for (int y = int(top * frame.height); y < int(bottom * frame.height); ++y)
        for (int x = int(left * frame.width); x < int(right * frame.width); ++x) {
            const unsigned char* p = &frame.rgb[(size_t(y) * frame.width + x) * 3];
            if (p[0] > 120 && p[1] < 60 && p[2] < 60) ++count;
        }
    return count;
}

class Flying : public ::testing::Test {
protected:
    void SetUp() override {
        // The level lies behind the starting view, so the frames hold only
        // the background and the red text.
        ASSERT_TRUE(shell_data::WriteAll(dir.root().string(), kConfig,
                                         tundra_formats::UniformFont(8, 12, 6, 9)));
        // The viewer reads the texture the marble tool makes, not a stand-in.
        std::string output;
        ASSERT_EQ(tundra_test::RunTool(
                      tundra_test::ToolPath("mktexture") + " --size 64 data/marble.bmp", output),
                  0)
            << output;
    }

    // Plays the script in the real program; true when it ended by itself.
    bool run(const std::string& script) {
        std::ofstream(dir.root() / "script.txt") << script;
        std::string command =
            "SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy "
            "TUNDRA_SCRIPT=script.txt timeout 60 " +
            std::string(TUNDRA_BINARY_DIR) + "/tundra >run.out 2>&1";
        return std::system(command.c_str()) == 0;
    }

    // The six numbers of the position file.
    std::vector<float> savedPlacement() const {
        std::istringstream in(dir.read("data/posFile.pos"));
        std::vector<float> numbers;
        float value;
        while (in >> value) numbers.push_back(value);
        return numbers;
    }

    void expectPlacement(const std::vector<float>& expected, float tolerance) const {
        std::vector<float> saved = savedPlacement();
        ASSERT_EQ(saved.size(), 6u) << dir.read("data/posFile.pos");
        for (size_t i = 0; i < 6; ++i)
            EXPECT_NEAR(saved[i], expected[i], tolerance) << "field " << i;
    }

    ScratchDir dir;
};

// Movement is carried out along the angles in force when the frame draws, so
// each run keeps moving and turning apart to stay independent of frame times.
TEST_F(Flying, ForwardKeyMovesOneUnitPerMillisecondHeld) {
    ASSERT_TRUE(
        run("0 key E down\n"
            "250 key E up\n"
            "400 key F5 down\n"
            "410 key F5 up\n"
            "500 close\n"));
    expectPlacement({0, 0, 250, 0, 0, 0}, 1e-3f);
}

TEST_F(Flying, ArrowTurnsByItsHeldTimeAndTheRightButtonLifts) {
    ASSERT_TRUE(
        run("0 key LEFT down\n"
            "1300 key LEFT up\n"
            "1400 button 1 down\n"
            "1500 button 1 up\n"
            "1600 key F5 down\n"
            "1610 key F5 up\n"
            "1700 close\n"));
    expectPlacement({0, 100, 0, 0, -kPi, 0}, 2e-4f);
}

TEST_F(Flying, MovementIsSpreadOverTheFramesOfTheHold) {
    // Saved while E is still held: part of the way is already flown.
    ASSERT_TRUE(
        run("0 key E down\n"
            "300 key F5 down\n"
            "310 key F5 up\n"
            "600 key E up\n"
            "700 close\n"));
    std::vector<float> saved = savedPlacement();
    ASSERT_EQ(saved.size(), 6u);
    EXPECT_GT(saved[2], 0);
    EXPECT_LE(saved[2], 310);
}

TEST_F(Flying, MouseTurnsAndTheDownKeyLowers) {
    ASSERT_TRUE(
        run("10 mouse 1000 0\n"
            "20 key A down\n"
            "120 key A up\n"
            "200 key F5 down\n"
            "210 key F5 up\n"
            "300 close\n"));
    expectPlacement({0, -100, 0, 0, kPi, 0}, 2e-4f);
}

TEST_F(Flying, RestoreBringsBackTheSavedPlacement) {
    // Fly somewhere, save, fly on, restore, and save again: the last file
    // holds the first placement, not the later one.
    ASSERT_TRUE(
        run("0 mouse 1234 -321\n"
            "10 key E down\n"
            "133 key E up\n"
            "200 key F5 down\n"
            "210 key F5 up\n"
            "300 key E down\n"
            "400 key E up\n"
            "410 mouse 500 500\n"
            "500 key F9 down\n"
            "510 key F9 up\n"
            "600 key F5 down\n"
            "610 key F5 up\n"
            "700 close\n"));
    float yaw = 1234 * 0.0031415927f, pitch = 321 * 0.0031415927f;
    expectPlacement({123 * std::sin(yaw) * std::cos(pitch), 123 * std::sin(pitch),
                     123 * std::cos(yaw) * std::cos(pitch), pitch, yaw, 0},
                    2e-3f);
}

TEST_F(Flying, OverlaysToggleAndEscapeEndsTheRun) {
    ASSERT_TRUE(
        run("100 capture both.ppm\n"
            "200 key GRAVE down\n"
            "210 key GRAVE up\n"
            "300 capture fps.ppm\n"
            "400 key CAPITAL down\n"
            "410 key CAPITAL up\n"
            "500 capture none.ppm\n"
            "600 key GRAVE down\n"
            "610 key GRAVE up\n"
            "700 capture console.ppm\n"
            "800 key ESCAPE down\n"
            "800 key ESCAPE up\n"))
        << dir.read("run.out");

    Frame both = ReadPpm((dir.root() / "both.ppm").string());
    Frame fps = ReadPpm((dir.root() / "fps.ppm").string());
    Frame none = ReadPpm((dir.root() / "none.ppm").string());
    Frame console = ReadPpm((dir.root() / "console.ppm").string());
    ASSERT_TRUE(both.loaded() && fps.loaded() && none.loaded() && console.loaded())
        << dir.read("run.out");
    EXPECT_EQ(both.width, kWidth);
    EXPECT_EQ(both.height, kHeight);
    // Console lines start at the left edge; the frame-rate lines are centred
    // far to the right.
    EXPECT_GT(RedPixels(both, 0, 0, 0.1, 1), 0);
    EXPECT_GT(RedPixels(fps, 0, 0, 1, 1), 0);
    EXPECT_EQ(RedPixels(fps, 0, 0, 0.1, 1), 0);
    EXPECT_EQ(RedPixels(none, 0, 0, 1, 1), 0);
    EXPECT_GT(RedPixels(console, 0, 0, 0.1, 1), 0);
    EXPECT_LT(RedPixels(console, 0, 0, 1, 1), RedPixels(both, 0, 0, 1, 1));

    std::string log = dir.read("logging.txt");
    const std::string ending = "crushing input.\n\n---------------------end logging";
    ASSERT_GE(log.size(), ending.size());
    EXPECT_EQ(log.substr(log.size() - ending.size()), ending);
    EXPECT_NE(log.find("D3D object is history!"), std::string::npos);
}

}  // namespace
