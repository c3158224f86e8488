// One whole run of WinMain in this process against the recording Direct3D 8:
// the window it makes, what reaches the console, and the order of releases.
// The configuration is read once per process, so this file holds one run.
#include "app/globals.h"
#include "app/log.h"
#include "platform/linux/internal.h"
#include "support/recording_device.h"
#include "support/scratch_dir.h"
#include "support/shell_data.h"
#include "text/console.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct SeenWindow {
    bool seen = false;
    std::string title;
    int width = 0, height = 0;
    bool visible = false;
    bool active = false;
};
SeenWindow g_seen;

// Looks at the main window on the first pump of the message loop, then asks
// the program to quit the way a termination signal does.
void InspectAndQuit() {
    if (g_seen.seen) return;
    for (Uint32 id = 1; id < 64; ++id) {
        HWND window = platform_linux::WindowFromSdlId(id);
        if (!window) continue;
        SDL_Window* sdl = platform_linux::SdlWindowOf(window);
        g_seen.seen = true;
        g_seen.title = SDL_GetWindowTitle(sdl);
        SDL_GetWindowSize(sdl, &g_seen.width, &g_seen.height);
        g_seen.visible = !(SDL_GetWindowFlags(sdl) & SDL_WINDOW_HIDDEN);
        g_seen.active = platform_linux::WindowIsActive(window);
        SDL_Event quit{};
        quit.type = SDL_QUIT;
        SDL_PushEvent(&quit);
        return;
    }
}

bool ConsoleHas(const std::string& text) {
    for (const std::string& line : g_console.getLines())
        if (line.find(text) != std::string::npos) return true;
    return false;
}

TEST(StartupTest, WinMainRunsTheWholeSequenceOnTheRecordingDevice) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    ScratchDir scratch;
    ASSERT_TRUE(shell_data::WriteAll(scratch.root().string(),
                                     ConfigText().set("window scaling", "0.75").text()));
    Log.close();
    Log.clear();
    Log.open("logging.txt", std::ios::out | std::ios::trunc);
    tundra_test::RecordingDirect3D d3d;
    tundra_test::ScopedDirect3DFactory factory(&d3d);
    platform_linux::AddPumpHook(InspectAndQuit);

    EXPECT_EQ(0, WinMain(nullptr, nullptr, const_cast<char*>(""), SW_SHOWDEFAULT));
    Log.flush();

    ASSERT_TRUE(g_seen.seen);
    EXPECT_EQ("Tundra", g_seen.title);
    // The outer window is 800 x 0.75 by 600 x 0.75; the client area inside
    // its sizing frame and title bar is 600 - 8 by 450 - 27.
    EXPECT_EQ(592, g_seen.width);
    EXPECT_EQ(423, g_seen.height);
    EXPECT_TRUE(g_seen.visible);
    EXPECT_TRUE(g_seen.active);

    // The first paint rendered a frame before the loop started.
    tundra_test::RecordingDevice* device = d3d.device();
    ASSERT_NE(nullptr, device);
    EXPECT_GE(device->count("Present"), 1u);
    EXPECT_EQ(0u, d3d.deviceRequests()[0].adapter);

    // Everything made was released exactly once.
    EXPECT_TRUE(device->leaks().empty()) << device->leaks().front();
    EXPECT_TRUE(device->referenceErrors().empty());
    EXPECT_EQ(0u, device->refCount());
    EXPECT_EQ(0u, d3d.refCount());
    EXPECT_EQ(nullptr, g_device);
    EXPECT_EQ(nullptr, g_input);

    EXPECT_TRUE(ConsoleHas("Loaded position from file"));
    EXPECT_TRUE(ConsoleHas("InitGeometry went ok"));
    EXPECT_FALSE(ConsoleHas("Releasing"));  // only the start-up log is copied

    std::string log = scratch.read("logging.txt");
    EXPECT_NE(std::string::npos, log.find("InitGeometry went ok\n"));
    std::string closing = "crushing input.\n\n---------------------end logging";
    EXPECT_EQ(log.size() - closing.size(), log.rfind(closing)) << log;
}

}  // namespace
