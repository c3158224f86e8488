// The Win32 window system and DirectInput 8 on SDL (offscreen): client areas, activation, painting
// (closing and quitting are end-to-end checks); focus losses and SDL events as DirectInput records.
#include "platform/linux/internal.h"
#include "platform/linux/input_internal.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

namespace {

using platform_linux::FeedKey;
using platform_linux::FeedMouseButton;

using Messages = std::vector<std::pair<UINT, WPARAM>>;
Messages g_received;
bool g_validatePaint = true;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    g_received.push_back({message, wParam});
    if (message == WM_PAINT && g_validatePaint) ValidateRect(window, nullptr);
    return message == WM_PAINT ? 0 : DefWindowProcA(window, message, wParam, lParam);
}
void RunLoop(int steps) {
    for (MSG msg{}; steps-- > 0;)
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}
HWND Make(DWORD style = WS_OVERLAPPEDWINDOW, int width = 100, int height = 100) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = RecordingProc;
    windowClass.lpszClassName = "TestClass";
    static const bool registered = RegisterClassExA(&windowClass) != 0;
    EXPECT_TRUE(registered);
    g_received.clear();
    return CreateWindowExA(0, "testclass", "Tundra", style, 0, 0, width, height, nullptr, nullptr,
                           nullptr, nullptr);
}
void PushWindowEvent(HWND window, Uint8 type) {
    SDL_Event event{SDL_WINDOWEVENT};
    event.window.event = type;
    event.window.windowID = SDL_GetWindowID(platform_linux::SdlWindowOf(window));
    SDL_PushEvent(&event);
}
// Client areas as Wine 8's classic metrics give; a tiny window keeps one pixel.
TEST(WindowSystemTest, WindowIsAHiddenSdlWindowOfTheClientArea) {
    // clang-format off
    const std::tuple<DWORD, int, int, int, int> rows[] = {
        {WS_OVERLAPPEDWINDOW, 800, 600, 792, 573}, {WS_OVERLAPPED, 800, 600, 794, 575},
        {WS_CAPTION, 800, 600, 794, 575}, {WS_POPUP, 800, 600, 800, 600},
        {WS_POPUP | WS_BORDER, 800, 600, 798, 598}, {WS_POPUP | WS_THICKFRAME, 800, 600, 794, 594},
        {WS_POPUP | WS_DLGFRAME, 800, 600, 794, 594}, {WS_OVERLAPPEDWINDOW, 5, 20, 1, 1}};
    // clang-format on
    for (const auto& [style, outerWidth, outerHeight, width, height] : rows) {
        HWND window = Make(style, outerWidth, outerHeight);
        SDL_Window* sdl = platform_linux::SdlWindowOf(window);
        int w = 0, h = 0;
        SDL_GetWindowSize(sdl, &w, &h);
        EXPECT_EQ(std::pair(width, height), std::pair(w, h)) << std::hex << style;
        EXPECT_STREQ("Tundra", SDL_GetWindowTitle(sdl));
        EXPECT_EQ(SDL_WINDOW_HIDDEN | SDL_WINDOW_OPENGL,
                  SDL_GetWindowFlags(sdl) & (SDL_WINDOW_HIDDEN | SDL_WINDOW_OPENGL));
        EXPECT_EQ(g_received, (Messages{{WM_CREATE, 0}}));
        DestroyWindow(window);
    }
    // Its one-pixel stand-in aside, an empty client area reads as empty; one column as one.
    for (const auto& [outerWidth, client] : {std::pair(5, 0), std::pair(9, 1)}) {
        HWND window = Make(WS_OVERLAPPEDWINDOW, outerWidth, 100);
        int w = -1, h = -1;
        EXPECT_TRUE(platform_linux::ClientAreaOf(window, w, h) && w == client) << w;
        DestroyWindow(window);
    }
    RunLoop(50);
}
TEST(WindowSystemTest, ShowingActivatesFocusFollowsAndPaintStaysUntilValidated) {
    HWND window = Make();
    EXPECT_FALSE(UnregisterClassA("TestClass", nullptr));  // a window of it exists
    EXPECT_FALSE(platform_linux::WindowIsActive(window));
    ShowWindow(window, SW_SHOWDEFAULT);  // activates at once
    UpdateWindow(window);
    UpdateWindow(window);  // validated: nothing more to paint
    EXPECT_EQ(g_received, (Messages{{WM_CREATE, 0}, {WM_ACTIVATE, WA_ACTIVE}, {WM_PAINT, 0}}));
    EXPECT_TRUE(platform_linux::WindowIsActive(window));
    SDL_Window* const sdl = platform_linux::SdlWindowOf(window);
    EXPECT_FALSE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_HIDDEN);
    g_received.clear();
    PushWindowEvent(window, SDL_WINDOWEVENT_FOCUS_LOST);
    PushWindowEvent(window, SDL_WINDOWEVENT_FOCUS_GAINED);
    PushWindowEvent(window, SDL_WINDOWEVENT_FOCUS_GAINED);  // no change: no message
    PushWindowEvent(window, SDL_WINDOWEVENT_EXPOSED);
    g_validatePaint = false;
    RunLoop(20);
    g_validatePaint = true;
    MSG msg{};  // the pending paint matches a filter from WM_PAINT, not one past it
    EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE));
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_PAINT + 1, 0x400, PM_NOREMOVE));
    ValidateRect(window, nullptr);
    ASSERT_GE(g_received.size(), 4u) << "the paint stays pending until validated";
    g_received.resize(4);
    const Messages expected = {
        {WM_ACTIVATE, WA_INACTIVE}, {WM_ACTIVATE, WA_ACTIVE}, {WM_PAINT, 0}, {WM_PAINT, 0}};
    EXPECT_EQ(g_received, expected);
    DestroyWindow(window);  // and it leaves the screen
    EXPECT_TRUE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_HIDDEN);
    RunLoop(50);
}
class DirectInputTest : public ::testing::Test {
protected:
    ~DirectInputTest() override {
        for (IDirectInputDevice8A* device : {keyboard, mouse})
            device->Unacquire(), device->Release();
        input->Release(), DestroyWindow(window);
    }
    IDirectInputDevice8A* open(const GUID& guid, const DIDATAFORMAT* format, DWORD cooperation,
                               DWORD bufferSize) {
        IDirectInputDevice8A* device = nullptr;
        DIPROPDWORD property{{sizeof property, sizeof(DIPROPHEADER), 0, DIPH_DEVICE}, bufferSize};
        EXPECT_FALSE(FAILED(input->CreateDevice(guid, &device, nullptr)) ||
                     FAILED(device->SetDataFormat(format)) ||
                     FAILED(device->SetCooperativeLevel(window, cooperation)) ||
                     FAILED(device->SetProperty(DIPROP_BUFFERSIZE, &property.diph)) ||
                     FAILED(device->Acquire()));
        return device;
    }
    static std::vector<DIDEVICEOBJECTDATA> read(IDirectInputDevice8A* device, DWORD room,
                                                HRESULT expected = DI_OK) {
        std::vector<DIDEVICEOBJECTDATA> records(room);
        EXPECT_EQ(expected, device->GetDeviceData(sizeof records[0], records.data(), &room, 0));
        return records.resize(room), records;
    }
    static std::string text(const std::vector<DIDEVICEOBJECTDATA>& records, std::string out = "") {
        for (const auto& r : records)
            out += std::to_string(r.dwOfs) + ":" + std::to_string(LONG(r.dwData)) + " ";
        return out;
    }
    HWND window = Make();
    bool shown = ShowWindow(window, SW_SHOW) || true;
    IDirectInput8A* input = nullptr;
    HRESULT created = DirectInput8Create(nullptr, 0x0800, IID_IDirectInput8A,
                                         reinterpret_cast<LPVOID*>(&input), nullptr);
    IDirectInputDevice8A* keyboard =
        open(GUID_SysKeyboard, &c_dfDIKeyboard, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND, 4);
    IDirectInputDevice8A* mouse =
        open(GUID_SysMouse, &c_dfDIMouse, DISCL_EXCLUSIVE | DISCL_FOREGROUND, 16);
};
// Focus coming and going on another window keeps the foreground devices; on theirs, they are lost.
TEST_F(DirectInputTest, ForegroundDevicesAreLostWithTheFocusOfTheirWindowOnly) {
    for (HWND focused : {Make(), window}) {
        PushWindowEvent(focused, SDL_WINDOWEVENT_FOCUS_GAINED);
        PushWindowEvent(focused, SDL_WINDOWEVENT_FOCUS_LOST);
        RunLoop(20);
        const HRESULT expected = focused == window ? DIERR_INPUTLOST : DI_OK;
        read(keyboard, 4, expected);
        if (focused != window) read(mouse, 4), DestroyWindow(focused);
    }
    // A loss is told once, to the next call: for the mouse, unread, the Acquire the viewer makes
    // before reading. With the focus back, the device is acquired again.
    PushWindowEvent(window, SDL_WINDOWEVENT_FOCUS_GAINED);
    RunLoop(20);
    EXPECT_EQ(mouse->Acquire(), DIERR_INPUTLOST);
    EXPECT_EQ(mouse->Acquire(), DI_OK);
    read(mouse, 4);
}
// An SDL event as the platform receives it: `a` and `b` are a motion's xrel and yrel (all
// relative mode reports), a wheel's y and direction, a button, or a key's scan code and repeat.
SDL_Event Made(Uint32 type, int a, int b = 0) {
    SDL_Event e{type};
    if (type == SDL_KEYDOWN || type == SDL_KEYUP)
        e.key.keysym.scancode = SDL_Scancode(a), e.key.repeat = Uint8(b),
        e.key.state = type == SDL_KEYDOWN;
    else if (type == SDL_MOUSEMOTION) e.motion.xrel = a, e.motion.yrel = b;
    else if (type == SDL_MOUSEWHEEL) e.wheel.y = a, e.wheel.direction = Uint32(b);
    else e.button.button = Uint8(a), e.button.state = type == SDL_MOUSEBUTTONDOWN;
    return e;
}
// Keyboard records | mouse records. SDL's xrel grows to the right, its yrel downwards, its wheel's
// y away from the user; DirectInput's X (offset 0) right, Y (4) towards, Z (8) away, 120 a notch.
TEST_F(DirectInputTest, SdlEventsBecomeRecordsOnTheTimerClock) {
    const std::pair<SDL_Event, const char*> rows[] = {
        {Made(SDL_KEYDOWN, SDL_SCANCODE_GRAVE), "41:128 |"},
        {Made(SDL_KEYDOWN, SDL_SCANCODE_GRAVE, 1), "|"},  // no auto-repeat
        {Made(SDL_KEYUP, SDL_SCANCODE_CAPSLOCK), "58:0 |"},
        {Made(SDL_KEYUP, SDL_SCANCODE_KP_ENTER), "156:0 |"},
        {Made(SDL_KEYUP, SDL_SCANCODE_RALT), "184:0 |"},
        {Made(SDL_MOUSEMOTION, 3, 0), "|0:3 "},
        {Made(SDL_MOUSEMOTION, 0, 4), "|4:4 "},
        {Made(SDL_MOUSEMOTION, -5, -6), "|0:-5 4:-6 "},
        {Made(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT), "|12:128 "},
        {Made(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT), "|13:128 "},
        {Made(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_MIDDLE), "|14:128 "},
        {Made(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_X1), "|15:128 "},
        {Made(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT), "|12:0 "},
        {Made(SDL_MOUSEWHEEL, 2), "|8:240 "},
        {Made(SDL_MOUSEWHEEL, 1, SDL_MOUSEWHEEL_FLIPPED), "|8:-120 "},
        {Made(SDL_MOUSEWHEEL, 0), "|"},  // sideways only
    };
    for (auto [event, expected] : rows) {
        event.common.timestamp = 1000;  // added as it is, where pushing would stamp it anew
        ASSERT_EQ(1, SDL_PeepEvents(&event, 1, SDL_ADDEVENT, 0, 0));
        const auto keys = read(keyboard, 16), moves = read(mouse, 16);
        EXPECT_EQ(text(keys) + "|" + text(moves), expected);
        for (const auto& record : keys.empty() ? moves : keys)
            EXPECT_NEAR(double(record.dwTimeStamp), 1000.0 + timeGetTime() - SDL_GetTicks(), 2);
    }
    FeedKey(DIK_GRAVE, false, 0);
    for (int button = 0; button < 4; ++button) FeedMouseButton(button, false, 0);
    read(keyboard, 16), read(mouse, 16);  // nothing left for the next test
}

}  // namespace
