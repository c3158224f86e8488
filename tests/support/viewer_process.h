// The real viewer run headless as a child process, and checks on what it
// leaves: its log, exit status, stderr and captured frames.
#pragma once

#include "support/scratch_dir.h"
#include "support/shell_data.h"
#include <gtest/gtest.h>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace viewer_process {
inline const char* const kBanner = "begin logging--------------------\n\n";
inline const char* const kClosing = "\n---------------------end logging";
inline const std::string kInputGone = "crushing input.\n";  // the input ended in order
// Checks that the log holds the texts in order, the first at its start, the last at its end
// (no texts: an empty log).
inline void ExpectLog(const std::string& log, const std::vector<std::string>& texts) {
    size_t at = 0;
    for (const std::string& text : texts) {
        at = log.find(text, at);
        ASSERT_NE(std::string::npos, at) << "missing in order: \"" << text << "\"\nlog:\n" << log;
        at += text.size();
    }
    EXPECT_TRUE((texts.empty() || log.find(texts.front()) == 0) && at == log.size()) << log;
}
// The numbers that `text` starts with.
inline std::vector<float> Numbers(const std::string& text) {
    std::istringstream in(text);
    std::vector<float> numbers;
    for (float value; in >> value;) numbers.push_back(value);
    return numbers;
}
// An 8-bit RGB frame from a binary PPM (P6); empty when it cannot be read.
struct Frame {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    explicit Frame(const std::string& path = "") {
        std::ifstream file(path, std::ios::binary);
        std::string magic;
        int maxValue = 0;
        file >> magic >> width >> height >> maxValue;
        file.get();
        rgb.resize(file && magic == "P6" && maxValue == 255 ? pixels() * 3 : 0);
        if (!file.read(reinterpret_cast<char*>(rgb.data()), std::streamsize(rgb.size())))
            rgb.clear();
    }
    bool loaded() const { return width > 0 && rgb.size() == pixels() * 3; }
    size_t pixels() const { return size_t(width) * height; }
    uint32_t at(int x, int y) const {
        if (x < 0 || y < 0 || x >= width || y >= height) return ~0u;  // no colour is this
        const unsigned char* p = &rgb[(size_t(y) * width + x) * 3];
        return uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
    }
    // Pixels of `other` off by more than `tolerance` in a channel.
    size_t pixelsOff(const Frame& other, int tolerance) const {
        auto off = [&](size_t c) { return std::abs(int(rgb[c]) - int(other.rgb[c])) > tolerance; };
        size_t count = 0;
        for (size_t c = 0; c + 2 < rgb.size() && c + 2 < other.rgb.size(); c += 3)
            count += off(c) || off(c + 1) || off(c + 2);
        return count;
    }
};
// A program run in `dir` with its stdout and stderr in `output`, ended by its id.
class Child {
public:
    Child(const std::string& dir, std::vector<std::string> command, const std::string& output,
          std::vector<std::string> environment = {}) {
        if ((pid = fork()) != 0) return;
        // The test process runs no other threads, so the child may allocate.
        for (std::string& setting : environment) putenv(setting.data());
        if (chdir(dir.c_str()) != 0 || !freopen(output.c_str(), "w", stderr) || dup2(2, 1) < 0)
            _exit(126);
        std::vector<char*> argv;
        for (std::string& word : command) argv.push_back(word.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    ~Child() { stop(); }
    bool running() {
        if (!ended_ && waitpid(pid, &status_, WNOHANG) == pid) ended_ = true;
        return !ended_;
    }
    int exitCode() const { return ended_ && WIFEXITED(status_) ? WEXITSTATUS(status_) : -1; }
    // Polls `done` (or waits for the end when `untilEnd`); false at once when the
    // child ended first, or when `progress` (what it writes) stayed for `quiet` s.
    bool waitFor(const std::function<bool()>& done, int quiet = 15,
                 const std::function<std::string()>& progress = {}, bool untilEnd = false) {
        std::string mark;
        for (auto changed = std::chrono::steady_clock::now();;) {
            if (done && done() && !untilEnd) return true;
            if (!running()) return untilEnd;
            const std::string now = progress ? progress() : "";
            if (now != mark) mark = now, changed = std::chrono::steady_clock::now();
            else if (std::chrono::steady_clock::now() - changed > std::chrono::seconds(quiet))
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(progress ? 10 : 100));
        }
    }
    // `signal`, then SIGKILL when the child is still there after 10 s.
    void stop(int signal = SIGTERM) {
        if (!running() || (kill(pid, signal), waitFor({}, 10, {}, true))) return;
        kill(pid, SIGKILL);
        waitpid(pid, &status_, 0);
        ended_ = true;
    }

private:
    pid_t pid = -1;
    bool ended_ = false;
    int status_ = -1;
};
struct ViewerRun {
    std::string log, stderrText;
};
// Runs the viewer on the small data in the scratch directory (SDL offscreen, script.txt).
// The wait fails when neither its log nor its stderr changed for 15 s: it hangs.
class ViewerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(shell_data::WriteAll(scratch.root().string(), shell_data::SmallConfig()));
    }
    void writeScript(const std::string& text) { scratch.writeData("../script.txt", text); }
    void start(std::vector<std::string> environment = {}) {
        environment.insert(environment.end(), {"SDL_VIDEODRIVER=offscreen", "SDL_AUDIODRIVER=dummy",
                                               "TUNDRA_SCRIPT=script.txt"});
        const char* viewer = TUNDRA_BINARY_DIR "/tundra";
        child_ = std::make_unique<Child>(scratch.root().string(), std::vector<std::string>{viewer},
                                         "stderr.txt", environment);
    }
    // Waits for the end (`eachPoll` runs meanwhile), which must be orderly.
    // `status`: 0 after a normal quit, 1 after a failed start or an error.
    ViewerRun finish(const std::function<bool()>& eachPoll = {}, int status = 0) {
        auto progress = [&] { return scratch.read("logging.txt") + scratch.read("stderr.txt"); };
        if (!child_->waitFor(eachPoll, 15, progress, true)) {
            ADD_FAILURE() << "the viewer made no progress for 15 s:\n" << progress();
            child_->stop(SIGKILL);
        }
        const ViewerRun run{scratch.read("logging.txt"), scratch.read("stderr.txt")};
        EXPECT_EQ(status, child_->exitCode()) << run.stderrText;
        for (const char* report : {"AddressSanitizer", "LeakSanitizer", "runtime error"})
            EXPECT_EQ(std::string::npos, run.stderrText.find(report)) << run.stderrText;
        return run;
    }
    ScratchDir scratch;
    std::unique_ptr<Child> child_;
};
}  // namespace viewer_process
