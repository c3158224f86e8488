// The packaged Windows build (tundra.exe against the real Direct3D 8 and
// DirectInput 8) run end to end under Wine in a virtual display, driven with
// xdotool and checked through its window, log, position file and the screen.
// Frames are compared with the native build's frame of the same placement
// and settings: both implement the same Direct3D 8 calls.
#include "support/config_text.h"
#include "support/run_checks.h"
#include "support/scratch_dir.h"
#include "support/tool_runner.h"
#include "wine/wine_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using tundra_test::ExpectInOrder;
using tundra_test::Frame;
using wine_test::kScreenHeight;
using wine_test::kScreenWidth;

const char* const kZip = TUNDRA_WINDOWS_ZIP;
const char* const kNativeViewer = TUNDRA_BINARY_DIR "/tundra";

// Above and behind the sample level's start point, looking down the nave.
const char* const kOverview = "0 150 -340 -0.25 0 0 ";

// Rasterisers may settle pixels on shared triangle edges differently; the
// rest of the frame must agree to within a small rounding difference.
constexpr int kChannelTolerance = 4;
constexpr size_t kMaxPixelsOff = kScreenWidth * kScreenHeight / 5000;

void Pause(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

class WineEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        std::string error;
        if (!wine_test::StartSession(error)) FAIL() << error;
    }
    void TearDown() override { wine_test::EndSession(); }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new WineEnvironment);

std::string WithoutCarriageReturns(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    ASSERT_TRUE(file.good()) << path;
}

// Each test unpacks the zip into its own scratch folder and runs tundra.exe
// from the Tundra folder inside.
class WineViewer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(std::filesystem::exists(kZip))
            << kZip
            << " is missing: build the Windows preset first (cmake --build --preset windows)";
        std::string output;
        ASSERT_EQ(0, wine_test::Run(std::string(CMAKE_COMMAND) + " -E tar xf " + kZip, output))
            << output;
        ASSERT_TRUE(std::filesystem::exists(runDir() / "tundra.exe"));
        ASSERT_TRUE(wine_test::CapsLockOff());
    }

    // A failed test leaves its frames, logs and Wine's output in
    // tests/wine-artifacts/<test> of the build for a look afterwards.
    void TearDown() override {
        if (!HasFailure()) return;
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::filesystem::path keep = std::filesystem::path(TUNDRA_BINARY_DIR) / "tests" /
                                     "wine-artifacts" / test->name();
        std::filesystem::remove_all(keep);
        std::filesystem::create_directories(keep);
        for (const auto& entry : std::filesystem::recursive_directory_iterator(scratch.root())) {
            const std::string name = entry.path().filename().string();
            const std::string extension = entry.path().extension().string();
            if (extension != ".ppm" && extension != ".txt" && extension != ".out" &&
                extension != ".pos")
                continue;
            std::string flat = std::filesystem::relative(entry.path(), scratch.root()).string();
            std::replace(flat.begin(), flat.end(), '/', '_');
            std::error_code ignored;
            std::filesystem::copy_file(entry.path(), keep / flat, ignored);
        }
    }

    std::filesystem::path runDir() const { return scratch.root() / "Tundra"; }
    std::filesystem::path dataFile(const std::string& name) const {
        return runDir() / "data" / name;
    }
    std::string log() const { return WithoutCarriageReturns(ReadFile(runDir() / "logging.txt")); }

    void configure(const ConfigText& config) { WriteFile(dataFile("default.cfg"), config.text()); }
    void configureFullScreen() {
        configure(ConfigText()
                      .set("screen width", std::to_string(kScreenWidth))
                      .set("screen height", std::to_string(kScreenHeight))
                      .set("full screen", "1"));
    }

    std::unique_ptr<wine_test::Process> start(const std::vector<std::string>& environment = {}) {
        return std::make_unique<wine_test::Process>(runDir().string(),
                                                    std::vector<std::string>{"wine", "tundra.exe"},
                                                    (runDir() / "wine.out").string(), environment);
    }

    // The viewer's window once it shows, focused; "" when it never shows.
    // The first frames compile Wine's shaders; input and captures wait for
    // them.
    std::string waitUntilRunning() {
        std::string window = wine_test::FindWindow("Tundra", 60);
        if (window.empty() || !wine_test::Activate(window)) return "";
        Pause(1500);
        return window;
    }

    // The whole screen, or only the given window.
    Frame capture(const std::string& name, const std::string& window = "root") {
        const std::string path = (scratch.root() / name).string();
        EXPECT_TRUE(wine_test::CaptureWindow(window, path)) << name;
        return tundra_test::ReadPpm(path);
    }

    void quitWithEscape(wine_test::Process& viewer) {
        EXPECT_TRUE(wine_test::Keys("Escape"));
        EXPECT_EQ(0, viewer.wait(60)) << ReadFile(runDir() / "wine.out");
    }

    // Waits until the position file's text is no longer `before`.
    std::string waitForSavedPosition(const std::string& before) {
        for (int tries = 0; tries < 100; ++tries) {
            std::string text = ReadFile(dataFile("posFile.pos"));
            if (text != before) return text;
            Pause(100);
        }
        return before;
    }

    // A folder for the native viewer with a copy of this run's data and the
    // given placement ("": none).
    std::filesystem::path prepareNative(const std::string& position) {
        std::filesystem::path dir = scratch.root() / "native";
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        std::filesystem::copy(runDir() / "data", dir / "data",
                              std::filesystem::copy_options::recursive);
        std::filesystem::remove(dir / "data" / "posFile.pos");
        if (!position.empty()) WriteFile(dir / "data" / "posFile.pos", position);
        return dir;
    }

    // The native viewer on a copy of this run's data, with the given
    // placement, playing `keys` (script lines) and ending after `endMs`.
    // Returns the native log; the frame at `captureMs` goes to `frame`.
    std::string runNative(const std::string& position, const std::string& keys, int captureMs,
                          int endMs, Frame* frame) {
        const std::filesystem::path dir = prepareNative(position);
        std::string script = keys;
        if (frame)
            script += std::to_string(captureMs) + " capture " + (dir / "frame.ppm").string() + "\n";
        script += std::to_string(endMs) + " close\n";
        WriteFile(dir / "script.txt", script);
        std::string output;
        EXPECT_EQ(0, tundra_test::RunTool("cd " + dir.string() +
                                              " && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy "
                                              "TUNDRA_SCRIPT=script.txt timeout 60 " +
                                              kNativeViewer,
                                          output))
            << output;
        if (frame) *frame = tundra_test::ReadPpm((dir / "frame.ppm").string());
        return ReadFile(dir / "logging.txt");
    }

    Frame nativeFrame(const std::string& position, bool showConsole) {
        // The frame-rate figures differ by nature; the console may show.
        std::string keys = "300 key CAPITAL down\n320 key CAPITAL up\n";
        if (!showConsole) keys += "340 key GRAVE down\n360 key GRAVE up\n";
        Frame frame;
        runNative(position, keys, 1200, 1300, &frame);
        return frame;
    }

    ScratchDir scratch;
};

void ExpectSameFrame(const Frame& native, const Frame& wine, const std::string& what) {
    ASSERT_TRUE(native.loaded()) << what;
    ASSERT_TRUE(wine.loaded()) << what;
    ASSERT_EQ(native.width, wine.width) << what;
    ASSERT_EQ(native.height, wine.height) << what;
    EXPECT_LE(native.pixelsOff(wine, kChannelTolerance), kMaxPixelsOff)
        << what << ": more than " << kMaxPixelsOff << " pixels differ by more than "
        << kChannelTolerance << " in a channel from the native frame";
}

// A 5-bit channel rounds to steps of about 8: a value on a step's edge in
// one build may land a step away in the other, but only there. A conversion
// that differs moves a large share of the pixels.
void ExpectSameSixteenBitFrame(const Frame& native, const Frame& wine, const std::string& what) {
    ASSERT_TRUE(native.loaded() && wine.loaded()) << what;
    ASSERT_EQ(native.width, wine.width) << what;
    ASSERT_EQ(native.height, wine.height) << what;
    const int kStep = 8;
    EXPECT_LE(native.pixelsOff(wine, kStep), kMaxPixelsOff) << what << ": more than a step apart";
    EXPECT_LE(native.pixelsOff(wine, kChannelTolerance), native.pixels() / 100)
        << what << ": more than 1 % of the pixels a step apart";
}

const char* const kBanner = "begin logging--------------------\n\n";
const char* const kClosing = "\n---------------------end logging";

TEST_F(WineViewer, WindowedRunShowsTheTitledWindowAndLogsLikeTheNativeBuild) {
    auto viewer = start();
    std::string window = waitUntilRunning();
    ASSERT_FALSE(window.empty()) << ReadFile(runDir() / "wine.out") << log();
    std::string name;
    wine_test::Run("xdotool getwindowname " + window, name);
    EXPECT_EQ("Tundra\n", name);
    quitWithEscape(*viewer);

    const std::string wineLog = log();
    EXPECT_EQ(0u, wineLog.rfind(kBanner, 0)) << wineLog;
    ExpectInOrder(
        wineLog,
        {kBanner, "Loaded configuration file: data\\default.cfg\n", "InitD3D went ok\n",
         "loading up font 'data\\font.f'\n", "LOADED: data\\world.geom\n", "InitGeometry went ok\n",
         "Releasing main texture\n", "~~~flush font~~~\n", "~~~start cleaning up after world~~~\n",
         "Releasing D3Ddevice\n", "D3D object is history!\n", "crushing input.\n", kClosing});
    EXPECT_TRUE(tundra_test::EndsWith(wineLog, std::string("crushing input.\n") + kClosing))
        << wineLog;
    // Line for line what the native build writes for the same data and keys.
    EXPECT_EQ(runNative("", "500 key ESCAPE down\n520 key ESCAPE up\n", 0, 5000, nullptr), wineLog);
}

TEST_F(WineViewer, F5WritesThePlacementWithSixSignificantDigits) {
    WriteFile(dataFile("posFile.pos"), "1234.5678 -0.000012345 10 0.1 2 -3 ");
    auto viewer = start();
    ASSERT_FALSE(waitUntilRunning().empty()) << log();
    const std::string before = ReadFile(dataFile("posFile.pos"));
    ASSERT_TRUE(wine_test::Keys("F5"));
    const std::string saved = waitForSavedPosition(before);
    // Every frame takes the position back through the inverse of the view,
    // which rounds it in the last float digits; the native build does the
    // same arithmetic and writes the same text.
    EXPECT_EQ("1234.57 -1.58688e-05 9.99999 0.1 2 -3 ", saved);
    runNative(before, "500 key F5 down\n520 key F5 up\n", 0, 1000, nullptr);
    EXPECT_EQ(ReadFile(scratch.root() / "native" / "data" / "posFile.pos"), saved) << "native";
    quitWithEscape(*viewer);
    EXPECT_TRUE(tundra_test::EndsWith(log(), std::string("crushing input.\n") + kClosing)) << log();
}

TEST_F(WineViewer, MissingMarbleTextureNeverShowsTheWindow) {
    std::filesystem::remove(dataFile("marble.bmp"));
    auto viewer = start();
    bool shown = false;
    while (viewer->running()) {
        shown = shown || wine_test::WindowVisible("Tundra");
        Pause(50);
    }
    EXPECT_EQ(0, viewer->wait(60));
    EXPECT_FALSE(shown);
    const std::string wineLog = log();
    EXPECT_EQ(std::string::npos, wineLog.find("InitGeometry went ok")) << wineLog;
    EXPECT_EQ(std::string::npos, wineLog.find("Releasing main texture")) << wineLog;
    ExpectInOrder(wineLog, {kBanner, "InitD3D went ok\n", "~~~flush font~~~\n",
                            "Releasing D3Ddevice\n", "D3D object is history!\n", kClosing});
    EXPECT_TRUE(tundra_test::EndsWith(wineLog, kClosing));
}

TEST_F(WineViewer, FullScreenFrameMatchesTheNativeFrameOfTheSamePlacement) {
    configureFullScreen();
    WriteFile(dataFile("posFile.pos"), kOverview);
    auto viewer = start();
    ASSERT_FALSE(waitUntilRunning().empty()) << log();
    ASSERT_TRUE(wine_test::Keys("Caps_Lock"));  // hide the frame rates
    Pause(1000);
    Frame wine = capture("wine.ppm");
    quitWithEscape(*viewer);
    // The level, the console's text and its log copy, pixel for pixel.
    ExpectSameFrame(nativeFrame(kOverview, true), wine, "overview with console");
}

// One configuration, windowed, run on both builds from the same placement in
// the same display under the same window manager: the logs agree line for
// line and, when the window shows, so do the client areas' pictures (Present
// scales the back buffer into them).
struct ConfigurationRow {
    const char* name;
    ConfigText config;
    bool shown;               // start-up completes and the window shows
    bool sixteenBit = false;  // 5-bit colour channels
};

std::ostream& operator<<(std::ostream& out, const ConfigurationRow& row) { return out << row.name; }

std::vector<ConfigurationRow> ConfigurationRows() {
    std::vector<ConfigurationRow> rows = {
        // The shipped configuration: an 800 x 600 outer window, a smaller client area.
        {"Shipped", ConfigText(), true},
        // No client rows: the back buffer takes its height from the window.
        {"ZeroHeight", ConfigText().set("screen height", "0"), true},
        // The session's GL (llvmpipe) has 4 samples only: both refuse 2.
        {"Multisamples2", ConfigText().set("antialiasing multisamples", "2"), false},
        {"Multisamples4", ConfigText().set("antialiasing multisamples", "4"), true},
        {"NoBackFaceCulling", ConfigText().set("back face culling", "0"), true},
        {"SoftwareVertexProcessing", ConfigText().set("hardware T&L", "0"), true},
        {"FullScreen",
         ConfigText()
             .set("screen width", std::to_string(kScreenWidth))
             .set("screen height", std::to_string(kScreenHeight))
             .set("full screen", "1"),
         true},
        {"MissingAdapter", ConfigText().set("video card", "7"), false},
        // A name the configuration takes, a format no back buffer has.
        {"DepthFormatAsBackBuffer", ConfigText().set("backbuffer format", "D16"), false},
        // The back-buffer and depth formats both builds take on this display.
        {"A8R8G8B8", ConfigText().set("backbuffer format", "A8R8G8B8"), true},
        {"R5G6B5", ConfigText().set("backbuffer format", "R5G6B5"), true, true},
        {"X1R5G5B5", ConfigText().set("backbuffer format", "X1R5G5B5"), true, true},
        {"R8G8B8", ConfigText().set("backbuffer format", "R8G8B8"), true},
        // An alpha channel no window shows: both refuse it windowed.
        {"A1R5G5B5", ConfigText().set("backbuffer format", "A1R5G5B5"), false},
    };
    for (const char* format : {"D16", "D16_LOCKABLE", "D24X8"})
        rows.push_back({format, ConfigText().set("depth-stencil buffer format", format), true});
    // Depth formats the configuration names and neither build's adapter has.
    for (const char* format : {"D15S1", "D24X4S4", "D32"})
        rows.push_back({format, ConfigText().set("depth-stencil buffer format", format), false});
    return rows;
}

class WineConfiguration : public WineViewer,
                          public ::testing::WithParamInterface<ConfigurationRow> {
protected:
    // A full-screen frame is the whole screen.
    std::string screenOrWindow(const std::string& window) const {
        return GetParam().config.text().find("full screen=1") != std::string::npos ? "root"
                                                                                   : window;
    }

    // The native viewer in this display on a copy of the data; its window's
    // picture goes to `frame` when it shows. Returns its log.
    std::string runNativeWindow(Frame& frame) {
        const std::filesystem::path dir = prepareNative(kOverview);
        WriteFile(dir / "script.txt", "300 key CAPITAL down\n320 key CAPITAL up\n");
        wine_test::Process viewer(
            dir.string(), {kNativeViewer}, (dir / "native.out").string(),
            {"SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy", "TUNDRA_SCRIPT=script.txt"});
        if (GetParam().shown) {
            std::string window = wine_test::FindWindow("Tundra", 30);
            EXPECT_FALSE(window.empty()) << ReadFile(dir / "native.out");
            if (!window.empty() && wine_test::Activate(window)) {
                Pause(1500);
                frame = capture("native.ppm", screenOrWindow(window));
                EXPECT_TRUE(wine_test::Keys("Escape"));
            }
        }
        EXPECT_EQ(0, viewer.wait(30)) << ReadFile(dir / "native.out");
        return ReadFile(dir / "logging.txt");
    }
};

TEST_P(WineConfiguration, LogAndPictureMatchTheNativeBuild) {
    const ConfigurationRow& row = GetParam();
    configure(row.config);
    WriteFile(dataFile("posFile.pos"), kOverview);
    auto viewer = start();
    Frame wine;
    if (row.shown) {
        std::string window = waitUntilRunning();
        ASSERT_FALSE(window.empty()) << log();
        ASSERT_TRUE(wine_test::Keys("Caps_Lock"));
        Pause(1000);
        wine = capture("wine.ppm", screenOrWindow(window));
        quitWithEscape(*viewer);
    } else {
        EXPECT_EQ(0, viewer->wait(60)) << ReadFile(runDir() / "wine.out");
    }
    const std::string wineLog = log();

    ASSERT_TRUE(wine_test::CapsLockOff());
    Frame native;
    EXPECT_EQ(runNativeWindow(native), wineLog);
    if (row.shown && row.sixteenBit) ExpectSameSixteenBitFrame(native, wine, row.name);
    if (row.shown && !row.sixteenBit) ExpectSameFrame(native, wine, row.name);
}

INSTANTIATE_TEST_SUITE_P(Table, WineConfiguration, ::testing::ValuesIn(ConfigurationRows()),
                         [](const ::testing::TestParamInfo<ConfigurationRow>& info) {
                             return std::string(info.param.name);
                         });

std::vector<float> Numbers(const std::string& text) {
    std::istringstream in(text);
    std::vector<float> numbers;
    float number = 0;
    while (in >> number) numbers.push_back(number);
    return numbers;
}

TEST_F(WineViewer, FlyingWithEAndTheMouseMovesAlongTheViewAndTurns) {
    configureFullScreen();
    WriteFile(dataFile("posFile.pos"), kOverview);
    auto viewer = start();
    ASSERT_FALSE(waitUntilRunning().empty()) << log();
    ASSERT_TRUE(wine_test::Keys("grave Caps_Lock"));  // the level alone
    Pause(1000);
    Frame before = capture("before.ppm");

    ASSERT_TRUE(wine_test::HoldKey("e", 200));
    Pause(300);
    ASSERT_TRUE(wine_test::MoveMouseBy(40, 20));  // right turns, towards you looks down
    Pause(500);
    ASSERT_TRUE(wine_test::Keys("F5"));
    const std::string saved = waitForSavedPosition(kOverview);
    ASSERT_TRUE(wine_test::Keys("F9"));  // the saved, rounded placement
    Pause(1000);
    Frame after = capture("after.ppm");
    quitWithEscape(*viewer);

    std::vector<float> placement = Numbers(saved);
    ASSERT_EQ(6u, placement.size()) << saved;
    const float forward = placement[2] - (-340.0f);
    // E flies along the view (yaw 0, pitch -0.25) at 1 unit per millisecond.
    EXPECT_GT(forward, 150.0f) << saved;
    EXPECT_LT(forward, 1000.0f) << saved;
    EXPECT_NEAR(0.0f, placement[0], 0.5f) << saved;
    EXPECT_NEAR(std::tan(-0.25f), (placement[1] - 150.0f) / forward, 0.01f) << saved;
    // The mouse turned right and tilted the view down, pi/1000 per count.
    EXPECT_NEAR(40 * 0.0031415927f, placement[4], 0.02f) << saved;
    EXPECT_NEAR(-0.25f - 20 * 0.0031415927f, placement[3], 0.02f) << saved;
    EXPECT_FLOAT_EQ(0.0f, placement[5]) << saved;

    ASSERT_TRUE(before.loaded() && after.loaded());
    EXPECT_GT(before.pixelsOff(after, kChannelTolerance), before.pixels() / 2)
        << "the view did not change";
    ExpectSameFrame(nativeFrame(saved, false), after, "after flying");
}

// The full screen before, while and after another window has the focus.
struct FocusRound {
    Frame before, lost, back;
};

// With `window` full screen and focused: captures it, gives the focus to
// another window, captures, gives it back and captures again.
FocusRound LoseFocusAndReturn(const std::string& window, const std::filesystem::path& dir,
                              const std::string& name) {
    FocusRound round;
    const std::string prefix = (dir / name).string();
    auto grab = [&prefix](const std::string& part) {
        EXPECT_TRUE(wine_test::CaptureScreen(prefix + "_" + part + ".ppm")) << part;
        return tundra_test::ReadPpm(prefix + "_" + part + ".ppm");
    };
    round.before = grab("before");
    wine_test::Process other(dir.string(),
                             {"xmessage", "-geometry", "300x100+50+50", "another window"},
                             prefix + "_xmessage.out");
    const std::string otherWindow = wine_test::FindWindow("xmessage", 30);
    EXPECT_FALSE(otherWindow.empty());
    EXPECT_TRUE(wine_test::Activate(otherWindow));
    Pause(1500);
    round.lost = grab("lost");
    EXPECT_TRUE(wine_test::Activate(window));
    Pause(2500);
    round.back = grab("back");
    return round;
}

void ExpectLostAndRedrawn(const Frame& native, const FocusRound& round) {
    ExpectSameFrame(native, round.before, "before the focus left");
    ASSERT_TRUE(round.lost.loaded());
    EXPECT_GT(native.pixelsOff(round.lost, kChannelTolerance), round.lost.pixels() * 9 / 10)
        << "the full-screen frame stayed on screen while another window had the focus";
    ExpectSameFrame(native, round.back, "after the focus came back");
}

TEST_F(WineViewer, FullScreenDeviceLostToAnotherWindowIsResetAndDrawsAgain) {
    configureFullScreen();
    WriteFile(dataFile("posFile.pos"), kOverview);
    // Wine's Direct3D 8 trace shows the device's Reset calls.
    auto viewer = start({"WINEDEBUG=-all,trace+d3d8"});
    std::string window = waitUntilRunning();
    ASSERT_FALSE(window.empty()) << log();
    ASSERT_TRUE(wine_test::Keys("grave Caps_Lock"));
    Pause(1000);
    FocusRound round = LoseFocusAndReturn(window, scratch.root(), "wine");
    quitWithEscape(*viewer);

    ExpectLostAndRedrawn(nativeFrame(kOverview, false), round);
    const std::string trace = ReadFile(runDir() / "wine.out");
    size_t resets = 0;
    for (size_t at = trace.find("d3d8_device_Reset"); at != std::string::npos;
         at = trace.find("d3d8_device_Reset", at + 1))
        ++resets;
    EXPECT_EQ(1u, resets) << "the device should be reset once, after the focus came back";
    EXPECT_TRUE(tundra_test::EndsWith(log(), std::string("crushing input.\n") + kClosing)) << log();
}

// The native build on the same X display and window manager: its full-screen
// window (made framed, then resized by the device and the window manager)
// shows the whole frame, and its device is lost and reset the same way.
TEST_F(WineViewer, NativeFullScreenUnderTheWindowManagerBehavesTheSame) {
    configureFullScreen();
    const Frame native = nativeFrame(kOverview, false);  // drawn offscreen
    const std::filesystem::path dir = prepareNative(kOverview);
    WriteFile(dir / "script.txt",
              "300 key CAPITAL down\n320 key CAPITAL up\n"
              "340 key GRAVE down\n360 key GRAVE up\n");
    wine_test::Process viewer(
        dir.string(), {kNativeViewer}, (dir / "native.out").string(),
        {"SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy", "TUNDRA_SCRIPT=script.txt"});
    const std::string window = wine_test::FindWindow("Tundra", 30);
    ASSERT_FALSE(window.empty()) << ReadFile(dir / "native.out");
    ASSERT_TRUE(wine_test::Activate(window));
    Pause(1500);
    FocusRound round = LoseFocusAndReturn(window, scratch.root(), "native");
    EXPECT_TRUE(wine_test::Keys("Escape"));
    EXPECT_EQ(0, viewer.wait(30)) << ReadFile(dir / "native.out");
    ExpectLostAndRedrawn(native, round);
}

}  // namespace
