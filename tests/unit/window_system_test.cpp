// The Win32 window system on SDL (offscreen driver): client areas,
// activation and painting (closing and quitting are end-to-end checks).
#include "platform/linux/internal.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

namespace {

using Messages = std::vector<std::pair<UINT, WPARAM>>;
Messages g_received;
bool g_validatePaint = true;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    g_received.push_back({message, wParam});
    if (message == WM_PAINT && g_validatePaint) ValidateRect(window, nullptr);
    return message == WM_PAINT ? 0 : DefWindowProcA(window, message, wParam, lParam);
}

// Runs the usual loop for a number of steps.
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

// Client areas Windows (Wine 8's classic metrics) gives; a window smaller than
// its frame keeps one pixel.
TEST(WindowSystemTest, WindowIsAHiddenSdlWindowOfTheClientArea) {
    const std::tuple<DWORD, int, int, int, int> rows[] = {
        {WS_OVERLAPPEDWINDOW, 800, 600, 792, 573},
        {WS_OVERLAPPED, 800, 600, 794, 575},
        {WS_CAPTION, 800, 600, 794, 575},
        {WS_POPUP, 800, 600, 800, 600},
        {WS_POPUP | WS_BORDER, 800, 600, 798, 598},
        {WS_POPUP | WS_THICKFRAME, 800, 600, 794, 594},
        {WS_POPUP | WS_DLGFRAME, 800, 600, 794, 594},
        {WS_OVERLAPPEDWINDOW, 5, 20, 1, 1}};
    for (const auto& [style, outerWidth, outerHeight, width, height] : rows) {
        HWND window = Make(style, outerWidth, outerHeight);
        SDL_Window* sdl = platform_linux::SdlWindowOf(window);
        int w = 0, h = 0;
        SDL_GetWindowSize(sdl, &w, &h);
        EXPECT_EQ(width * 10000 + height, w * 10000 + h) << std::hex << style;
        EXPECT_STREQ("Tundra", SDL_GetWindowTitle(sdl));
        EXPECT_EQ(SDL_WINDOW_HIDDEN | SDL_WINDOW_OPENGL,
                  SDL_GetWindowFlags(sdl) & (SDL_WINDOW_HIDDEN | SDL_WINDOW_OPENGL));
        EXPECT_EQ(g_received, (Messages{{WM_CREATE, 0}}));
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
    EXPECT_FALSE(SDL_GetWindowFlags(platform_linux::SdlWindowOf(window)) & SDL_WINDOW_HIDDEN);

    g_received.clear();
    PushWindowEvent(window, SDL_WINDOWEVENT_FOCUS_LOST);
    PushWindowEvent(window, SDL_WINDOWEVENT_FOCUS_GAINED);
    PushWindowEvent(window, SDL_WINDOWEVENT_FOCUS_GAINED);  // no change: no message
    PushWindowEvent(window, SDL_WINDOWEVENT_EXPOSED);
    g_validatePaint = false;
    RunLoop(20);
    g_validatePaint = true;
    ValidateRect(window, nullptr);
    ASSERT_GE(g_received.size(), 4u) << "the paint stays pending until validated";
    g_received.resize(4);
    EXPECT_EQ(
        g_received,
        (Messages{
            {WM_ACTIVATE, WA_INACTIVE}, {WM_ACTIVATE, WA_ACTIVE}, {WM_PAINT, 0}, {WM_PAINT, 0}}));

    DestroyWindow(window);
    RunLoop(50);
}

}  // namespace
