#include "flight.h"

#include "gl/device_observer.h"
#include "input_internal.h"
#include "internal.h"
#include "win32.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace platform_linux {

namespace {

enum class ActionKind { Key, Mouse, Wheel, Button, Capture, Close };

struct Action {
    DWORD at = 0;  // milliseconds after the first presented frame
    ActionKind kind = ActionKind::Close;
    DWORD code = 0;  // DIK_ code or button number
    bool down = false;
    LONG dx = 0, dy = 0;
    std::string file;
};

// Input records may reach the devices this early: longer than the time
// between a frame's last pump and its clock reading.
constexpr DWORD kLookahead = 20;

bool IsInput(const Action& action) {
    return action.kind != ActionKind::Capture && action.kind != ActionKind::Close;
}

// One time-ordered list of actions and how far it has been played.
struct Track {
    std::vector<Action> actions;
    size_t next = 0;
    bool done() const { return next == actions.size(); }
};

// The clock of the flight starts at the first presented frame, whether a
// script plays or a recording is made.
class Flight final : public gl_d3d8::DeviceObserver {
public:
    void framePresented(gl_d3d8::ObservedDevice& device) override;
    void deviceGone(gl_d3d8::ObservedDevice& device) override {
        if (&device == device_) finish();
    }
    void playDueActions();
    void finish();

    Track input;   // key, mouse, wheel, button
    Track frames;  // capture, close
    bool playing = false;
    bool started = false;
    DWORD start = 0;

private:
    void perform(const Action& action);
    void playUntil(Track& track, DWORD until);

    gl_d3d8::ObservedDevice* device_ = nullptr;  // the one that presented first
    std::vector<std::string> captures_;          // waiting for the next presented frame
    unsigned frames_ = 0;                        // presented after the first
};

Flight& TheFlight() {
    static Flight* flight = new Flight;  // lives until exit
    return *flight;
}

bool ReadUpDown(std::istream& in, bool& down) {
    std::string word;
    in >> word;
    if (word != "down" && word != "up") return false;
    down = word == "down";
    return true;
}

bool ReadKeyCode(std::istream& in, DWORD& code) {
    std::string word;
    if (!(in >> word)) return false;
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        char* end = nullptr;
        unsigned long value = std::strtoul(word.c_str() + 2, &end, 16);
        code = static_cast<DWORD>(value);
        return *end == '\0' && value > 0 && value <= 0xFF;
    }
    code = DikFromName(word);
    return code != 0;
}

bool ReadAction(const std::string& verb, std::istream& in, Action& action) {
    if (verb == "key") {
        action.kind = ActionKind::Key;
        return ReadKeyCode(in, action.code) && ReadUpDown(in, action.down);
    }
    if (verb == "mouse") {
        action.kind = ActionKind::Mouse;
        return static_cast<bool>(in >> action.dx >> action.dy);
    }
    if (verb == "wheel") {
        action.kind = ActionKind::Wheel;
        return static_cast<bool>(in >> action.dx);
    }
    if (verb == "button") {
        action.kind = ActionKind::Button;
        return (in >> action.code) && action.code <= 3 && ReadUpDown(in, action.down);
    }
    if (verb == "capture") {
        action.kind = ActionKind::Capture;
        return static_cast<bool>(in >> action.file);
    }
    action.kind = ActionKind::Close;
    return verb == "close";
}

void WritePpm(const std::string& path, const std::vector<uint32_t>& pixels, UINT width,
              UINT height) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << width << ' ' << height << "\n255\n";
    for (uint32_t pixel : pixels) {
        char rgb[3] = {static_cast<char>(pixel >> 16), static_cast<char>(pixel >> 8),
                       static_cast<char>(pixel)};
        out.write(rgb, 3);
    }
    if (!out) std::fprintf(stderr, "flight: cannot write %s\n", path.c_str());
}

// The title-bar close button arrives from SDL as a window event.
void CloseWindow(HWND window) {
    SDL_Window* sdlWindow = SdlWindowOf(window);
    if (!sdlWindow) {
        std::fprintf(stderr, "flight: no window to close\n");
        return;
    }
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.event = SDL_WINDOWEVENT_CLOSE;
    event.window.windowID = SDL_GetWindowID(sdlWindow);
    event.window.timestamp = SDL_GetTicks();
    SDL_PushEvent(&event);
}

void Flight::framePresented(gl_d3d8::ObservedDevice& device) {
    if (!started) {
        started = true;
        start = timeGetTime();
        device_ = &device;
    } else if (playing) {
        ++frames_;
    }
    for (const std::string& path : captures_) {
        std::vector<uint32_t> pixels;
        UINT width = 0, height = 0;
        if (device.readBack(pixels, width, height)) WritePpm(path, pixels, width, height);
        else std::fprintf(stderr, "flight: frame for %s cannot be read\n", path.c_str());
    }
    captures_.clear();
}

void Flight::perform(const Action& action) {
    DWORD time = start + action.at;
    switch (action.kind) {
        case ActionKind::Key: FeedKey(action.code, action.down, time); break;
        case ActionKind::Mouse: FeedMouseMotion(action.dx, action.dy, time); break;
        case ActionKind::Wheel: FeedMouseWheel(action.dx, time); break;
        case ActionKind::Button:
            FeedMouseButton(static_cast<int>(action.code), action.down, time);
            break;
        case ActionKind::Capture: captures_.push_back(action.file); break;
        case ActionKind::Close: CloseWindow(device_ ? device_->window() : nullptr); break;
    }
}

void Flight::playUntil(Track& track, DWORD until) {
    while (!track.done() && track.actions[track.next].at <= until)
        perform(track.actions[track.next++]);
}

void Flight::playDueActions() {
    if (!playing || !started) return;
    DWORD elapsed = timeGetTime() - start;
    playUntil(input, elapsed + kLookahead);
    playUntil(frames, elapsed);
    DeliverFedInput();
    if (input.done() && frames.done()) finish();
}

// The summary line, once.
void Flight::finish() {
    if (!playing || !started) return;
    playing = false;
    const double seconds = (timeGetTime() - start) / 1000.0;
    const double rate = seconds > 0 ? frames_ / seconds : 0;
    char line[128];
    std::snprintf(line, sizeof line, "flight: %u frames in %.2f seconds, %.1f frames per second",
                  frames_, seconds, rate);
    std::printf("%s\n", line);
    std::fflush(stdout);
    WriteToProgramLog(line);
}

void PlayDueActions() { TheFlight().playDueActions(); }

void StartPlaying(const char* path) {
    Flight& flight = TheFlight();
    std::vector<Action> actions;
    const bool read =
        ReadScript(path, [&actions](DWORD at, const std::string& verb, std::istream& arguments) {
            Action action;
            action.at = at;
            if (!ReadAction(verb, arguments, action)) return false;
            actions.push_back(action);
            return true;
        });
    // A script that cannot be read plays nothing, and so sums nothing up.
    if (!read) return;
    std::stable_sort(actions.begin(), actions.end(),
                     [](const Action& a, const Action& b) { return a.at < b.at; });
    for (const Action& action : actions)
        (IsInput(action) ? flight.input : flight.frames).actions.push_back(action);
    flight.playing = true;
    AddPumpHook(PlayDueActions);
}

}  // namespace

bool ReadScript(const char* path, const ScriptLineReader& read) {
    std::ifstream file(path);
    if (!file) {
        std::fprintf(stderr, "script %s cannot be read\n", path);
        return false;
    }
    std::string line, verb;
    for (int number = 1; std::getline(file, line); ++number) {
        size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#') continue;
        std::istringstream in(line);
        long long at = -1;
        if (!(in >> at >> verb) || at < 0 || at > 0x7FFFFFFF ||
            !read(static_cast<DWORD>(at), verb, in))
            std::fprintf(stderr, "script %s:%d skipped: %s\n", path, number, line.c_str());
    }
    return true;
}

DWORD FlightTime(DWORD time) {
    const Flight& flight = TheFlight();
    if (!flight.started) return 0;
    const DWORD since = time - flight.start;
    return since > 0x7FFFFFFFu ? 0 : since;  // stamped before the first frame
}

void StartFlight() {
    const char* script = std::getenv("TUNDRA_SCRIPT");
    const char* record = std::getenv("TUNDRA_RECORD");
    const bool playing = script && *script;
    const bool recording = record && *record && StartRecording(record);
    if (playing) StartPlaying(script);
    if (playing || recording) gl_d3d8::AddDeviceObserver(TheFlight());
}

void EndFlight() {
    TheFlight().finish();
    EndRecording(FlightTime(timeGetTime()));
}

}  // namespace platform_linux
