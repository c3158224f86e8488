// The Windows build under Wine, inside a private virtual display: one fresh
// Wine prefix, one Xvfb with openbox as the window manager (Wine needs one for
// activation changes and for full-screen devices to be lost and restored),
// shared by all tests of the process. Every tool it runs is wrapped in
// `timeout`; processes it starts are ended by their own process id.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace wine_test {

constexpr int kScreenWidth = 800;
constexpr int kScreenHeight = 600;

// Starts the display, the window manager and the prefix; false (with the
// reason in `error`) when any of them could not be made.
bool StartSession(std::string& error);
// Ends the Wine server of the prefix, the window manager and the display,
// and removes the prefix.
void EndSession();

// Runs a shell command line in the session's environment (DISPLAY,
// WINEPREFIX, ...), at most `seconds` long; returns its exit status and puts
// what it printed on stdout and stderr into `output`.
int Run(const std::string& commandLine, std::string& output, int seconds = 30);
int Run(const std::string& commandLine, int seconds = 30);

// A program started in the background in the session's environment.
class Process {
public:
    // Runs `arguments` in `directory`, stdout and stderr into `outputFile`,
    // with extra "NAME=value" settings; killed after `seconds` at the latest.
    Process(const std::string& directory, const std::vector<std::string>& arguments,
            const std::string& outputFile, const std::vector<std::string>& environment = {},
            int seconds = 120);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool running();
    // Waits at most `seconds` for the end; the exit status, or -1 when the
    // process had to be killed or died of a signal.
    int wait(int seconds);

private:
    pid_t pid_ = -1;
    bool ended_ = false;
    int status_ = -1;
};

// The first visible top-level window whose name is exactly `title`, as an X
// window id in decimal; "" when none appears within `seconds`. Retries, as
// the search fails while the window manager reparents windows.
std::string FindWindow(const std::string& title, int seconds);
// Whether a visible window named `title` exists right now.
bool WindowVisible(const std::string& title);
// Gives the window the input focus through the window manager (retried).
bool Activate(const std::string& window);
// xdotool key names, sent to the focused window one after the other.
bool Keys(const std::string& names);
// Presses `name`, holds it for `milliseconds`, releases it.
bool HoldKey(const std::string& name, int milliseconds);
bool MoveMouseBy(int dx, int dy);
// Switches the X server's Caps Lock off (the viewer's key toggles it): Wine
// reports a lock that is on when its window gains the focus as one more press
// of the key, which would toggle the frame-rate figures.
bool CapsLockOff();

// The whole virtual screen, or one window's client area, as a binary PPM.
bool CaptureScreen(const std::string& ppmFile);
bool CaptureWindow(const std::string& window, const std::string& ppmFile);

}  // namespace wine_test
