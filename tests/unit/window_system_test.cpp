// The Win32 window system on SDL (offscreen driver): classes, windows and
// their client areas, activation, painting, closing, modules, timer, paths.
#include "platform/linux/internal.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

std::vector<std::pair<UINT, WPARAM>> g_received;
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

HWND Make(DWORD style, int width, int height, int* clientWidth = nullptr,
          int* clientHeight = nullptr) {
    static const bool registered = [] {
        WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = RecordingProc;
        windowClass.lpszClassName = "TestClass";
        return RegisterClassExA(&windowClass) != 0;
    }();
    EXPECT_TRUE(registered);
    HWND window = CreateWindowExA(0, "testclass", "Tundra", style, 0, 0, width, height,
                                  GetDesktopWindow(), nullptr, GetModuleHandleA(nullptr), nullptr);
    if (clientWidth)
        SDL_GetWindowSize(platform_linux::SdlWindowOf(window), clientWidth, clientHeight);
    return window;
}

void PushWindowEvent(HWND window, Uint8 type) {
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.event = type;
    event.window.windowID = SDL_GetWindowID(platform_linux::SdlWindowOf(window));
    SDL_PushEvent(&event);
}

// Client areas Windows (Wine 8's classic metrics) gives 800 x 600 windows;
// a window smaller than its frame keeps one pixel.
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
    for (const auto& [style, width, height, clientWidth, clientHeight] : rows) {
        g_received.clear();
        int w = 0, h = 0;
        HWND window = Make(style, width, height, &w, &h);
        EXPECT_EQ(clientWidth * 10000 + clientHeight, w * 10000 + h) << std::hex << style;
        SDL_Window* sdl = platform_linux::SdlWindowOf(window);
        EXPECT_STREQ("Tundra", SDL_GetWindowTitle(sdl));
        EXPECT_EQ(SDL_WINDOW_HIDDEN | SDL_WINDOW_OPENGL,
                  SDL_GetWindowFlags(sdl) & (SDL_WINDOW_HIDDEN | SDL_WINDOW_OPENGL));
        EXPECT_EQ(window, platform_linux::WindowFromSdlId(SDL_GetWindowID(sdl)));
        EXPECT_EQ(g_received, (decltype(g_received){{WM_CREATE, 0}}));
        DestroyWindow(window);
    }
    RunLoop(50);
}

TEST(WindowSystemTest, ClassesNeedTheRightSizeAndAreUnregisteredLast) {
    HWND window = Make(WS_OVERLAPPEDWINDOW, 100, 100);
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = 48;  // the 32-bit size: refused on 64 bits
    windowClass.lpfnWndProc = RecordingProc;
    windowClass.lpszClassName = "Other";
    EXPECT_EQ(0, RegisterClassExA(&windowClass));
    windowClass.cbSize = sizeof(WNDCLASSEXA);
    windowClass.lpszClassName = "TESTCLASS";  // names ignore case
    EXPECT_EQ(0, RegisterClassExA(&windowClass));
    EXPECT_EQ(nullptr, CreateWindowExA(0, "Unknown", "x", 0, 0, 0, 9, 9, 0, 0, 0, 0));
    EXPECT_FALSE(UnregisterClassA("TestClass", nullptr));  // a window of it exists
    DestroyWindow(window);
    RunLoop(50);
}

TEST(WindowSystemTest, ActivationPaintingClosingAndQuitting) {
    HWND window = Make(WS_OVERLAPPEDWINDOW, 100, 100);
    static std::vector<std::pair<HWND, bool>> focus;
    platform_linux::AddFocusListener([](HWND w, bool active) { focus.push_back({w, active}); });
    EXPECT_FALSE(platform_linux::WindowIsActive(window));
    g_received.clear();
    ShowWindow(window, SW_SHOWDEFAULT);  // activates at once
    UpdateWindow(window);
    UpdateWindow(window);  // validated: nothing more to paint
    EXPECT_EQ(g_received, (decltype(g_received){{WM_ACTIVATE, WA_ACTIVE}, {WM_PAINT, 0}}));
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
    EXPECT_GE(
        std::count(g_received.begin(), g_received.end(), std::make_pair(UINT(WM_PAINT), WPARAM(0))),
        2)
        << "the paint stays pending until validated";
    std::vector<std::pair<UINT, WPARAM>> activations;
    for (auto m : g_received)
        if (m.first == WM_ACTIVATE) activations.push_back(m);
    EXPECT_EQ(activations,
              (decltype(g_received){{WM_ACTIVATE, WA_INACTIVE}, {WM_ACTIVATE, WA_ACTIVE}}));
    ValidateRect(window, nullptr);
    g_validatePaint = true;

    static std::vector<Uint32> sunk;
    static int hookRuns = 0;
    platform_linux::SetInputEventSink(
        [](const SDL_Event& event) { return sunk.push_back(event.type), true; });
    platform_linux::AddPumpHook([] { ++hookRuns; });
    SDL_Event key{SDL_KEYDOWN};
    SDL_PushEvent(&key);
    MSG msg{};
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    platform_linux::SetInputEventSink(nullptr);
    EXPECT_EQ(sunk, std::vector<Uint32>{SDL_KEYDOWN});
    EXPECT_EQ(hookRuns, 1);

    g_received.clear();
    PushWindowEvent(window, SDL_WINDOWEVENT_CLOSE);
    EXPECT_EQ(7, RunLoop());
    EXPECT_EQ(g_received, (decltype(g_received){{WM_CLOSE, 0}, {WM_DESTROY, 0}}));
    EXPECT_EQ(nullptr, platform_linux::SdlWindowOf(window));
    EXPECT_FALSE(DestroyWindow(window));

    window = Make(WS_OVERLAPPEDWINDOW, 100, 100);  // a quit event closes it like its button
    ShowWindow(window, SW_SHOW);
    SDL_Event quit{SDL_QUIT};
    SDL_PushEvent(&quit);
    EXPECT_EQ(7, RunLoop());
    EXPECT_EQ(nullptr, platform_linux::SdlWindowOf(window));
}

TEST(WindowSystemTest, ModulesMessageBoxTimerAndPaths) {
    HWND window =
        Make(WS_OVERLAPPEDWINDOW, 100, 100);  // Direct3D 8 is loaded after a window exists
    EXPECT_EQ(nullptr, LoadLibraryA("OPENGL32.DLL"));
    HMODULE library = LoadLibraryA("d3d8.DLL");
    ASSERT_NE(nullptr, library);
    EXPECT_TRUE(FreeLibrary(library));
    setenv("TUNDRA_HIDE_D3D8", "1", 1);
    EXPECT_EQ(nullptr, LoadLibraryA("D3D8.DLL"));
    unsetenv("TUNDRA_HIDE_D3D8");
    DestroyWindow(window);
    RunLoop(50);

    EXPECT_TRUE(GetModuleHandleA(nullptr) &&
                GetModuleHandleA(nullptr) == GetModuleHandleA(nullptr));
    EXPECT_EQ(nullptr, GetModuleHandleA("other.dll"));
    EXPECT_NE(nullptr, GetDesktopWindow());
    EXPECT_EQ(nullptr, platform_linux::SdlWindowOf(GetDesktopWindow()));
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(IDOK, MessageBoxA(nullptr, "the text", "the caption", MB_OK | MB_ICONERROR));
    EXPECT_EQ("the caption\nthe text\n", ::testing::internal::GetCapturedStderr());
    const DWORD before = timeGetTime();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_GE(timeGetTime() - before, 29u);
    EXPECT_LT(timeGetTime() - before, 1000u);
    EXPECT_EQ("data/default.cfg", NativePath("data\\default.cfg"));
    EXPECT_EQ("a/b/c", NativePath("a\\b/c"));
}

}  // namespace
