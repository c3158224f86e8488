// The position file: the text F5 writes, and what F9 keeps of each text.
#include "app/globals.h"
#include "camera/camera.h"
#include "input/input.h"
#include "support/scratch_dir.h"
#include "text/console.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Placement = std::vector<float>;  // x y z pitch yaw roll
void Place(const Placement& p) {
    g_camera.position.set(p[0], p[1], p[2]);
    g_camera.pitch = p[3], g_camera.yaw = p[4], g_camera.roll = p[5];
}
Placement Placed() {
    return {g_camera.position.x, g_camera.position.y, g_camera.position.z,
            g_camera.pitch,      g_camera.yaw,        g_camera.roll};
}
std::string LastConsoleLine() { return g_console.getLines().end()[-2]; }

TEST(PositionFile, SaveWritesSixNumbersEachFollowedByOneSpace) {
    ScratchDir dir;
    Place({1234.5678f, -0.000012345f, 10, 0.1f, 2, -3});
    Input::savePosition(0);
    EXPECT_EQ(dir.read("data/posFile.pos"), "1234.57 -1.2345e-05 10 0.1 2 -3 ");
    EXPECT_EQ(LastConsoleLine(), "Current position saved to file");
}

// From 7 8 9 0.25 0.5 0.75, each number up to the first that cannot be read.
TEST(PositionFile, LoadKeepsTheNumbersBeforeTheFirstFault) {
    const std::pair<const char*, Placement> rows[] = {
        {nullptr, {7, 8, 9, 0.25f, 0.5f, 0.75f}},  // no file
        {"1234.57 -1.2345e-05 10 0.1 2 -3 ", {1234.57f, -1.2345e-05f, 10, 0.1f, 2, -3}},
        {"5 6 7", {5, 6, 7, 0.25f, 0.5f, 0.75f}},
        {"1 x 3 4 5 6 ", {1, 8, 9, 0.25f, 0.5f, 0.75f}},
        {"1 2 3 4 5 -1e300 ", {1, 2, 3, 4, 5, 0.75f}},
        {"\n 1\t2\n\n3   4e0 -5.5\r\n1e+06\n", {1, 2, 3, 4, -5.5f, 1e6f}},
    };
    for (const auto& [text, placed] : rows) {
        SCOPED_TRACE(text ? text : "no file");
        ScratchDir dir;
        if (text) dir.writeData("posFile.pos", text);
        Place({7, 8, 9, 0.25f, 0.5f, 0.75f});
        g_console.print("marker\n");
        Input::loadPosition(1);
        EXPECT_EQ(Placed(), placed);
        EXPECT_EQ(LastConsoleLine(), "Loaded position from file");
    }
}

}  // namespace
