// The real viewer run headless by an input script: a user's run, a recorded flight,
// one table of orderly ends; each with its exit status and its log in order.
#include "support/viewer_process.h"
#include <gmock/gmock.h>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <regex>

namespace {
using namespace viewer_process;
namespace fs = std::filesystem;
constexpr uint32_t kClear = 0x212121;
// The middle of the first frame: the level's face or the clear colour.
enum class View { NotShown, Level, Clear };
struct Expected {
    View view;
    std::vector<std::string> log;  // in this order; empty: no log file at all
    std::string stderrText = "";
};
using Damage = std::function<void(const fs::path& data)>;
struct Row {
    std::string name;
    Damage damage;
    Expected expected;
    std::string environment = "";
};
Damage Remove(const char* name) {
    return [name](const fs::path& data) { fs::remove(data / name); };
}
const std::string kConfigLoaded = "Loaded configuration file: data\\default.cfg\n";
const std::string kInitD3D = "InitD3D went ok\n";
const std::string kFontLoaded = "loading up font 'data\\font.f'\n";
const std::string kWorldLoaded = "LOADED: data\\world.geom\n";
const std::string kNoFaces = "number of polygons in map: 0\n";
const std::string kStarted = "InitGeometry went ok\n";
const std::string kNoDevice = "D3D object is history!\n";
const std::vector<std::string> kShutdown = {
    kStarted, "Releasing main texture\n", "Releasing D3Ddevice\n", kNoDevice, kInputGone, kClosing};
// Lines in the log exactly when a row expects them.
const std::string kMilestones[] = {kInitD3D, kStarted, kNoDevice, kInputGone};
Expected Runs(View view, std::vector<std::string> middle) {
    middle.insert(middle.begin(), {kBanner, kConfigLoaded, kInitD3D});
    middle.insert(middle.end(), kShutdown.begin(), kShutdown.end());
    return {view, middle};
}
Expected EmptyLevel(const std::string& why) {
    return Runs(View::Clear, {kWorldLoaded, why, kNoFaces});
}
// Each kind of failure once: a start that fails ends with status 1 before the window shows; a
// level, font or log that cannot be had leaves a run that draws what it has. Damaged files are
// the readers' tests.
const Row kRows[] = {
    // A GL older than the device needs: the log says which it found.
    {"OpenGlBelow33",
     {},
     {View::NotShown,
      {kBanner, kConfigLoaded, "needs OpenGL 3.3 or newer, and found OpenGL 3.0 ", kClosing},
      "You need DirectX 8.0 or above to run Tundra!"},
     "MESA_GL_VERSION_OVERRIDE=3.0"},
    {"ConfigMissing",
     Remove("default.cfg"),
     {View::NotShown,
      {kBanner, "Couldn't open the configuration file: data\\default.cfg\n", kNoDevice, kClosing},
      "the last line of logging.txt: \"Couldn't open the configuration file: data\\default.cfg\""}},
    // The font is made and flushed, no window.
    {"TextureMissing",
     Remove("marble.bmp"),
     {View::NotShown,
      {kBanner, kConfigLoaded, kInitD3D, kFontLoaded,
       "ERROR: couldn't load the main texture data\\marble.bmp: the file cannot be opened\n",
       "~~~flush font~~~\n", "Releasing D3Ddevice\n", kNoDevice, kClosing}}},
    {"FontMissing", Remove("font.f"),
     Runs(View::Level, {"couldn't read: data\\font.f", kWorldLoaded})},
    {"WorldMissing", Remove("world.geom"),
     Runs(View::Clear, {"ERROR: Can't open world file: world.geom\n", kNoFaces})},
    // A directory opens and reads no bytes.
    {"WorldDirectory",
     [](const fs::path& data) {
         fs::remove(data / "world.geom"), fs::create_directory(data / "world.geom");
     },
     EmptyLevel("ERROR: World file data\\world.geom is shorter than its 16-byte header")},
    // Counts that match a 60 GB file, made that large with a hole (no disk space).
    {"WorldBeyondMemory",
     [](const fs::path& data) {
         const int32_t header[4] = {0x7fffffff, 0, 0, 0};
         std::ofstream(data / "world.geom", std::ios::binary).write((const char*)header, 16);
         fs::resize_file(data / "world.geom", 16 + 28 * uintmax_t(0x7fffffff));
     },
     EmptyLevel("a level may take; loading an empty level\n")},
    // No log at all; the program starts and runs as usual.
    {"LogNotCreatable",
     [](const fs::path& data) { fs::create_directory(data / ".." / "logging.txt"); },
     {View::Level, {}}},
};
void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }
class OrderlyEnd : public ViewerTest, public ::testing::WithParamInterface<Row> {};
TEST_P(OrderlyEnd, Holds) {
    const Row& row = GetParam();
    scratch.writeData("posFile.pos", shell_data::kPlacementFacingTheLevel);
    if (row.damage) row.damage(scratch.root() / "data");
    writeScript("100 capture frame.ppm\n200 close\n");
    start({row.environment});
    // A start that fails ends the run with status 1.
    const ViewerRun run = finish({}, row.expected.view == View::NotShown ? 1 : 0);
    EXPECT_NE(std::string::npos, run.stderrText.find(row.expected.stderrText)) << run.stderrText;
    EXPECT_EQ(row.expected.view == View::NotShown,
              run.stderrText.find("ended without showing its window") != std::string::npos)
        << run.stderrText;
    const std::vector<std::string>& log = row.expected.log;
    ExpectLog(run.log, log);
    for (const std::string& line : kMilestones)
        EXPECT_EQ(std::find(log.begin(), log.end(), line) != log.end(),
                  run.log.find(line) != std::string::npos)
            << line << run.log;
    const Frame frame("frame.ppm");
    ASSERT_EQ(row.expected.view != View::NotShown, frame.loaded());
    if (frame.loaded()) {
        EXPECT_EQ(kClear, frame.at(0, 0));  // the frame was cleared and drawn
        EXPECT_EQ(row.expected.view == View::Clear,
                  frame.at(frame.width / 2, frame.height / 2) == kClear);
    }
}
INSTANTIATE_TEST_SUITE_P(Table, OrderlyEnd, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return info.param.name; });
void ExpectPlacement(const std::string& saved, const std::vector<float>& expected,
                     float tolerance = 2e-3f) {
    EXPECT_THAT(Numbers(saved), ::testing::Pointwise(::testing::FloatNear(tolerance), expected))
        << saved;
}
// The pure-red text pixels in columns [left, right) of the frame: their count and bounds.
struct RedText {
    int count = 0, left = 1 << 20, right = -1, top = 1 << 20, bottom = -1;
};
RedText Red(const Frame& frame, double left = 0, double right = 1) {
    RedText red;
    for (int y = 0; y < frame.height; ++y)
        for (int x = int(left * frame.width); x < int(right * frame.width); ++x) {
            const uint32_t p = frame.at(x, y);
            if ((p >> 16) > 120 && ((p >> 8) & 0xFF) < 60 && (p & 0xFF) < 60)
                red = {red.count + 1, std::min(red.left, x), std::max(red.right, x),
                       std::min(red.top, y), std::max(red.bottom, y)};
        }
    return red;
}
// Overlays toggled with ` and Caps Lock, then a flight (moves and turns apart) saved
// with F5 at A, B, C (E still held) and D; flying on, F9 and F5 save D again.
const char kUserScript[] =
    "100 capture both.ppm\n300 key GRAVE down\n310 key GRAVE up\n600 capture fps.ppm\n"
    "900 key CAPITAL down\n910 key CAPITAL up\n1200 capture none.ppm\n1500 key GRAVE down\n"
    "1510 key GRAVE up\n1800 capture console.ppm\n"
    "2000 key E down\n2250 key E up\n2400 key F5 down\n2410 key F5 up\n"
    "2500 key LEFT down\n3800 key LEFT up\n3900 button 1 down\n4000 button 1 up\n"
    "4100 key F5 down\n4110 key F5 up\n4200 mouse 1000 0\n4300 key A down\n4400 key A up\n"
    "4500 key E down\n4800 key F5 down\n4810 key F5 up\n5100 key E up\n"
    "5200 mouse 1234 -321\n5210 key E down\n5333 key E up\n5400 key F5 down\n5410 key F5 up\n"
    "5500 key E down\n5600 key E up\n5610 mouse 500 500\n5700 key F9 down\n5710 key F9 up\n"
    "5800 key F5 down\n5810 key F5 up\n5900 key ESCAPE down\n5910 key ESCAPE up\n";
TEST_F(ViewerTest, UserRunLogsStartUpFliesSavesRestoresTogglesOverlaysAndQuitsWithEscape) {
    scratch.writeData("default.cfg", ConfigText().set("window scaling", "0.75").text());
    writeScript(kUserScript);
    start();
    std::vector<std::string> saves;  // each new text of the position file
    ViewerRun run = finish([&] {
        const std::string text = scratch.read("data/posFile.pos");
        if (Numbers(text).size() == 6 && (saves.empty() || saves.back() != text))
            saves.push_back(text);
        return false;
    });
    ExpectLog(run.log, {kBanner, kConfigLoaded, kInitD3D, kFontLoaded, kWorldLoaded, kStarted,
                        "Releasing main texture\n", "~~~flush font~~~\n",
                        "~~~start cleaning up after world~~~\n", "Releasing D3Ddevice\n", kNoDevice,
                        kInputGone + kClosing});
    // The back buffer keeps the configured size whatever the window scaling;
    // the console's lines start at the left edge.
    Frame both("both.ppm"), fps("fps.ppm"), none("none.ppm"), console("console.ppm");
    ASSERT_TRUE(both.loaded() && fps.loaded() && none.loaded() && console.loaded());
    EXPECT_EQ(std::pair(800, 600), std::pair(both.width, both.height));
    EXPECT_GT(Red(both, 0, 0.1).count, 0);
    // At size 0.2 the 600 rows show 2 · 160.2 · tan(pi/8) = 132.7 units (4.52 pixels a unit)
    // around (89.0, 66.8). The lines' ink centres on 0.8 + 0.9 · 176.5 - 0.2 = 159.4 units, x =
    // 400 + 70.4 · 4.52 = 718; the instant line hangs from 0.8 + 0.05 · 131.9 = 7.4 units, row
    // 300 + 59.4 · 4.52 = 568.4, the average line from 0.8 units into the bottom row.
    const RedText rates = Red(fps);
    EXPECT_NEAR(rates.left + rates.right + 1, 2 * 718, 3);
    EXPECT_EQ(std::pair(rates.top, rates.bottom), std::pair(569, 599));
    EXPECT_EQ(0, Red(none).count);
    EXPECT_EQ(kClear, none.at(400, 300));
    EXPECT_GT(Red(console, 0, 0.1).count, 0);
    EXPECT_LT(Red(console).count, Red(both).count);
    // E flies 1 unit per ms, Left turns pi in 1300 ms, the right button lifts, the
    // mouse turns pi per 1000 counts, A lowers.
    const float pi = 3.14159265f, yaw = 1234 * pi / 1000, pitch = 321 * pi / 1000;
    ASSERT_GE(saves.size(), 4u);
    ExpectPlacement(saves[0], {0, 0, 250, 0, 0, 0}, 1e-3f);
    ExpectPlacement(saves[1], {0, 100, 250, 0, -pi, 0});  // frame by frame in floats
    // Saved while E is held: part of the way is flown, frame by frame.
    const float held = Numbers(saves[2]).at(2);
    EXPECT_GT(held, 250);
    EXPECT_LE(held, 560);
    ExpectPlacement(saves[2], {0, 0, held, 0, 0, 0});
    const float r = 123 * std::cos(pitch);
    const std::vector<float> d{
        r * std::sin(yaw), 123 * std::sin(pitch), 850 + r * std::cos(yaw), pitch, yaw, 0};
    ExpectPlacement(saves[3], d);
    ExpectPlacement(scratch.read("data/posFile.pos"), d);  // F9 brought D back
}
// A flight recorded while a script flies it plays back to the same place, and
// ends with its summary line in the log and on stdout.
TEST_F(ViewerTest, RecordedFlightPlaysBackToTheSamePlaceAndIsSummedUp) {
    writeScript(
        "100 key E down\n350 key E up\n400 mouse 500 0\n450 key F5 down\n"
        "460 key F5 up\n600 close\n");
    start({"TUNDRA_RECORD=flight.txt"});
    finish();
    fs::remove(scratch.root() / "data/posFile.pos");  // the playback starts where this one did
    writeScript(scratch.read("flight.txt"));
    start();
    const ViewerRun run = finish();
    // E flies 1 unit per ms, the mouse turns pi per 1000 counts.
    ExpectPlacement(scratch.read("data/posFile.pos"), {0, 0, 250, 0, 3.14159265f / 2, 0});
    std::smatch summary;
    const std::regex line(
        "flight: (\\d+) frames in (\\d+\\.\\d\\d) seconds, (\\d+\\.\\d) frames "
        "per second\n");
    ASSERT_TRUE(std::regex_search(run.log, summary, line)) << run.log;
    EXPECT_NE(std::string::npos, run.stderrText.find(summary[0])) << run.stderrText;
    const double frames = std::stod(summary[1]), seconds = std::stod(summary[2]);
    EXPECT_GE(seconds, 0.6);  // the recorded close comes after the script's
    EXPECT_TRUE(frames >= 1 && frames < seconds * 10000) << frames;  // counted, never backwards
    EXPECT_NEAR(frames / seconds, std::stod(summary[3]), 0.05 + frames / seconds * 0.01);
}
}  // namespace
