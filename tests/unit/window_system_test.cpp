// The Win32 window system on SDL (offscreen driver): classes, windows,
// activation, painting, closing and quitting, modules, timer and paths.
#include "platform/linux/internal.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Received {
    HWND window;
    UINT message;
    WPARAM wParam;
};

std::vector<Received> g_received;
bool g_validatePaint = true;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    g_received.push_back({window, message, wParam});
    if (message == WM_DESTROY) PostQuitMessage(7);
    if (message == WM_PAINT && g_validatePaint) ValidateRect(window, nullptr);
    if (message == WM_PAINT) return 0;
    return DefWindowProcA(window, message, wParam, lParam);
}

std::vector<UINT> MessagesSince(size_t first) {
    std::vector<UINT> messages;
    for (size_t i = first; i < g_received.size(); ++i) messages.push_back(g_received[i].message);
    return messages;
}

// Runs the usual loop until WM_QUIT (or the step limit) and returns its code.
int RunLoop(int limit = 1000) {
    MSG msg{};
    for (int step = 0; step < limit && msg.message != WM_QUIT; ++step) {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return msg.message == WM_QUIT ? static_cast<int>(msg.wParam) : -1;
}

void PushWindowEvent(HWND window, Uint8 type) {
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.event = type;
    event.window.windowID = SDL_GetWindowID(platform_linux::SdlWindowOf(window));
    SDL_PushEvent(&event);
}

class WindowSystemTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof(WNDCLASSEXA);
        windowClass.lpfnWndProc = RecordingProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "TestClass";
        ASSERT_NE(0, RegisterClassExA(&windowClass));
    }

    void SetUp() override {
        g_received.clear();
        g_validatePaint = true;
        window = CreateWindowExA(0, "testclass", "Tundra", WS_OVERLAPPEDWINDOW, 0, 0, 600, 450,
                                 GetDesktopWindow(), nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(nullptr, window);
    }
    void TearDown() override {
        DestroyWindow(window);
        RunLoop(50);  // drain what the test left behind, including WM_QUIT
    }

    HWND window = nullptr;
};

TEST_F(WindowSystemTest, WindowIsAHiddenSdlWindowOfTheGivenSizeAndTitle) {
    SDL_Window* sdl = platform_linux::SdlWindowOf(window);
    ASSERT_NE(nullptr, sdl);
    int width = 0, height = 0;
    SDL_GetWindowSize(sdl, &width, &height);
    // 600 x 450 is the outer size: the client area is what the sizing frame
    // (4 pixels a side) and the title bar (19) leave, as under Windows.
    EXPECT_EQ(592, width);
    EXPECT_EQ(423, height);
    EXPECT_STREQ("Tundra", SDL_GetWindowTitle(sdl));
    EXPECT_TRUE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_HIDDEN);
    EXPECT_TRUE(SDL_GetWindowFlags(sdl) & SDL_WINDOW_OPENGL);
    EXPECT_EQ(window, platform_linux::WindowFromSdlId(SDL_GetWindowID(sdl)));
    EXPECT_EQ((std::vector<UINT>{WM_CREATE}), MessagesSince(0));
}

// Client areas Windows (Wine 8's classic metrics) gives 800 x 600 windows.
TEST_F(WindowSystemTest, ClientAreaIsTheOuterSizeLessFrameAndTitleBar) {
    struct Case {
        DWORD style;
        int width, height;
    };
    const Case cases[] = {{WS_OVERLAPPEDWINDOW, 792, 573},
                          {WS_OVERLAPPED, 794, 575},  // overlapped windows always get a title bar
                          {WS_CAPTION, 794, 575},
                          {WS_POPUP, 800, 600},
                          {WS_POPUP | WS_BORDER, 798, 598},
                          {WS_POPUP | WS_THICKFRAME, 794, 594},
                          {WS_POPUP | WS_DLGFRAME, 794, 594}};
    for (const Case& c : cases) {
        HWND other = CreateWindowExA(0, "testclass", "sized", c.style, 0, 0, 800, 600, nullptr,
                                     nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(nullptr, other);
        int width = 0, height = 0;
        SDL_GetWindowSize(platform_linux::SdlWindowOf(other), &width, &height);
        EXPECT_EQ(c.width, width) << std::hex << c.style;
        EXPECT_EQ(c.height, height) << std::hex << c.style;
        DestroyWindow(other);
    }
    // A window smaller than its frame keeps one pixel of client area.
    HWND tiny = CreateWindowExA(0, "testclass", "tiny", WS_OVERLAPPEDWINDOW, 0, 0, 5, 20, nullptr,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
    int width = 0, height = 0;
    SDL_GetWindowSize(platform_linux::SdlWindowOf(tiny), &width, &height);
    EXPECT_EQ(1, width);
    EXPECT_EQ(1, height);
    DestroyWindow(tiny);
}

TEST_F(WindowSystemTest, ClassesNeedTheRightSizeAndAreUnregisteredLast) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = 48;  // the 32-bit size: refused, as on 64-bit Windows
    windowClass.lpfnWndProc = RecordingProc;
    windowClass.lpszClassName = "Other";
    EXPECT_EQ(0, RegisterClassExA(&windowClass));
    windowClass.cbSize = sizeof(WNDCLASSEXA);
    windowClass.lpszClassName = "TESTCLASS";  // names ignore case
    EXPECT_EQ(0, RegisterClassExA(&windowClass));
    EXPECT_EQ(nullptr, CreateWindowExA(0, "Unknown", "x", 0, 0, 0, 10, 10, nullptr, nullptr,
                                       nullptr, nullptr));
    EXPECT_FALSE(UnregisterClassA("TestClass", nullptr));  // a window of it exists
}

TEST_F(WindowSystemTest, ShowWindowActivatesAtOnceAndUpdateWindowPaints) {
    EXPECT_FALSE(platform_linux::WindowIsActive(window));
    static std::vector<std::pair<HWND, bool>> focus;
    focus.clear();
    platform_linux::AddFocusListener([](HWND w, bool active) { focus.push_back({w, active}); });
    size_t before = g_received.size();
    ShowWindow(window, SW_SHOWDEFAULT);
    ASSERT_EQ((std::vector<UINT>{WM_ACTIVATE}), MessagesSince(before));
    EXPECT_EQ(static_cast<WPARAM>(WA_ACTIVE), g_received.back().wParam);
    EXPECT_TRUE(platform_linux::WindowIsActive(window));
    EXPECT_FALSE(SDL_GetWindowFlags(platform_linux::SdlWindowOf(window)) & SDL_WINDOW_HIDDEN);
    EXPECT_EQ((std::vector<std::pair<HWND, bool>>{{window, true}}), focus);

    before = g_received.size();
    UpdateWindow(window);
    EXPECT_EQ((std::vector<UINT>{WM_PAINT}), MessagesSince(before));
    UpdateWindow(window);  // validated: nothing more to paint
    EXPECT_EQ(before + 1, g_received.size());
}

TEST_F(WindowSystemTest, FocusEventsBecomeActivationMessages) {
    ShowWindow(window, SW_SHOW);
    size_t before = g_received.size();
    PushWindowEvent(window, SDL_WINDOWEVENT_FOCUS_LOST);
    PushWindowEvent(window, SDL_WINDOWEVENT_FOCUS_GAINED);
    PushWindowEvent(window, SDL_WINDOWEVENT_FOCUS_GAINED);  // no change: no message
    RunLoop(20);
    std::vector<Received> activations;
    for (size_t i = before; i < g_received.size(); ++i)
        if (g_received[i].message == WM_ACTIVATE) activations.push_back(g_received[i]);
    ASSERT_EQ(2u, activations.size());
    EXPECT_EQ(static_cast<WPARAM>(WA_INACTIVE), activations[0].wParam);
    EXPECT_EQ(static_cast<WPARAM>(WA_ACTIVE), activations[1].wParam);
}

TEST_F(WindowSystemTest, ClosingDestroysTheWindowAndQuits) {
    ShowWindow(window, SW_SHOW);
    size_t before = g_received.size();
    PushWindowEvent(window, SDL_WINDOWEVENT_CLOSE);
    EXPECT_EQ(7, RunLoop());
    std::vector<UINT> messages = MessagesSince(before);
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(static_cast<UINT>(WM_CLOSE), messages[messages.size() - 2]);
    EXPECT_EQ(static_cast<UINT>(WM_DESTROY), messages.back());
    EXPECT_EQ(nullptr, platform_linux::SdlWindowOf(window));
    EXPECT_FALSE(DestroyWindow(window));
}

TEST_F(WindowSystemTest, QuitEventClosesTheMainWindowLikeItsButton) {
    ShowWindow(window, SW_SHOW);
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    EXPECT_EQ(7, RunLoop());
    EXPECT_EQ(nullptr, platform_linux::SdlWindowOf(window));
}

TEST_F(WindowSystemTest, PaintStaysPendingUntilValidated) {
    ShowWindow(window, SW_SHOW);
    g_validatePaint = false;
    MSG msg{};
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(static_cast<UINT>(WM_PAINT), msg.message);
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(static_cast<UINT>(WM_PAINT), msg.message);
    ValidateRect(window, nullptr);
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST_F(WindowSystemTest, InputEventsGoToTheSinkAndHooksRunEveryPump) {
    static std::vector<Uint32> sunk;
    static int hookRuns = 0;
    sunk.clear();
    platform_linux::SetInputEventSink([](const SDL_Event& event) {
        sunk.push_back(event.type);
        return true;
    });
    platform_linux::AddPumpHook([] { ++hookRuns; });
    int runsBefore = hookRuns;
    SDL_Event key{};
    key.type = SDL_KEYDOWN;
    key.key.keysym.scancode = SDL_SCANCODE_W;
    SDL_PushEvent(&key);
    MSG msg{};
    PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
    platform_linux::SetInputEventSink(nullptr);
    EXPECT_EQ((std::vector<Uint32>{SDL_KEYDOWN}), sunk);
    EXPECT_EQ(runsBefore + 1, hookRuns);
}

// Loaded after a window exists, as the program does.
TEST_F(WindowSystemTest, Direct3D8LoadsByNameUnlessHidden) {
    EXPECT_EQ(nullptr, LoadLibraryA("OPENGL32.DLL"));
    unsetenv("TUNDRA_HIDE_D3D8");
    HMODULE library = LoadLibraryA("d3d8.DLL");
    ASSERT_NE(nullptr, library) << "Direct3D 8 on GL should be available headless";
    EXPECT_TRUE(FreeLibrary(library));
    setenv("TUNDRA_HIDE_D3D8", "1", 1);
    EXPECT_EQ(nullptr, LoadLibraryA("D3D8.DLL"));
    unsetenv("TUNDRA_HIDE_D3D8");
}

TEST(WindowSystemModulesTest, HeadlessMessageBoxWritesToStderrAndReturns) {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(IDOK, MessageBoxA(nullptr, "the text", "the caption", MB_OK | MB_ICONERROR));
    EXPECT_EQ("the caption\nthe text\n", ::testing::internal::GetCapturedStderr());
}

TEST(WindowSystemModulesTest, ModuleHandlesAndDesktop) {
    EXPECT_NE(nullptr, GetModuleHandleA(nullptr));
    EXPECT_EQ(GetModuleHandleA(nullptr), GetModuleHandleA(nullptr));
    EXPECT_EQ(nullptr, GetModuleHandleA("other.dll"));
    EXPECT_NE(nullptr, GetDesktopWindow());
    EXPECT_EQ(nullptr, platform_linux::SdlWindowOf(GetDesktopWindow()));
}

TEST(TimerTest, MillisecondsOfTheMonotonicClock) {
    DWORD before = timeGetTime();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    DWORD elapsed = timeGetTime() - before;
    EXPECT_GE(elapsed, 29u);
    EXPECT_LT(elapsed, 1000u);
}

TEST(NativePathTest, BackslashesBecomeSlashes) {
    EXPECT_EQ("data/default.cfg", NativePath("data\\default.cfg"));
    EXPECT_EQ("a/b/c", NativePath("a\\b/c"));
    EXPECT_EQ("", NativePath(""));
}

}  // namespace
