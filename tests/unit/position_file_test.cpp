// The position file: the text F5 writes, what F9 takes of each text, and what each tells the user.
#include "app/globals.h"
#include "camera/camera.h"
#include "input/input.h"
#include "support/log_capture.h"
#include "support/scratch_dir.h"
#include "text/console.h"

#include <gtest/gtest.h>

#include <filesystem>
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

// Success is told on the console only; a failure also in the log.
TEST(PositionFile, SaveReportsWhetherTheFileWasWritten) {
    const std::string failed = "Couldn't save the position to file: data\\posFile.pos";
    const struct {
        const char* what;
        void (*prepare)(const ScratchDir&);
        std::string line, logged;
    } rows[] = {
        {"writable", [](const ScratchDir&) {}, "Current position saved to file", ""},
        {"a directory",
         [](const ScratchDir& dir) {
             std::filesystem::create_directory(dir.root() / "data/posFile.pos");
         },
         failed, failed + "\n"},
        // Opens, takes the text into its buffer, and fails when it is written out.
        {"a full disk",
         [](const ScratchDir& dir) {
             std::filesystem::create_symlink("/dev/full", dir.root() / "data/posFile.pos");
         },
         failed, failed + "\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ScratchDir dir;
        row.prepare(dir);
        LogCapture log;
        Place({1234.5678f, -0.000012345f, 10, 0.1f, 2, -3});
        Input::savePosition(0);
        EXPECT_EQ(LastConsoleLine(), row.line);
        EXPECT_EQ(log.text(), row.logged);
        if (row.logged.empty()) {
            EXPECT_EQ(dir.read("data/posFile.pos"), "1234.57 -1.2345e-05 10 0.1 2 -3 ");
        }
    }
}

// From 7 8 9 0.25 0.5 0.75: all six numbers are taken, or none.
TEST(PositionFile, LoadTakesAllSixNumbersOrKeepsThePlacement) {
    const Placement kept{7, 8, 9, 0.25f, 0.5f, 0.75f};
    const std::string notLoaded = "Position not loaded from data\\posFile.pos: ";
    const auto damaged = [&](int number) {
        return notLoaded + "damaged: number " + std::to_string(number) +
               " of 6 is missing or unreadable";
    };
    const struct {
        const char* text;  // null: no file
        Placement placed;
        std::string line;
        const char* linkTo = nullptr;  // the file is a link to this one
    } rows[] = {
        {nullptr, kept, notLoaded + "no saved position"},
        // Refuses reading even to root.
        {nullptr, kept, notLoaded + "it cannot be read", "/proc/sys/vm/drop_caches"},
        {"1234.57 -1.2345e-05 10 0.1 2 -3 ", {1234.57f, -1.2345e-05f, 10, 0.1f, 2, -3}, ""},
        {"\n 1\t2\n\n3   4e0 -5.5\r\n1e+06\n", {1, 2, 3, 4, -5.5f, 1e6f}, ""},
        {"", kept, damaged(1)},
        {"5 6 7", kept, damaged(4)},
        {"1 x 3 4 5 6 ", kept, damaged(2)},
        {"1 2 3 4 5 -1e300 ", kept, damaged(6)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text ? row.text : "no file");
        ScratchDir dir;
        if (row.text) dir.writeData("posFile.pos", row.text);
        if (row.linkTo)
            std::filesystem::create_symlink(row.linkTo, dir.root() / "data/posFile.pos");
        Place(kept);
        LogCapture log;
        Input::loadPosition(1);
        EXPECT_EQ(Placed(), row.placed);
        EXPECT_EQ(LastConsoleLine(), row.line.empty() ? "Loaded position from file" : row.line);
        EXPECT_EQ(log.text(), row.line.empty() ? "" : row.line + "\n");
    }
}

}  // namespace
