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
// `text` at the end, then `hole` bytes more that take no disk space.
Damage Append(const char* name, const std::string& text, uintmax_t hole = 0) {
    return [=](const fs::path& data) {
        std::ofstream(data / name, std::ios::binary | std::ios::app) << text;
        fs::resize_file(data / name, fs::file_size(data / name) + hole);
    };
}
// Counts that match the file's size, made that large with a hole (no disk space).
Damage SparseLevel(int32_t vertices, int32_t lightmaps) {
    return [vertices, lightmaps](const fs::path& data) {
        const int32_t header[4] = {vertices, 0, 0, lightmaps};
        std::ofstream(data / "world.geom", std::ios::binary).write((const char*)header, 16);
        fs::resize_file(data / "world.geom",
                        16 + 28 * uintmax_t(vertices) + 49156 * uintmax_t(lightmaps));
    };
}
const std::string kConfigLoaded = "Loaded configuration file: data\\default.cfg\n";
const std::string kInitD3D = "InitD3D went ok\n";
const std::string kFontLoaded = "loading up font 'data\\font.f'\n";
const std::string kWorldLoaded = "LOADED: data\\world.geom\n";
const std::string kWorldBeyondMemory = "a level may take; loading an empty level\n";
const std::string kOneFace = "number of polygons in map: 1\n";
const std::string kNoFaces = "number of polygons in map: 0\n";
const std::string kStarted = "InitGeometry went ok\n";
const std::string kNoDevice = "D3D object is history!\n";
const std::vector<std::string> kShutdown = {
    kStarted, "Releasing main texture\n", "Releasing D3Ddevice\n", kNoDevice, kInputGone, kClosing};
// Lines in the log exactly when a row expects them.
const std::string kMilestones[] = {kInitD3D, kStarted, kNoDevice, kInputGone};
// No device can be made: the run ends right after the Direct3D object, the
// configuration's line last in the log on disk.
Expected NoDevice(const std::string& line) {
    return {View::NotShown,
            {kBanner, line + "\n", kNoDevice, kClosing},
            "the last line of logging.txt: \"" + line + "\"\n"};
}
// The main texture cannot be loaded: the font is made and flushed, no window.
Expected NoMainTexture(const std::string& reason = "") {
    return {View::NotShown,
            {kBanner, kConfigLoaded, kInitD3D, kFontLoaded,
             "ERROR: couldn't load the main texture data\\marble.bmp: " + reason,
             "~~~flush font~~~\n", "Releasing D3Ddevice\n", kNoDevice, kClosing}};
}
Expected Runs(View view, std::vector<std::string> middle) {
    middle.insert(middle.begin(), {kBanner, kConfigLoaded, kInitD3D});
    middle.insert(middle.end(), kShutdown.begin(), kShutdown.end());
    return {view, middle};
}
Expected RunsNormally() { return Runs(View::Level, {kFontLoaded, kWorldLoaded, kOneFace}); }
Expected EmptyLevel(const std::string& why) {
    return Runs(View::Clear, {kWorldLoaded, why, kNoFaces});
}
Expected NoFont() { return Runs(View::Level, {"couldn't read: data\\font.f", kWorldLoaded}); }
std::vector<Row> Rows() {
    std::vector<Row> rows = {
        // A GL older than the device needs: the log says which it found.
        {"OpenGlBelow33",
         {},
         {View::NotShown,
          {kBanner, kConfigLoaded, "needs OpenGL 3.3 or newer, and found OpenGL 3.0 ", kClosing},
          "You need DirectX 8.0 or above to run Tundra!"},
         "MESA_GL_VERSION_OVERRIDE=3.0"},
        // Bytes after the level that start no visibility section are left alone.
        {"WorldOversized", Append("world.geom", std::string(16 << 20, '\x7f')), RunsNormally()},
        // Counts that match a 60 GB and a 29.5 GB file.
        {"WorldVerticesBeyondMemory", SparseLevel(0x7fffffff, 0), EmptyLevel(kWorldBeyondMemory)},
        {"WorldLightmapsBeyondMemory", SparseLevel(0, 600000), EmptyLevel(kWorldBeyondMemory)},
        // A visibility section's tag and a 60 GB hole after the sound level.
        {"WorldVisibilityBeyondMemory", Append("world.geom", "TVIS", uintmax_t(60) << 30),
         Runs(View::Level, {kWorldLoaded, "visibility section (it is larger than", kOneFace})},
        // 256 glyphs of 4096 x 4096 (the most one may have): holes in a 4 GB file.
        {"FontBeyondMemory",
         [](const fs::path& data) {
             std::ofstream file(data / "font.f", std::ios::binary | std::ios::trunc);
             const uint32_t record[6] = {4096, 4096, 0, 0, 8, 16};
             for (int code = 0; code < 256; ++code) {
                 file.seekp(std::streamoff(code * (24 + (uintmax_t(1) << 24))));
                 file.write(reinterpret_cast<const char*>(record), sizeof record);
             }
             file.close();
             fs::resize_file(data / "font.f", 256 * (24 + (uintmax_t(1) << 24)));
         },
         NoFont()},
        // Only the first six numbers of a placement count.
        {"PositionOversized", Append("posFile.pos", std::string(8 << 20, '7')), RunsNormally()},
        // No log at all; the program starts and runs as usual.
        {"LogNotCreatable",
         [](const fs::path& data) { fs::create_directory(data / ".." / "logging.txt"); },
         {View::Level, {}}},
    };
    // A directory (it opens, reads no bytes) reads as empty. An unreadable file fails the same
    // open as a missing one, so it has no row of its own.
    const struct {
        const char *name, *file;
        Expected missing, empty;
    } files[] = {
        {"Config", "default.cfg",
         NoDevice("Couldn't open the configuration file: data\\default.cfg"),
         NoDevice("Something failed while loading the configuration file: data\\default.cfg")},
        {"World", "world.geom",
         Runs(View::Clear, {"ERROR: Can't open world file: world.geom\n", kNoFaces}),
         EmptyLevel("ERROR: World file data\\world.geom is shorter than its 16-byte header")},
        {"Font", "font.f", NoFont(), NoFont()},
        {"Texture", "marble.bmp", NoMainTexture("the file cannot be opened\n"), NoMainTexture()},
    };
    for (const auto& f : files) {
        const fs::path name = f.file;
        rows.push_back({f.name + std::string("Missing"),
                        [name](const fs::path& data) { fs::remove(data / name); }, f.missing});
        rows.push_back({f.name + std::string("Empty"),
                        [name](const fs::path& data) { fs::resize_file(data / name, 0); },
                        f.empty});
        rows.push_back({f.name + std::string("Directory"),
                        [name](const fs::path& data) {
                            fs::remove(data / name);
                            fs::create_directories(data / name / "inside");
                        },
                        f.empty});
    }
    return rows;
}
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
INSTANTIATE_TEST_SUITE_P(Table, OrderlyEnd, ::testing::ValuesIn(Rows()),
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
