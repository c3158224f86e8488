// Runs the real viewer headless as a child process in a fresh working
// directory and reads what it left: its log, its exit status, its stderr
// and frames captured by the input script.
#pragma once

#include "support/run_checks.h"
#include "support/scratch_dir.h"
#include "support/shell_data.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace viewer_process {

inline const char* ViewerPath() { return TUNDRA_BINARY_DIR "/tundra"; }

inline const char* const kBanner = "begin logging--------------------\n\n";
inline const char* const kClosing = "\n---------------------end logging";

// Line feeds in a text.
inline size_t CountLines(const std::string& text) {
    size_t lines = 0;
    for (char c : text) lines += c == '\n';
    return lines;
}

struct ViewerRun {
    int exitCode = -1;  // -1: killed by a signal or by the time limit
    std::string log;
    std::string stderrText;
};

class ViewerTest : public ::testing::Test {
protected:
    void writeData(const std::string& configText) {
        ASSERT_TRUE(shell_data::WriteAll(scratch.root().string(), configText));
    }

    // Starts the viewer in the scratch directory with extra environment
    // settings ("NAME=value"); `inChild` runs in the child just before the
    // viewer starts (it must only make system calls).
    pid_t start(const std::vector<std::string>& environment,
                const std::function<void()>& inChild = nullptr) {
        std::vector<char*> settings;
        for (const std::string& setting : environment) settings.push_back(strdup(setting.c_str()));
        pid_t child = fork();
        if (child == 0) {
            setenv("SDL_VIDEODRIVER", "offscreen", 1);
            setenv("SDL_AUDIODRIVER", "dummy", 1);
            for (char* setting : settings) putenv(setting);
            if (!freopen("stderr.txt", "w", stderr)) _exit(126);
            if (inChild) inChild();
            execl(ViewerPath(), ViewerPath(), static_cast<char*>(nullptr));
            _exit(127);
        }
        for (char* setting : settings) free(setting);
        return child;
    }

    // Waits for the viewer to end (at most `seconds`, then kills it).
    ViewerRun finish(pid_t child, int seconds = 120) {
        ViewerRun run;
        int status = 0;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (waitpid(child, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                kill(child, SIGKILL);
                waitpid(child, &status, 0);
                ADD_FAILURE() << "the viewer did not end within " << seconds << " s";
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
        run.log = scratch.read("logging.txt");
        run.stderrText = scratch.read("stderr.txt");
        return run;
    }

    ViewerRun runWith(const std::vector<std::string>& environment = {}) {
        return finish(start(environment));
    }

    // Waits until `relativePath` holds `text` (at most `seconds`).
    bool waitForText(const std::string& relativePath, const std::string& text, int seconds = 120) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < deadline) {
            if (scratch.read(relativePath).find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    // Waits until `relativePath` holds at least `lines` whole lines.
    bool waitForLines(const std::string& relativePath, size_t lines, int seconds) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < deadline) {
            if (CountLines(scratch.read(relativePath)) >= lines) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    bool waitForLog(const std::string& text, int seconds = 120) {
        return waitForText("logging.txt", text, seconds);
    }

    void writeScript(const std::string& text) {
        std::ofstream script(scratch.root() / "script.txt");
        script << text;
    }

    ScratchDir scratch;
};

using tundra_test::EndsWith;
using tundra_test::ExpectInOrder;

// What a sanitizer writes to stderr when it finds a fault in the viewer.
inline void ExpectNoSanitizerReport(const std::string& stderrText) {
    for (const char* report : {"AddressSanitizer", "LeakSanitizer", "runtime error"})
        EXPECT_EQ(std::string::npos, stderrText.find(report)) << stderrText;
}

// A binary PPM (P6) as 0xRRGGBB values; false if it cannot be read.
inline bool ReadPpm(const std::string& path, int& width, int& height,
                    std::vector<uint32_t>& pixels) {
    const tundra_test::Frame frame = tundra_test::ReadPpm(path);
    if (!frame.loaded()) return false;
    width = frame.width;
    height = frame.height;
    pixels.resize(frame.pixels());
    for (size_t i = 0; i < pixels.size(); ++i) {
        const unsigned char* rgb = &frame.rgb[i * 3];
        pixels[i] = (uint32_t{rgb[0]} << 16) | (uint32_t{rgb[1]} << 8) | rgb[2];
    }
    return true;
}

}  // namespace viewer_process
