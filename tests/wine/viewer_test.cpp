// The Windows build under Wine against the native one in a private Xvfb with openbox
// (for focus changes and device losses): logs line for line, pictures within rounding.
#include "support/config_text.h"
#include "support/viewer_process.h"
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <random>
#include <iterator>

namespace {
using namespace viewer_process;
namespace fs = std::filesystem;
using namespace std::chrono_literals;
// A command line (at most `seconds`): whether it exits with 0; its output in `output`.
bool Shell(const std::string& line, std::string* output = nullptr, int seconds = 30) {
    Child shell(".", {"timeout", "-k", "5", std::to_string(seconds), "sh", "-c", line}, "sh.out");
    const bool ok = shell.waitFor({}, seconds + 10, {}, true) && shell.exitCode() == 0;
    std::ifstream file("sh.out");
    if (output) output->assign(std::istreambuf_iterator<char>(file), {});
    return ok;
}
// A program run under `timeout`, so that none outlives the session by long.
std::unique_ptr<Child> Launch(const fs::path& dir, std::vector<std::string> command, int seconds,
                              const std::string& output, const std::vector<std::string>& env = {}) {
    command.insert(command.begin(), {"timeout", "-k", "5", std::to_string(seconds)});
    return std::make_unique<Child>(dir.string(), command, output, env);
}
// The visible window named `title`, "" when none shows in time (the search is retried:
// it fails while the window manager reparents windows).
std::string FindWindow(const std::string& title, int seconds, Child& process) {
    const std::string search = "xdotool search --onlyvisible --name '^" + title + "$'";
    std::string found;
    process.waitFor(
        [&] { return Shell(search + " | head -n 1 | tr -d '\\n'", &found, 5) && !found.empty(); },
        seconds);
    return found;
}
bool Activate(const std::string& window, Child& process) {
    return process.waitFor([&] { return Shell("xdotool windowactivate --sync " + window); });
}
bool Keys(const std::string& names) { return Shell("xdotool key --delay 60 " + names); }
// Wine reports a Caps Lock on at focus as a press, which would toggle the frame rates.
bool CapsLockOff() {
    return Shell(
        "xset q | grep -q 'Caps Lock: *off' || "
        "{ xset q | grep -q 'Caps Lock: *on' && xdotool key Caps_Lock; }");
}
class WineSession : public ::testing::Environment {
public:
    void SetUp() override {
        dir_ = std::make_unique<ScratchDir>();
        std::mt19937 random(std::random_device{}());
        for (int attempt = 0; attempt < 10 && !display_; ++attempt) {
            const std::string n = std::to_string(300 + random() % 91);
            // Only a server that listens on the number writes it to fd 3; where another
            // server holds it, ours ends at once, and a client would have found the other one.
            display_ = Launch(
                dir_->root(),
                {"sh", "-c", "exec Xvfb :" + n + " -displayfd 3 -screen 0 800x600x24 3>display"},
                3600, "xvfb.out");
            if (!display_->waitFor([&] { return dir_->read("display") == n + "\n"; }))
                display_.reset();
            setenv("DISPLAY", (":" + n).c_str(), 1);
        }
        ASSERT_TRUE(display_) << "no private X display could be started (are Xvfb, openbox, "
                                 "xdotool, Wine installed? scripts/install-wine-deps.sh)";
        windowManager_ = Launch(dir_->root(), {"openbox"}, 3600, "openbox.out");
        ASSERT_TRUE(windowManager_->waitFor([] {
            return Shell("xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'");
        })) << "openbox did not take over the display";
        setenv("WINEPREFIX", (dir_->root() / "prefix").c_str(), 1);
        setenv("WINEDEBUG", "-all", 1);
        setenv("WINEDLLOVERRIDES", "mscoree,mshtml=;winemenubuilder.exe=d", 1);
        std::string output;
        ASSERT_TRUE(Shell("wineboot -i && wineserver -w", &output, 360)) << output;
    }
    void TearDown() override {
        Shell("wineserver -k; wineserver -w");
        windowManager_.reset();
        display_.reset();
        dir_.reset();
    }

private:
    std::unique_ptr<ScratchDir> dir_;
    std::unique_ptr<Child> display_, windowManager_;
};
const auto* const kSession = ::testing::AddGlobalTestEnvironment(new WineSession);
// Above and behind the sample level's start point, looking down the nave.
const char* const kOverview = "0 150 -340 -0.25 0 0 ";
const std::string kFullScreen = ConfigText().set("full screen", "1").text();  // the whole screen
// Rasterisers differ on shared edges; a 5-bit value on a step's edge may land a step away
// (8 or 9 in 8 bits: 255 / 31 rounded either way).
void ExpectSameFrame(const Frame& native, const Frame& wine, const std::string& what,
                     bool sixteenBit = false) {
    ASSERT_TRUE(native.loaded() && wine.loaded() && native.width == wine.width &&
                native.height == wine.height)
        << what;
    EXPECT_LE(native.pixelsOff(wine, sixteenBit ? 9 : 4), 96u) << what;  // 1 in 5000
    EXPECT_LE(sixteenBit ? native.pixelsOff(wine, 4) : 0, native.pixels() / 100) << what;
}
class WineViewer : public ::testing::Test {
protected:
    void SetUp() override {
        std::string output;
        ASSERT_TRUE(Shell(CMAKE_COMMAND " -E tar xf " TUNDRA_WINDOWS_ZIP, &output))
            << output << " (build the windows preset first)";
    }
    std::string file(bool windows, const std::string& name) const {
        std::string text = scratch.read((windows ? "Tundra/" : "native/") + name);
        text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
        // The native run's script ends with a summary line; Windows has no flight.
        const size_t summary = text.find("\nflight: ");
        if (!windows && summary != std::string::npos)
            text.erase(summary + 1, text.find('\n', summary + 1) - summary);
        return text;
    }
    // The end of a run's output: a traced run writes gigabytes, too much for a failure message.
    std::string outputEnd(bool windows) const {
        const std::string text = file(windows, "out.txt");
        return text.substr(text.size() - std::min<size_t>(text.size(), 4000));
    }
    void write(bool windows, const std::string& name, const std::string& text) const {
        std::ofstream(scratch.root() / (windows ? "Tundra" : "native") / name) << text;
    }
    // Runs one build (native: on a copy of the Windows data); the window shows exactly when
    // `shown`: overlays hidden, `frame` captured, `whileShown` run, Escape. Returns the log.
    std::string run(bool windows, const std::string& config, const std::string& placement,
                    bool shown, Frame& frame, bool console = true,
                    const std::function<void(const std::string&, Child&)>& whileShown = {},
                    std::vector<std::string> environment = {}) {
        const fs::path dir = scratch.root() / (windows ? "Tundra" : "native");
        if (!windows) {
            fs::remove_all(dir);
            fs::create_directory(dir);
            fs::copy(scratch.root() / "Tundra" / "data", dir / "data", fs::copy_options::recursive);
            write(false, "script.txt",
                  std::string("300 key CAPITAL down\n320 key CAPITAL up\n") +
                      (console ? "" : "340 key GRAVE down\n360 key GRAVE up\n"));
            environment = {"SDL_VIDEODRIVER=x11", "SDL_AUDIODRIVER=dummy",
                           "TUNDRA_SCRIPT=script.txt"};
        }
        write(windows, "data/default.cfg", config);
        write(windows, "data/posFile.pos", placement);
        EXPECT_TRUE(CapsLockOff());
        std::vector<std::string> command{TUNDRA_BINARY_DIR "/tundra"};
        if (windows) command = {"wine", "tundra.exe"};
        const auto viewer = Launch(dir, command, 120, "out.txt", environment);
        const std::string window = FindWindow("Tundra", 60, *viewer);
        // Wine shows the window for a moment while it tries a display mode it then refuses:
        // a failed start-up is told by its status and log, not by whether the window was seen.
        EXPECT_TRUE(!shown || !window.empty()) << outputEnd(windows);
        if (shown && !window.empty() && Activate(window, *viewer)) {
            std::this_thread::sleep_for(1500ms);  // the first frames compile Wine's shaders
            EXPECT_TRUE(!windows || Keys(console ? "Caps_Lock" : "grave Caps_Lock"));
            std::this_thread::sleep_for(1000ms);
            frame = capture(config.find("full screen=1") != std::string::npos ? "root" : window,
                            dir / "frame.ppm");
            if (whileShown) whileShown(window, *viewer);
            EXPECT_TRUE(Keys("Escape"));
        }
        EXPECT_TRUE(viewer->waitFor({}, 60, {}, true));
        EXPECT_EQ(shown ? 0 : 1, viewer->exitCode()) << outputEnd(windows);
        return file(windows, "logging.txt");
    }
    Frame capture(const std::string& window, const fs::path& ppm) const {
        EXPECT_TRUE(Shell("import -window " + window + " -depth 8 ppm:" + ppm.string()));
        return Frame(ppm.string());
    }
    ScratchDir scratch;
};
// F5 from many digits (saved rounded to six), F9 from an edited file, a flight saved and restored.
TEST_F(WineViewer, FullScreenFlightSavesAndRestoresLikeTheNativeBuild) {
    const std::string digits = "1234.5678 -0.000012345 10 0.1 2 -3 ";
    std::string saved;
    Frame start, flown, native;
    auto savedAfter = [this](const std::string& before) {
        for (int tries = 0; tries < 100 && file(true, "data/posFile.pos") == before; ++tries)
            std::this_thread::sleep_for(100ms);
        return file(true, "data/posFile.pos");
    };
    const std::string wineLog =
        run(true, kFullScreen, digits, true, start, false, [&](const std::string&, Child&) {
            ASSERT_TRUE(Keys("F5"));
            EXPECT_EQ("1234.57 -1.58688e-05 9.99999 0.1 2 -3 ", savedAfter(digits));
            write(true, "data/posFile.pos", kOverview);
            ASSERT_TRUE(Keys("F9"));
            // E held for 0.2 s, then the mouse: right turns, towards you looks down.
            ASSERT_TRUE(
                Shell("xdotool keydown e; sleep 0.2; xdotool keyup e; sleep 0.3; "
                      "xdotool mousemove_relative -- 40 20 && sleep 0.5"));
            ASSERT_TRUE(Keys("F5"));
            saved = savedAfter(kOverview);
            ASSERT_TRUE(Keys("F9"));  // the saved, rounded placement
            std::this_thread::sleep_for(1000ms);
            flown = capture("root", scratch.root() / "flown.ppm");
        });
    ExpectLog(wineLog, {kBanner, kInputGone + kClosing});
    EXPECT_EQ(run(false, kFullScreen, saved, true, native, false), wineLog);
    ExpectSameFrame(native, flown, "after flying");
    EXPECT_GT(start.pixelsOff(flown, 4), start.pixels() / 2) << "the view did not change";
    // E flies along the view at 1 unit per ms; the mouse turns and tilts pi/1000 per count.
    const std::vector<float> p = Numbers(saved);
    ASSERT_EQ(6u, p.size()) << saved;
    EXPECT_GT(p[2] + 340, 150.0f) << saved;
    EXPECT_LT(p[2] + 340, 1000.0f) << saved;
    EXPECT_NEAR(0.0f, p[0], 0.5f) << saved;
    EXPECT_NEAR(std::tan(-0.25f), (p[1] - 150) / (p[2] + 340), 0.01f) << saved;
    EXPECT_NEAR(40 * 0.0031415927f, p[4], 0.02f) << saved;
    EXPECT_NEAR(-0.25f - 20 * 0.0031415927f, p[3], 0.02f) << saved;
    EXPECT_FLOAT_EQ(0.0f, p[5]) << saved;
}
// Both builds, full screen, lose their device to another window and reset it once.
TEST_F(WineViewer, FullScreenDeviceLostToAnotherWindowIsResetLikeTheNativeBuild) {
    Frame native, wine;
    // The focus to another window and back: the full-screen device is lost and reset.
    auto cycle = [&](const std::string& window, Child& viewer) {
        const auto other = Launch(scratch.root(),
                                  {"xmessage", "-geometry", "300x100+50+50", "other"}, 120,
                                  "xmessage.out");
        EXPECT_TRUE(Activate(FindWindow("xmessage", 30, *other), *other));
        std::this_thread::sleep_for(1500ms);
        EXPECT_GT(native.pixelsOff(capture("root", scratch.root() / "lost.ppm"), 4),
                  native.pixels() * 9 / 10)
            << "the full-screen frame stayed on screen while another window had the focus";
        EXPECT_TRUE(Activate(window, viewer));
        std::this_thread::sleep_for(2500ms);
        ExpectSameFrame(native, capture("root", scratch.root() / "back.ppm"), "focus back");
    };
    run(false, kFullScreen, kOverview, true, native, false, cycle);
    // Wine's Direct3D 8 trace shows the Reset calls.
    run(true, kFullScreen, kOverview, true, wine, false, cycle, {"WINEDEBUG=-all,trace+d3d8"});
    ExpectSameFrame(native, wine, "before the loss");
    const std::string trace = file(true, "out.txt");
    const size_t first = trace.find("d3d8_device_Reset");
    EXPECT_NE(std::string::npos, first) << "no Reset";
    EXPECT_EQ(std::string::npos, trace.find("d3d8_device_Reset", first + 1)) << "Reset twice";
}
// Each configuration: the logs agree and, when the window shows, so do the pictures.
TEST_F(WineViewer, EveryConfigurationLogsAndDrawsLikeTheNativeBuild) {
    struct Row {
        const char* name;
        ConfigText config;
        bool shown;                   // start-up completes and the window shows
        bool sixteenBit = false;      // 5-bit colour channels
        bool nativeShown = shown;     // not where native keeps a documented rule Wine's does not
        bool wineMakesInput = false;  // activated while Wine tries a mode it then refuses
    };
    auto back = [](const char* format) { return ConfigText().set("backbuffer format", format); };
    auto depth = [](const char* format) {
        return ConfigText().set("depth-stencil buffer format", format);
    };
    const Row rows[] = {
        {"Shipped", ConfigText(), true},  // a client area smaller than the 800 x 600 window
        {"ZeroHeight", ConfigText().set("screen height", "0"), true},  // the window's height
        // The session's GL (llvmpipe) has 4 samples only: both refuse 2.
        {"Multisamples2", ConfigText().set("antialiasing multisamples", "2"), false},
        {"FullScreen", ConfigText().set("full screen", "1"), true},
        // Full screen takes only a size the display has (800 x 600 here).
        {"FullScreen640", ConfigText().set("full screen", "1").set("screen width", "640"), false,
         false, false, true},
        {"MissingAdapter", ConfigText().set("video card", "7"), false},
        {"DepthFormatAsBackBuffer", back("D16"), false},
        // A windowed back buffer must have the display's format (X8R8G8B8 here, or
        // A8R8G8B8); Wine converts the others.
        {"R5G6B5", back("R5G6B5"), true, true, false},
        {"X1R5G5B5", back("X1R5G5B5"), true, true, false},
        {"R8G8B8", back("R8G8B8"), true, false, false},
        {"FullScreenR5G6B5", back("R5G6B5").set("full screen", "1"), true, true},
        {"A1R5G5B5", back("A1R5G5B5"), false},  // an alpha channel no window shows
        {"D16", depth("D16"), true},
        {"D15S1", depth("D15S1"), false},  // depth formats neither adapter has
        {"D24X4S4", depth("D24X4S4"), false},
        {"D32", depth("D32"), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Frame wine, native;
        std::string wineLog = run(true, row.config.text(), kOverview, row.shown, wine);
        if (row.wineMakesInput && wineLog.find(kInputGone) != std::string::npos)
            wineLog.erase(wineLog.find(kInputGone), kInputGone.size());
        const std::string nativeLog =
            run(false, row.config.text(), kOverview, row.nativeShown, native);
        if (row.nativeShown == row.shown) EXPECT_EQ(nativeLog, wineLog);
        else EXPECT_EQ(nativeLog.find("InitD3D went ok"), std::string::npos) << nativeLog;
        if (row.shown && row.nativeShown) ExpectSameFrame(native, wine, row.name, row.sixteenBit);
    }
    // Without the main texture neither build ever shows its window.
    fs::remove(scratch.root() / "Tundra" / "data" / "marble.bmp");
    Frame none;
    const std::string wineLog = run(true, ConfigText().text(), kOverview, false, none);
    EXPECT_EQ(run(false, ConfigText().text(), kOverview, false, none), wineLog);
}
}  // namespace