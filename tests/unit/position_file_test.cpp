// The position file: exact text written by F5, and what a restore keeps when
// the file is short, malformed or missing.
#include "app/globals.h"
#include "camera/camera.h"
#include "input/input.h"
#include "support/scratch_dir.h"
#include "text/console.h"

#include <gtest/gtest.h>

#include <string>

namespace {

void PlaceCamera(float x, float y, float z, float pitch, float yaw, float roll) {
    g_camera.position.set(x, y, z);
    g_camera.pitch = pitch;
    g_camera.yaw = yaw;
    g_camera.roll = roll;
}

void ExpectPlacement(float x, float y, float z, float pitch, float yaw, float roll) {
    EXPECT_FLOAT_EQ(g_camera.position.x, x);
    EXPECT_FLOAT_EQ(g_camera.position.y, y);
    EXPECT_FLOAT_EQ(g_camera.position.z, z);
    EXPECT_FLOAT_EQ(g_camera.pitch, pitch);
    EXPECT_FLOAT_EQ(g_camera.yaw, yaw);
    EXPECT_FLOAT_EQ(g_camera.roll, roll);
}

// The last complete line the console received.
std::string LastConsoleLine() {
    const auto& lines = g_console.getLines();
    return lines.size() >= 2 ? lines[lines.size() - 2] : std::string();
}

class PositionFile : public ::testing::Test {
protected:
    void SetUp() override { PlaceCamera(7, 8, 9, 0.25f, 0.5f, 0.75f); }
    ScratchDir dir;
};

TEST_F(PositionFile, SaveWritesSixNumbersEachFollowedByOneSpace) {
    PlaceCamera(1234.5678f, -0.000012345f, 10, 0.1f, 2, -3);
    Input::savePosition(0);
    EXPECT_EQ(dir.read("data/posFile.pos"), "1234.57 -1.2345e-05 10 0.1 2 -3 ");
    EXPECT_EQ(LastConsoleLine(), "Current position saved to file");

    PlaceCamera(0, 0, 0, 0, 0, 0);
    Input::savePosition(0);
    EXPECT_EQ(dir.read("data/posFile.pos"), "0 0 0 0 0 0 ");
}

TEST_F(PositionFile, SaveThenLoadRestoresRoundedPlacement) {
    PlaceCamera(1234.5678f, -0.000012345f, 10, 0.1f, 2, -3);
    g_camera.movement.set(1, 2, 3);
    Input::savePosition(0);
    PlaceCamera(0, 0, 0, 0, 0, 0);
    Input::loadPosition(1);
    ExpectPlacement(1234.57f, -1.2345e-05f, 10, 0.1f, 2, -3);
    EXPECT_FLOAT_EQ(g_camera.movement.z, 3);  // a pending displacement survives
    EXPECT_EQ(LastConsoleLine(), "Loaded position from file");
    g_camera.movement.set(0, 0, 0);
}

TEST_F(PositionFile, ShortOrMalformedFileSetsOnlyTheFieldsBeforeTheFault) {
    dir.writeData("posFile.pos", "5 6 7");
    Input::loadPosition(1);
    ExpectPlacement(5, 6, 7, 0.25f, 0.5f, 0.75f);

    PlaceCamera(7, 8, 9, 0.25f, 0.5f, 0.75f);
    dir.writeData("posFile.pos", "1 x 3 4 5 6 ");
    Input::loadPosition(1);
    ExpectPlacement(1, 8, 9, 0.25f, 0.5f, 0.75f);
}

TEST_F(PositionFile, NonFiniteOrOutOfRangeNumbersFailLikeText) {
    for (const char* text : {"1 2 nan 4 5 6 ", "1 2 inf 4 5 6 ", "1 2 -inf 4 5 6 ",
                             "1 2 1e39 4 5 6 ", "1 2 -1e300 4 5 6 "}) {
        PlaceCamera(7, 8, 9, 0.25f, 0.5f, 0.75f);
        dir.writeData("posFile.pos", text);
        Input::loadPosition(1);
        SCOPED_TRACE(text);
        ExpectPlacement(1, 2, 9, 0.25f, 0.5f, 0.75f);
    }
}

TEST_F(PositionFile, WhiteSpaceBetweenNumbersIsAnyWhiteSpace) {
    dir.writeData("posFile.pos", "\n 1\t2\n\n3   4e0 -5.5\r\n1e+06\n");
    Input::loadPosition(1);
    ExpectPlacement(1, 2, 3, 4, -5.5f, 1e6f);
}

TEST_F(PositionFile, MissingFileChangesNothingButStillReports) {
    g_console.print("marker\n");
    Input::loadPosition(1);
    ExpectPlacement(7, 8, 9, 0.25f, 0.5f, 0.75f);
    EXPECT_EQ(LastConsoleLine(), "Loaded position from file");
}

TEST_F(PositionFile, SaveWithoutDataFolderWritesNothingButReports) {
    std::filesystem::remove_all(dir.root() / "data");
    g_console.print("marker\n");
    Input::savePosition(0);
    EXPECT_FALSE(std::filesystem::exists(dir.root() / "data"));
    EXPECT_EQ(LastConsoleLine(), "Current position saved to file");
}

}  // namespace
