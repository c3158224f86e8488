// The Win32 window system on SDL (offscreen driver): classes, client areas,
// activation, painting, closing, the message box, Direct3D 8 loading, timer.
#include "platform/linux/internal.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using Messages = std::vector<std::pair<UINT, WPARAM>>;
Messages g_received;
bool g_validatePaint = true;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    g_received.push_back({message, wParam});
    if (message == WM_DESTROY) PostQuitMessage(7);
    if (message == WM_PAINT && g_validatePaint) ValidateRect(window, nullptr);
    return message == WM_PAINT ? 0 : DefWindowProcA(window, message, wParam, lParam);
}

// Runs the usual loop until WM_QUIT (or the step limit) and returns its code.
int RunLoop(int limit = 1000) {
    MSG msg{};
    for (int step = 0; step < limit && msg.message != WM_QUIT; ++step)
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    return msg.message == WM_QUIT ? int(msg.wParam) : -1;
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
        EXPECT_EQ(window, platform_linux::WindowFromSdlId(SDL_GetWindowID(sdl)));
        EXPECT_EQ(g_received, (Messages{{WM_CREATE, 0}}));
        DestroyWindow(window);
    }
    RunLoop(50);
}

TEST(WindowSystemTest, ActivationPaintingClosingAndQuitting) {
    HWND window = Make();
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = 48;  // the 32-bit size: refused, as on 64-bit Windows
    windowClass.lpszClassName = "Other";
    EXPECT_EQ(0, RegisterClassExA(&windowClass));
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpszClassName = "TESTCLASS";  // names ignore case
    EXPECT_EQ(0, RegisterClassExA(&windowClass));
    EXPECT_EQ(nullptr, CreateWindowExA(0, "Unknown", "", 0, 0, 0, 9, 9, 0, 0, 0, 0));
    EXPECT_FALSE(UnregisterClassA("TestClass", nullptr));  // a window of it exists

    static std::vector<std::pair<HWND, bool>> focus;
    platform_linux::AddFocusListener([](HWND w, bool active) { focus.push_back({w, active}); });
    EXPECT_FALSE(platform_linux::WindowIsActive(window));
    ShowWindow(window, SW_SHOWDEFAULT);  // activates at once
    UpdateWindow(window);
    UpdateWindow(window);  // validated: nothing more to paint
    EXPECT_EQ(g_received, (Messages{{WM_CREATE, 0}, {WM_ACTIVATE, WA_ACTIVE}, {WM_PAINT, 0}}));
    EXPECT_TRUE(platform_linux::WindowIsActive(window));
    EXPECT_FALSE(SDL_GetWindowFlags(platform_linux::SdlWindowOf(window)) & SDL_WINDOW_HIDDEN);
    EXPECT_EQ(focus, (decltype(focus){{window, true}}));

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

    g_received.clear();
    PushWindowEvent(window, SDL_WINDOWEVENT_CLOSE);
    EXPECT_EQ(7, RunLoop());
    EXPECT_EQ(g_received, (Messages{{WM_CLOSE, 0}, {WM_DESTROY, 0}}));
    EXPECT_EQ(nullptr, platform_linux::SdlWindowOf(window));
    EXPECT_FALSE(DestroyWindow(window));

    window = Make();  // a quit event closes the main window like its button
    ShowWindow(window, SW_SHOW);
    SDL_Event quit{SDL_QUIT};
    SDL_PushEvent(&quit);
    EXPECT_EQ(7, RunLoop());
    EXPECT_EQ(nullptr, platform_linux::SdlWindowOf(window));
}

TEST(WindowSystemTest, Direct3D8MessageBoxAndTimer) {
    HWND window = Make();  // Direct3D 8 is loaded after a window exists
    EXPECT_EQ(nullptr, LoadLibraryA("OPENGL32.DLL"));
    HMODULE library = LoadLibraryA("d3d8.DLL");
    ASSERT_NE(nullptr, library);
    EXPECT_TRUE(FreeLibrary(library));
    setenv("TUNDRA_HIDE_D3D8", "1", 1);
    EXPECT_EQ(nullptr, LoadLibraryA("D3D8.DLL"));
    unsetenv("TUNDRA_HIDE_D3D8");
    DestroyWindow(window);
    RunLoop(50);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(IDOK, MessageBoxA(nullptr, "the text", "the caption", MB_OK | MB_ICONERROR));
    EXPECT_EQ("the caption\nthe text\n", ::testing::internal::GetCapturedStderr());
    const DWORD before = timeGetTime();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_GE(timeGetTime() - before, 29u);
    EXPECT_LT(timeGetTime() - before, 1000u);
}

}  // namespace
