// A whole run of WinMain in this process against the recording Direct3D 8.
#include "app/globals.h"
#include "app/log.h"
#include "app/main.h"
#include "platform/linux/internal.h"
#include "support/recording_device.h"
#include "support/scratch_dir.h"
#include "support/shell_data.h"
#include "text/console.h"

#include <gtest/gtest.h>

namespace {

struct Viewer {
    ScratchDir scratch;
    tundra_test::RecordingDirect3D d3d{2};
    std::string log;
    int run(const std::string& config = ConfigText().text()) {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        EXPECT_TRUE(shell_data::WriteAll(scratch.root().string(), config));
        Log.close(), Log.clear(), Log.open("logging.txt", std::ios::out | std::ios::trunc);
        tundra_test::ScopedDirect3DFactory factory(&d3d);
        const int result = WinMain(nullptr, nullptr, const_cast<char*>(""), SW_SHOWDEFAULT);
        return log = (Log.flush(), scratch.read("logging.txt")), result;
    }
};
HWND g_seen = nullptr;
int g_width = 0, g_height = 0;

// Looks at the main window on the first pump, then quits as a termination signal does.
void InspectAndQuit() {
    for (Uint32 id = 1; id < 64 && !g_seen; ++id) {
        if (!(g_seen = platform_linux::WindowFromSdlId(id))) continue;
        SDL_GetWindowSize(platform_linux::SdlWindowOf(g_seen), &g_width, &g_height);
        SDL_Event quit{SDL_QUIT};
        SDL_PushEvent(&quit);
    }
}
TEST(StartupTest, RunShowsTheWindowCopiesTheStartUpLogAndReleasesEverything) {
    platform_linux::AddPumpHook(InspectAndQuit);
    Viewer run;
    EXPECT_EQ(0, run.run(ConfigText().set("window scaling", "0.75").set("video card", "1").text()));
    // 800 x 600 scaled by 0.75, less the sizing frame and the title bar (shown: the e2e table).
    EXPECT_EQ(std::pair(592, 423), std::pair(g_width, g_height));
    tundra_test::RecordingDevice* device = run.d3d.device();
    ASSERT_NE(nullptr, device);
    EXPECT_GE(device->count("Present"), 1u) << "the first paint draws a frame";
    EXPECT_EQ(1u, run.d3d.deviceRequests()[0].adapter);
    EXPECT_EQ(run.d3d.callTexts("GetDeviceCaps"),
              std::vector<std::string>{"GetDeviceCaps(1, HAL)"});  // of the device's adapter
    EXPECT_EQ(device->problems(), std::vector<std::string>{});
    EXPECT_EQ(std::pair(device->refCount(), run.d3d.refCount()), (std::pair<ULONG, ULONG>(0, 0)));
    EXPECT_TRUE(g_device == nullptr && g_input == nullptr);
    std::string console;  // only the start-up log is copied
    for (const std::string& line : g_console.getLines()) console += line + "\n";
    EXPECT_TRUE(console.find("Position not loaded from data\\posFile.pos: no saved position\n") !=
                    std::string::npos &&
                console.find("InitGeometry went ok\n") != std::string::npos &&
                console.find("Releasing") == std::string::npos)
        << console;
}

}  // namespace
