#include "wine/wine_session.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace wine_test {
namespace {

using Clock = std::chrono::steady_clock;

void Pause(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::unique_ptr<Process> g_display;
std::unique_ptr<Process> g_windowManager;
std::filesystem::path g_sessionDir;

bool DisplayNumberFree(int number) {
    const std::string n = std::to_string(number);
    return !std::filesystem::exists("/tmp/.X" + n + "-lock") &&
           !std::filesystem::exists("/tmp/.X11-unix/X" + n);
}

// Waits until `check` holds or `seconds` pass, or until `process` ends.
template <typename Check>
bool WaitFor(Check check, int seconds, Process* process = nullptr) {
    auto deadline = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < deadline) {
        if (check()) return true;
        if (process && !process->running()) return false;
        Pause(100);
    }
    return false;
}

// A private display: a random free number in 150..199, up when xdpyinfo can
// talk to it. Another program may take the same number at the same moment;
// then the server ends at once and the next number is tried.
bool StartDisplay(std::string& error) {
    std::mt19937 random(static_cast<unsigned>(getpid()) ^
                        static_cast<unsigned>(Clock::now().time_since_epoch().count()));
    for (int attempt = 0; attempt < 10; ++attempt) {
        const int number = 150 + static_cast<int>(random() % 50);
        if (!DisplayNumberFree(number)) continue;
        const std::string display = ":" + std::to_string(number);
        g_display = std::make_unique<Process>(
            g_sessionDir.string(),
            std::vector<std::string>{
                "Xvfb", display, "-screen", "0",
                std::to_string(kScreenWidth) + "x" + std::to_string(kScreenHeight) + "x24",
                "-nolisten", "tcp"},
            (g_sessionDir / ("xvfb" + display.substr(1) + ".out")).string(),
            std::vector<std::string>{}, 3600);
        setenv("DISPLAY", display.c_str(), 1);
        if (WaitFor([] { return Run("xdpyinfo", 5) == 0; }, 15, g_display.get())) return true;
        g_display.reset();
    }
    error = "no private X display could be started (Xvfb on 150..199)";
    return false;
}

bool StartWindowManager(std::string& error) {
    g_windowManager = std::make_unique<Process>(
        g_sessionDir.string(), std::vector<std::string>{"openbox"},
        (g_sessionDir / "openbox.out").string(), std::vector<std::string>{}, 3600);
    auto managed = [] {
        std::string output;
        return Run("xprop -root _NET_SUPPORTING_WM_CHECK", output, 5) == 0 &&
               output.find("window id") != std::string::npos;
    };
    if (WaitFor(managed, 20, g_windowManager.get())) return true;
    error = "openbox did not take over the display";
    return false;
}

bool MakePrefix(std::string& error) {
    const std::string prefix = (g_sessionDir / "prefix").string();
    setenv("WINEPREFIX", prefix.c_str(), 1);
    setenv("WINEDEBUG", "-all", 1);
    setenv("WINEDLLOVERRIDES", "mscoree,mshtml=;winemenubuilder.exe=d", 1);
    std::string output;
    if (Run("wineboot -i", output, 240) != 0 || Run("wineserver -w", output, 120) != 0 ||
        !std::filesystem::exists(prefix + "/system.reg")) {
        error = "wineboot could not make the prefix: " + output;
        return false;
    }
    return true;
}

bool ToolsPresent(std::string& error) {
    std::string output;
    if (Run("sh -c 'for tool in wine wineboot wineserver Xvfb openbox xdotool xdpyinfo xprop xmessage "
            "import; do command -v $tool >/dev/null || echo $tool; done'",
            output, 10) == 0 &&
        output.empty())
        return true;
    error = "missing programs (scripts/install-wine-deps.sh installs them): " + output;
    return false;
}

}  // namespace

bool StartSession(std::string& error) {
    if (!ToolsPresent(error)) return false;
    char pattern[] = "/tmp/tundra-wine-XXXXXX";
    if (!mkdtemp(pattern)) {
        error = "cannot make the session folder";
        return false;
    }
    g_sessionDir = pattern;
    return StartDisplay(error) && StartWindowManager(error) && MakePrefix(error);
}

void EndSession() {
    if (getenv("WINEPREFIX")) {
        Run("wineserver -k", 30);
        Run("wineserver -w", 30);
    }
    g_windowManager.reset();
    g_display.reset();
    if (!g_sessionDir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(g_sessionDir, ignored);
    }
}

int Run(const std::string& commandLine, std::string& output, int seconds) {
    output.clear();
    const std::string wrapped = "timeout -k 5 " + std::to_string(seconds) + " " + commandLine +
                                " 2>&1";
    FILE* pipe = popen(wrapped.c_str(), "r");
    if (!pipe) return -1;
    char buffer[4096];
    size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
    int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int Run(const std::string& commandLine, int seconds) {
    std::string ignored;
    return Run(commandLine, ignored, seconds);
}

Process::Process(const std::string& directory, const std::vector<std::string>& arguments,
                 const std::string& outputFile, const std::vector<std::string>& environment,
                 int seconds) {
    std::vector<std::string> command{"timeout", "-k", "5", std::to_string(seconds)};
    command.insert(command.end(), arguments.begin(), arguments.end());
    pid_ = fork();
    if (pid_ != 0) return;
    // The child: only async-signal-safe work would be strictly right here,
    // but the test process runs no other threads.
    if (chdir(directory.c_str()) != 0) _exit(126);
    for (const std::string& setting : environment) putenv(strdup(setting.c_str()));
    int out = open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out >= 0) {
        dup2(out, 1);
        dup2(out, 2);
        close(out);
    }
    std::vector<char*> argv;
    for (std::string& word : command) argv.push_back(word.data());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
}

Process::~Process() {
    if (pid_ <= 0 || ended_) return;
    kill(pid_, SIGTERM);  // `timeout` passes it on to the program it runs
    if (wait(10) == -1 && !ended_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

bool Process::running() {
    if (pid_ <= 0 || ended_) return false;
    int status = 0;
    pid_t done = waitpid(pid_, &status, WNOHANG);
    if (done == 0) return true;
    ended_ = true;
    status_ = done == pid_ && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return false;
}

int Process::wait(int seconds) {
    if (!WaitFor([this] { return !running(); }, seconds)) {
        kill(pid_, SIGTERM);
        WaitFor([this] { return !running(); }, 10);
        return -1;
    }
    return status_;
}

std::string FindWindow(const std::string& title, int seconds) {
    std::string found;
    WaitFor(
        [&] {
            std::string output;
            if (Run("xdotool search --onlyvisible --name '^" + title + "$'", output, 5) != 0)
                return false;
            size_t end = output.find_first_not_of("0123456789");
            found = output.substr(0, end);
            return !found.empty();
        },
        seconds);
    return found;
}

bool WindowVisible(const std::string& title) {
    std::string output;
    return Run("xdotool search --onlyvisible --name '^" + title + "$'", output, 5) == 0 &&
           output.find_first_of("0123456789") == 0;
}

bool Activate(const std::string& window) {
    return WaitFor([&] { return Run("xdotool windowactivate --sync " + window, 5) == 0; }, 15);
}

bool Keys(const std::string& names) { return Run("xdotool key --delay 60 " + names) == 0; }

bool HoldKey(const std::string& name, int milliseconds) {
    if (Run("xdotool keydown " + name) != 0) return false;
    Pause(milliseconds);
    return Run("xdotool keyup " + name) == 0;
}

bool CapsLockOff() {
    std::string state;
    if (Run("xset q", state, 10) != 0) return false;
    size_t at = state.find("Caps Lock:");
    if (at == std::string::npos) return false;
    if (state.compare(state.find_first_not_of(' ', at + 10), 2, "on") != 0) return true;
    return Run("xdotool key Caps_Lock") == 0;
}

bool MoveMouseBy(int dx, int dy) {
    return Run("xdotool mousemove_relative -- " + std::to_string(dx) + " " + std::to_string(dy)) ==
           0;
}

bool CaptureScreen(const std::string& ppmFile) { return CaptureWindow("root", ppmFile); }

bool CaptureWindow(const std::string& window, const std::string& ppmFile) {
    return Run("import -window " + window + " -depth 8 ppm:" + ppmFile, 30) == 0;
}

}  // namespace wine_test
