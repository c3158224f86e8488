// An error text raised while the input devices are made inside the window
// procedure: it must not cross the window system, and the start-up's
// top-level handler must still log it and shut down in order.
#include "app/globals.h"
#include "app/log.h"
#include "app/main.h"
#include "support/recording_device.h"
#include "support/scratch_dir.h"
#include "support/shell_data.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(StartupErrorTest, InputErrorIsCaughtInTheWindowProcedureAndRaisedAfterwards) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    ScratchDir scratch;
    ASSERT_TRUE(shell_data::WriteAll(scratch.root().string(), ConfigText().text()));
    Log.close();
    Log.clear();
    Log.open("logging.txt", std::ios::out | std::ios::trunc);

    // Activating something that is no window makes the input devices refuse
    // their cooperative level, and the Input constructor raise its text.
    HWND notAWindow = reinterpret_cast<HWND>(uintptr_t{0xBAD0});
    EXPECT_EQ(0, WindowProc(notAWindow, WM_ACTIVATE, WA_ACTIVE, 0));
    EXPECT_EQ(nullptr, g_input);

    // The waiting text surfaces after the next window call of the start-up.
    tundra_test::RecordingDirect3D d3d;
    tundra_test::ScopedDirect3DFactory factory(&d3d);
    EXPECT_EQ(0, WinMain(nullptr, nullptr, const_cast<char*>(""), SW_SHOWDEFAULT));
    Log.flush();

    std::string log = scratch.read("logging.txt");
    std::string caught =
        "InitGeometry went ok\n\n\n!!!!!!!!!!!!   exception caught: "
        "Couldn't set keyboard cooperative level!\n"
        "Releasing main texture\n~~~flush font~~~\n";
    EXPECT_NE(std::string::npos, log.find(caught)) << log;
    std::string closing =
        "Releasing D3Ddevice\nD3D object is history!\n\n---------------------end logging";
    EXPECT_EQ(log.size() - closing.size(), log.rfind(closing)) << log;
    ASSERT_NE(nullptr, d3d.device());
    EXPECT_EQ(0u, d3d.device()->count("Present"));  // no frame after the error
}

}  // namespace
