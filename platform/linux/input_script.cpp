// Scripted input for end-to-end runs of the real program.
//
// When the environment variable TUNDRA_SCRIPT names a file, its lines are
// played into the keyboard and mouse as if a user did them. One action per
// line; empty lines and lines starting with '#' are skipped:
//
//   <ms> key <key> down|up      <key>: a DIK_ name (E, DIK_E, LEFT, F5, GRAVE,
//                                CAPITAL, ESCAPE, ...) or a hex code (0x12)
//   <ms> mouse <dx> <dy>        relative motion in mouse counts
//   <ms> wheel <counts>         wheel motion (120 per notch)
//   <ms> button <n> down|up     n: 0 left, 1 right, 2 middle, 3 extra
//   <ms> capture <file.ppm>     saves the next presented frame (binary PPM)
//   <ms> close                  closes the window as its title-bar button does
//   <ms> lose <n> <file>        loses the device right after each of the next
//                               n presents (the program resets it each time)
//                               and writes to <file> one line per presented
//                               frame from the next one on, n + 1 in all: the
//                               frame's FrameHash in 16 hex digits
//   <ms> badalloc               the next Present throws std::bad_alloc, as an
//                               allocation failing inside a frame would
//
// <ms> counts milliseconds from the first presented frame. Actions are played
// in time order (file order for equal times). Every input record is stamped
// with its scheduled time on the timeGetTime clock and handed to the devices
// by the first message pump less than kLookahead ms before that time: a
// frame never accounts a held key past its scheduled release, so held
// durations come out exact whatever the frame rate. Captures and the close
// are played at the first pump at or after their time. A line that cannot be
// read is reported on stderr and skipped.
#include "input_internal.h"
#include "internal.h"
#include "testing.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <new>
#include <sstream>
#include <string>
#include <vector>

namespace {

enum class ActionKind { Key, Mouse, Wheel, Button, Capture, Close, Lose, BadAlloc };

struct Action {
    DWORD at = 0;  // milliseconds after the first presented frame
    ActionKind kind = ActionKind::Close;
    DWORD code = 0;  // DIK_ code or button number
    bool down = false;
    LONG dx = 0, dy = 0;
    unsigned count = 0;
    std::string file;
};

// Input records may reach the devices this early: longer than the time
// between a frame's last pump and its clock reading.
constexpr DWORD kLookahead = 20;

bool IsInput(const Action& action) {
    return action.kind == ActionKind::Key || action.kind == ActionKind::Mouse ||
           action.kind == ActionKind::Wheel || action.kind == ActionKind::Button;
}

// One time-ordered list of actions and how far it has been played.
struct Track {
    std::vector<Action> actions;
    size_t next = 0;
};

struct Player {
    Track input;   // key, mouse, wheel, button
    Track frames;  // capture, close, lose, badalloc
    bool started = false;
    DWORD start = 0;
    std::vector<std::string> captures;  // waiting for the next presented frame
    SDL_Window* window = nullptr;
    IDirect3DDevice8* device = nullptr;  // the one that presented first
    std::ofstream hashes;                // of the "lose" action
    unsigned framesToHash = 0;
    bool failNextPresent = false;
};

Player& ThePlayer() {
    static Player* player = new Player;  // lives until exit
    return *player;
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
    code = platform_linux::DikFromName(word);
    return code != 0;
}

bool ParseAction(const std::string& line, Action& action) {
    std::istringstream in(line);
    long long at = -1;
    std::string verb;
    if (!(in >> at >> verb) || at < 0 || at > 0x7FFFFFFF) return false;
    action.at = static_cast<DWORD>(at);
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
    if (verb == "close") {
        action.kind = ActionKind::Close;
        return true;
    }
    if (verb == "badalloc") {
        action.kind = ActionKind::BadAlloc;
        return true;
    }
    if (verb == "lose") {
        action.kind = ActionKind::Lose;
        return (in >> action.count >> action.file) && action.count > 0;
    }
    return false;
}

std::vector<Action> LoadScript(const char* path) {
    std::vector<Action> actions;
    std::ifstream file(path);
    if (!file) {
        std::fprintf(stderr, "input script %s cannot be read\n", path);
        return actions;
    }
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#') continue;
        Action action;
        if (ParseAction(line, action)) actions.push_back(action);
        else std::fprintf(stderr, "input script %s:%d skipped: %s\n", path, number, line.c_str());
    }
    std::stable_sort(actions.begin(), actions.end(),
                     [](const Action& a, const Action& b) { return a.at < b.at; });
    return actions;
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
    if (!out) std::fprintf(stderr, "input script: cannot write %s\n", path.c_str());
}

// The title-bar close button arrives from SDL as a window event.
void CloseWindow(SDL_Window* window) {
    if (!window) {
        std::fprintf(stderr, "input script: no window to close\n");
        return;
    }
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.event = SDL_WINDOWEVENT_CLOSE;
    event.window.windowID = SDL_GetWindowID(window);
    event.window.timestamp = SDL_GetTicks();
    SDL_PushEvent(&event);
}

void StartLosses(Player& player, const Action& action) {
    player.hashes.close();
    player.hashes.clear();
    player.hashes.open(action.file);
    if (!player.hashes) {
        std::fprintf(stderr, "input script: cannot write %s\n", action.file.c_str());
        return;
    }
    player.framesToHash = action.count + 1;
    tundra_testing::LoseAfterPresents(player.device, action.count);
}

void HashFrame(Player& player, IDirect3DDevice8* device) {
    std::vector<uint32_t> pixels;
    UINT width = 0, height = 0;
    char line[32] = "unreadable";
    if (tundra_testing::ReadBackFrame(device, pixels, width, height))
        std::snprintf(line, sizeof line, "%016llx",
                      static_cast<unsigned long long>(tundra_testing::FrameHash(pixels)));
    player.hashes << line << std::endl;
    --player.framesToHash;
}

void Perform(Player& player, const Action& action) {
    DWORD time = player.start + action.at;
    switch (action.kind) {
        case ActionKind::Key: tundra_testing::FeedKey(action.code, action.down, time); break;
        case ActionKind::Mouse: tundra_testing::FeedMouseMotion(action.dx, action.dy, time); break;
        case ActionKind::Wheel: tundra_testing::FeedMouseWheel(action.dx, time); break;
        case ActionKind::Button:
            tundra_testing::FeedMouseButton(static_cast<int>(action.code), action.down, time);
            break;
        case ActionKind::Capture: player.captures.push_back(action.file); break;
        case ActionKind::Close: CloseWindow(player.window); break;
        case ActionKind::Lose: StartLosses(player, action); break;
        case ActionKind::BadAlloc: player.failNextPresent = true; break;
    }
}

void PlayUntil(Player& player, Track& track, DWORD until) {
    while (track.next < track.actions.size() && track.actions[track.next].at <= until)
        Perform(player, track.actions[track.next++]);
}

void PlayDueActions() {
    Player& player = ThePlayer();
    if (!player.started) return;
    DWORD elapsed = timeGetTime() - player.start;
    PlayUntil(player, player.input, elapsed + kLookahead);
    PlayUntil(player, player.frames, elapsed);
    platform_linux::DeliverFedInput();
}

void OnPresent(IDirect3DDevice8* device) {
    Player& player = ThePlayer();
    if (!player.started) {
        player.started = true;
        player.start = timeGetTime();
        player.window = SDL_GL_GetCurrentWindow();
        player.device = device;
    }
    for (const std::string& path : player.captures) {
        std::vector<uint32_t> pixels;
        UINT width = 0, height = 0;
        if (tundra_testing::ReadBackFrame(device, pixels, width, height))
            WritePpm(path, pixels, width, height);
        else std::fprintf(stderr, "input script: frame for %s cannot be read\n", path.c_str());
    }
    player.captures.clear();
    if (player.framesToHash > 0) HashFrame(player, device);
    if (player.failNextPresent) {
        player.failNextPresent = false;
        throw std::bad_alloc();
    }
}

}  // namespace

namespace tundra_testing {

uint64_t FrameHash(const std::vector<uint32_t>& pixels) {
    uint64_t hash = 14695981039346656037ull;
    for (uint32_t pixel : pixels) {
        for (int shift = 0; shift < 24; shift += 8) {
            hash ^= (pixel >> shift) & 0xFFu;
            hash *= 1099511628211ull;
        }
    }
    return hash;
}

}  // namespace tundra_testing

namespace platform_linux {

void StartInputScript() {
    static bool asked = false;
    if (asked) return;
    asked = true;
    const char* path = std::getenv("TUNDRA_SCRIPT");
    if (!path || !*path) return;
    Player& player = ThePlayer();
    for (const Action& action : LoadScript(path))
        (IsInput(action) ? player.input : player.frames).actions.push_back(action);
    AddPumpHook(PlayDueActions);
    AddPresentListener(OnPresent);
}

}  // namespace platform_linux
