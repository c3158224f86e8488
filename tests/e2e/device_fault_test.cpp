// The real viewer on a Direct3D 8 that refuses resources and loses its
// device: each resource call of a normal start-up failed in turn, and a
// thousand losses and resets while frames run. The program must keep going,
// log what it logs, end cleanly (under the sanitizer build: without a leak
// or an invalid access) and draw after each reset exactly what it drew
// before the loss.
#include "platform/linux/testing.h"
#include "support/config_text.h"
#include "support/viewer_process.h"

#include <csignal>
#include <cstdint>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace viewer_process;

using shell_data::SmallConfig;

// The start-up with one resource call failing, and what the program must do.
struct FaultRow {
    std::string fault;    // TUNDRA_FAULT: the call and its number
    std::string logText;  // in the log (the line ends of the messages vary)
    bool windowShown;     // start-up completed and frames ran
};

// The shell's data: the font packs into one texture, marble.bmp (8 x 8)
// has 4 mip levels, the level has one lightmap. Start-up creates, in this
// order, the font's vertex buffer (locked) and texture (locked), the main
// texture (each level locked), the level's vertex buffer (locked) and its
// lightmap (locked).
const std::vector<FaultRow>& StartUpFaults() {
    static const std::vector<FaultRow> rows = {
        {"CreateVertexBuffer:1", "error allocating VB for font", true},
        {"Lock:1", "error allocating VB for font", true},
        {"CreateTexture:1", "failed to creat a font texture", true},
        {"LockRect:1", "failed to creat a font texture", true},
        {"CreateTexture:2", "nuber of textures created for the font are: 1\n", false},
        {"LockRect:2", "nuber of textures created for the font are: 1\n", false},
        {"LockRect:3", "nuber of textures created for the font are: 1\n", false},
        {"LockRect:4", "nuber of textures created for the font are: 1\n", false},
        {"LockRect:5", "nuber of textures created for the font are: 1\n", false},
        {"CreateVertexBuffer:2", "ERROR: Creation of the vertex buffer failed!!!", true},
        {"Lock:2", "ERROR: Locking the world vertex buffer failed; the level is not drawn\n", true},
        {"CreateTexture:3", "ERROR: Creation of lightmap 0 failed\n", true},
        {"LockRect:6", "ERROR: Locking lightmap 0 failed\n", true},
    };
    return rows;
}

std::map<std::string, unsigned> ReadCounts(const std::string& text) {
    std::map<std::string, unsigned> counts;
    std::istringstream lines(text);
    std::string name;
    unsigned count = 0;
    while (lines >> name >> count) counts[name] = count;
    return counts;
}

class DeviceFaultTest : public ViewerTest {
protected:
    void SetUp() override {
        writeData(SmallConfig());
        scratch.writeData("posFile.pos", shell_data::kPlacementFacingTheLevel);
    }
};

TEST_F(DeviceFaultTest, NormalStartUpMakesTheCallsTheFaultTableCovers) {
    writeScript("100 close\n");
    ViewerRun run = runWith({"TUNDRA_SCRIPT=script.txt", "TUNDRA_FAULT_COUNTS=counts.txt"});
    EXPECT_EQ(0, run.exitCode) << run.stderrText;
    std::map<std::string, unsigned> counts = ReadCounts(scratch.read("counts.txt"));
    std::map<std::string, unsigned> covered;
    for (const FaultRow& row : StartUpFaults()) ++covered[row.fault.substr(0, row.fault.find(':'))];
    EXPECT_EQ(counts, covered) << scratch.read("counts.txt");
}

TEST_F(DeviceFaultTest, EverySingleStartUpFaultIsSurvived) {
    writeScript("100 capture frame.ppm\n200 close\n");
    for (const FaultRow& row : StartUpFaults()) {
        SCOPED_TRACE(row.fault);
        std::remove((scratch.root() / "frame.ppm").c_str());
        ViewerRun run = runWith({"TUNDRA_SCRIPT=script.txt", "TUNDRA_FAULT=" + row.fault});
        EXPECT_EQ(0, run.exitCode) << run.stderrText;
        ExpectNoSanitizerReport(run.stderrText);
        ExpectInOrder(run.log, {kBanner, "InitD3D went ok\n", row.logText});
        EXPECT_TRUE(EndsWith(run.log, kClosing)) << run.log;
        const bool started = run.log.find("InitGeometry went ok\n") != std::string::npos;
        EXPECT_EQ(row.windowShown, started) << run.log;
        int width = 0, height = 0;
        std::vector<uint32_t> pixels;
        EXPECT_EQ(row.windowShown,
                  ReadPpm((scratch.root() / "frame.ppm").string(), width, height, pixels));
        if (row.windowShown) {
            ExpectInOrder(run.log, {"InitGeometry went ok\n", "Releasing main texture\n",
                                    "Releasing D3Ddevice\n", "crushing input.\n", kClosing});
            EXPECT_EQ(0x212121u, pixels.at(0));  // the frame was cleared and drawn
        } else {
            ExpectInOrder(run.log, {"~~~flush font~~~\n", "Releasing D3Ddevice\n",
                                    "D3D object is history!\n", kClosing});
            EXPECT_EQ(std::string::npos, run.log.find("Releasing main texture")) << run.log;
        }
    }
}

// The first hash line is the frame presented just before the first loss,
// each later one the first frame after a reset.
TEST_F(DeviceFaultTest, ThousandLossesAndResetsDrawTheFrameOfBeforeTheLoss) {
    const int cycles = 1000;
    // Caps Lock hides the frame-rate figures, the one thing that changes
    // from frame to frame.
    writeScript(
        "0 key CAPITAL down\n30 key CAPITAL up\n200 capture before.ppm\n"
        "300 lose " +
        std::to_string(cycles) + " frames.txt\n");
    pid_t child = start({"TUNDRA_SCRIPT=script.txt"});
    EXPECT_TRUE(waitForLines("frames.txt", cycles + 1, 500))
        << "hash lines written: " << CountLines(scratch.read("frames.txt"));
    kill(child, SIGTERM);
    ViewerRun run = finish(child);
    EXPECT_EQ(0, run.exitCode) << run.stderrText;
    ExpectNoSanitizerReport(run.stderrText);
    ExpectInOrder(run.log, {"InitGeometry went ok\n", "Releasing main texture\n",
                            "Releasing D3Ddevice\n", "crushing input.\n", kClosing});

    int width = 0, height = 0;
    std::vector<uint32_t> before;
    ASSERT_TRUE(ReadPpm((scratch.root() / "before.ppm").string(), width, height, before));
    ASSERT_EQ(320, width);
    // The level's face fills the middle; the console's text the lower left.
    EXPECT_NE(0x212121u, before[size_t(height / 2) * width + width / 2]);
    char expected[32];
    std::snprintf(expected, sizeof expected, "%016llx",
                  static_cast<unsigned long long>(tundra_testing::FrameHash(before)));

    std::istringstream lines(scratch.read("frames.txt"));
    std::string line;
    int count = 0, differing = 0;
    while (std::getline(lines, line)) {
        if (line != expected && differing++ == 0)
            ADD_FAILURE() << "frame " << count << " differs from the one before: " << line;
        ++count;
    }
    EXPECT_EQ(0, differing);
    EXPECT_EQ(cycles + 1, count);
}

}  // namespace
