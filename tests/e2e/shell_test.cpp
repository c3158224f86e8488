// Runs the real viewer headless in a fresh directory and reads what it left:
// its log, its exit status and frames captured by the input script.
#include "support/config_text.h"
#include "support/viewer_process.h"

#include <chrono>
#include <csignal>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace viewer_process;

TEST_F(ViewerTest, NormalRunLogsEveryStepAndClosesCleanly) {
    writeData(ConfigText().set("window scaling", "0.75").text());
    writeScript("0 capture first.ppm\n300 capture later.ppm\n600 close\n");
    ViewerRun run = runWith({"TUNDRA_SCRIPT=script.txt"});
    EXPECT_EQ(0, run.exitCode) << run.stderrText;
    EXPECT_EQ(0u, run.log.rfind(kBanner, 0)) << run.log;
    ExpectInOrder(run.log,
                  {kBanner, "Loaded configuration file: data\\default.cfg\n", "InitD3D went ok\n",
                   "InitGeometry went ok\n", "Releasing main texture\n", "~~~flush font~~~\n",
                   "~~~start cleaning up after world~~~\n", "Releasing D3Ddevice\n",
                   "D3D object is history!\n", "crushing input.\n", kClosing});
    EXPECT_TRUE(EndsWith(run.log, std::string("crushing input.\n") + kClosing)) << run.log;

    for (const char* name : {"first.ppm", "later.ppm"}) {
        int width = 0, height = 0;
        std::vector<uint32_t> pixels;
        ASSERT_TRUE(ReadPpm((scratch.root() / name).string(), width, height, pixels)) << name;
        EXPECT_EQ(800, width);
        EXPECT_EQ(600, height);
        size_t clear = 0;
        for (uint32_t pixel : pixels) clear += pixel == 0x212121;
        // Everything but the console and frame-rate texts is the clear colour.
        EXPECT_GT(clear, pixels.size() * 8 / 10) << name;
        EXPECT_EQ(0x212121u, pixels[static_cast<size_t>(height / 2) * width + width / 2]) << name;
        EXPECT_EQ(0x212121u, pixels[0]) << name;
    }
}

TEST_F(ViewerTest, TerminationSignalClosesLikeTheTitleBarButton) {
    writeData(ConfigText().text());
    pid_t child = start({});
    ASSERT_TRUE(waitForLog("InitGeometry went ok")) << scratch.read("logging.txt");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // into the loop
    kill(child, SIGTERM);
    ViewerRun run = finish(child);
    EXPECT_EQ(0, run.exitCode);
    ExpectInOrder(run.log, {"InitGeometry went ok\n", "Releasing main texture\n",
                            "Releasing D3Ddevice\n", "crushing input.\n", kClosing});
    EXPECT_TRUE(EndsWith(run.log, kClosing));
}

TEST_F(ViewerTest, AllocationFailureInAFrameEndsInOrder) {
    writeData(ConfigText().text());
    writeScript("100 badalloc\n");
    ViewerRun run = runWith({"TUNDRA_SCRIPT=script.txt"});
    EXPECT_EQ(0, run.exitCode) << run.stderrText;
    ExpectInOrder(
        run.log, {"InitGeometry went ok\n", "\n\n!!!!!!!!!!!!   exception caught: std::bad_alloc\n",
                  "Releasing main texture\n", "Releasing D3Ddevice\n", "D3D object is history!\n",
                  "crushing input.\n", kClosing});
    EXPECT_TRUE(EndsWith(run.log, kClosing)) << run.log;
}

TEST_F(ViewerTest, MissingAdapterEndsAfterTheDirect3DObject) {
    writeData(ConfigText().set("video card", "7").text());
    ViewerRun run = runWith();
    EXPECT_EQ(0, run.exitCode);
    EXPECT_EQ(std::string(kBanner) + "Loaded configuration file: data\\default.cfg\n" +
                  "D3D object is history!\n" + kClosing,
              run.log);
}

TEST_F(ViewerTest, MissingDirect3D8ShowsTheMessageAndEnds) {
    writeData(ConfigText().text());
    ViewerRun run = runWith({"TUNDRA_HIDE_D3D8=1"});
    EXPECT_EQ(0, run.exitCode);
    EXPECT_NE(std::string::npos,
              run.stderrText.find("You need DirectX 8.0 or above to run Tundra!"));
    EXPECT_EQ(std::string(kBanner) + "Loaded configuration file: data\\default.cfg\n" + kClosing,
              run.log);
}

TEST_F(ViewerTest, MissingMainTextureNeverShowsTheWindow) {
    writeData(ConfigText().text());
    std::remove((scratch.root() / "data" / "marble.bmp").c_str());
    ViewerRun run = runWith();
    EXPECT_EQ(0, run.exitCode);
    EXPECT_EQ(std::string::npos, run.log.find("InitGeometry went ok"));
    EXPECT_EQ(std::string::npos, run.log.find("Releasing main texture"));
    EXPECT_EQ(std::string::npos, run.log.find("crushing input."));  // never activated
    ExpectInOrder(run.log, {"InitD3D went ok\n", "~~~flush font~~~\n", "Releasing D3Ddevice\n",
                            "D3D object is history!\n", kClosing});
}

TEST_F(ViewerTest, MissingConfigurationStillEndsInOrder) {
    writeData("");
    std::remove((scratch.root() / "data" / "default.cfg").c_str());
    ViewerRun run = runWith();
    EXPECT_EQ(0, run.exitCode);
    ExpectInOrder(run.log,
                  {kBanner, "Couldn't open the configuration file: data\\default.cfg\n", kClosing});
    EXPECT_TRUE(EndsWith(run.log, kClosing));
    EXPECT_NE(std::string::npos,
              run.stderrText.find("Tundra ended without showing its window; the last line of "
                                  "logging.txt: \"Couldn't open the configuration file: "
                                  "data\\default.cfg\"\n"))
        << run.stderrText;
}

}  // namespace
