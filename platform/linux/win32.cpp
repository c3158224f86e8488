// The Win32 window system on SDL2: window classes, windows, one message
// queue, activation, painting, the message box and module handles.
//
// Every HWND is an SDL window. Messages that Windows sends (WM_CREATE,
// WM_DESTROY, the activation of ShowWindow, the paint of UpdateWindow) call
// the window procedure at once; messages that come from SDL events are queued
// and reach the procedure through PeekMessageA and DispatchMessageA.
#include "win32.h"

#include "internal.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace {

struct WindowRecord {
    SDL_Window* sdl = nullptr;
    WNDPROC proc = nullptr;
    std::string className;
    bool visible = false;
    bool needsPaint = false;
    bool emptyWidth = false;  // the client area has no columns (or no rows)
    bool emptyHeight = false;
};

struct WindowSystem {
    std::map<std::string, WNDPROC> classes;  // keyed by lower-case name
    std::map<HWND, WindowRecord> windows;
    std::vector<SDL_Window*> retiredSdlWindows;
    std::deque<MSG> queue;
    uintptr_t nextHandle = 0x10000;
    ATOM nextAtom = 0xC000;
    HWND mainWindow = nullptr;
    HWND activeWindow = nullptr;
    bool quitPosted = false;
    int quitCode = 0;
    int cursorCount = 0;
    bool pumping = false;
    bool anyWindowShown = false;
    platform_linux::InputEventSink inputSink = nullptr;
    std::vector<platform_linux::FocusListener> focusListeners;
    std::vector<platform_linux::PumpHook> pumpHooks;
};

// Function-local so that windows can be made from any static initialiser.
WindowSystem& System() {
    static WindowSystem* system = new WindowSystem;  // lives until exit
    return *system;
}

// Fixed handles for the things that are not SDL windows.
HWND const kDesktopWindow = reinterpret_cast<HWND>(uintptr_t{0x10});
HINSTANCE const kProcessModule = reinterpret_cast<HINSTANCE>(uintptr_t{0x400000});
HMODULE const kD3D8Module = reinterpret_cast<HMODULE>(uintptr_t{0x6D000000});

std::string Lowercase(const char* text) {
    std::string result = text ? text : "";
    for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

WindowRecord* Find(HWND window) {
    auto it = System().windows.find(window);
    return it == System().windows.end() ? nullptr : &it->second;
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowRecord* record = Find(window);
    if (!record || !record->proc) return 0;
    return record->proc(window, message, wParam, lParam);
}

void Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG msg{};
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = timeGetTime();
    System().queue.push_back(msg);
}

bool EnsureVideo() {
    if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "SDL video initialisation failed: %s\n", SDL_GetError());
        return false;
    }
    SDL_ShowCursor(System().cursorCount >= 0 ? SDL_ENABLE : SDL_DISABLE);
    return true;
}

// Activation changes are sent only when the state really changes, so that a
// focus event arriving after ShowWindow's own activation is not repeated.
void SetActive(HWND window, bool active, bool sendNow) {
    WindowSystem& system = System();
    bool isActive = system.activeWindow == window;
    if (isActive == active) return;
    system.activeWindow = active ? window : nullptr;
    WPARAM state = active ? WA_ACTIVE : WA_INACTIVE;
    if (sendNow) Send(window, WM_ACTIVATE, state, 0);
    else Post(window, WM_ACTIVATE, state, 0);
    for (platform_linux::FocusListener listener : system.focusListeners) listener(window, active);
}

bool IsInputEvent(Uint32 type) {
    switch (type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP:
        case SDL_TEXTINPUT:
        case SDL_TEXTEDITING:
        case SDL_MOUSEMOTION:
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
        case SDL_MOUSEWHEEL: return true;
        default: return false;
    }
}

void HandleWindowEvent(const SDL_WindowEvent& event) {
    HWND window = platform_linux::WindowFromSdlId(event.windowID);
    if (!window) return;
    switch (event.event) {
        case SDL_WINDOWEVENT_CLOSE: Post(window, WM_CLOSE, 0, 0); break;
        case SDL_WINDOWEVENT_FOCUS_GAINED: SetActive(window, true, false); break;
        case SDL_WINDOWEVENT_FOCUS_LOST: SetActive(window, false, false); break;
        case SDL_WINDOWEVENT_EXPOSED: Find(window)->needsPaint = true; break;
        default: break;
    }
}

void HandleEvent(const SDL_Event& event) {
    WindowSystem& system = System();
    if (IsInputEvent(event.type)) {
        if (system.inputSink) system.inputSink(event);
        return;
    }
    if (event.type == SDL_WINDOWEVENT) {
        HandleWindowEvent(event.window);
    } else if (event.type == SDL_QUIT) {
        // SIGINT, SIGTERM or the last window closing: close the main window
        // as its title-bar button would.
        if (system.mainWindow) Post(system.mainWindow, WM_CLOSE, 0, 0);
    }
}

bool Matches(const MSG& msg, HWND window, UINT filterMin, UINT filterMax) {
    if (window && msg.hwnd != window) return false;
    if (filterMin == 0 && filterMax == 0) return true;
    return msg.message >= filterMin && msg.message <= filterMax;
}

// Like Windows, WM_PAINT is made when nothing else waits and stays pending
// until the window is validated; removing it does not validate it.
bool TakePaint(MSG* msg, HWND window, UINT filterMin, UINT filterMax) {
    for (auto& [handle, record] : System().windows) {
        if (!record.needsPaint || !record.visible) continue;
        MSG paint{};
        paint.hwnd = handle;
        paint.message = WM_PAINT;
        paint.time = timeGetTime();
        if (!Matches(paint, window, filterMin, filterMax)) continue;
        *msg = paint;
        return true;
    }
    return false;
}

bool HeadlessVideo() {
    const char* driver = SDL_WasInit(SDL_INIT_VIDEO) ? SDL_GetCurrentVideoDriver()
                                                     : std::getenv("SDL_VIDEODRIVER");
    if (driver &&
        (SDL_strcasecmp(driver, "offscreen") == 0 || SDL_strcasecmp(driver, "dummy") == 0))
        return true;
    return !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY");
}

bool D3D8Hidden() {
    const char* hide = std::getenv("TUNDRA_HIDE_D3D8");
    return hide && *hide && std::strcmp(hide, "0") != 0;
}

}  // namespace

// --- window classes ---------------------------------------------------------

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* windowClass) {
    if (!windowClass || windowClass->cbSize != sizeof(WNDCLASSEXA) || !windowClass->lpfnWndProc ||
        !windowClass->lpszClassName)
        return 0;
    std::string key = Lowercase(windowClass->lpszClassName);
    if (key.empty() || System().classes.count(key)) return 0;
    System().classes[key] = windowClass->lpfnWndProc;
    return System().nextAtom++;
}

BOOL WINAPI UnregisterClassA(LPCSTR className, HINSTANCE) {
    std::string key = Lowercase(className);
    WindowSystem& system = System();
    if (!system.classes.count(key)) return FALSE;
    for (const auto& entry : system.windows)
        if (entry.second.className == key) return FALSE;  // windows of it still exist
    system.classes.erase(key);
    return TRUE;
}

// --- windows ------------------------------------------------------------------

namespace {

// The surface every window gets: 8-bit colour channels and a 24-bit depth
// buffer with 8 stencil bits, the usual Direct3D back buffer, so a device can
// draw straight into the window. Set before each window is made, always to the
// same values: a context cannot be made current on EGL once the attributes
// differ from those its window was made with.
void RequestWindowSurface() {
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
}

// The size CreateWindowExA takes is the outer window, frame and title bar
// included; the SDL window is only the client area inside them. The frame
// follows the classic Windows metrics (Wine's too): a thick or dialog frame
// has a 2-pixel outer edge, a sizing frame adds 1, a border or dialog frame
// 1 more, and a title bar takes 19 rows. As on Windows, an overlapped (not
// pop-up, not child) window always has a title bar, and a window too small
// for its frame has an empty client area.
void ShrinkToClientArea(DWORD style, int& width, int& height) {
    if (!(style & (WS_POPUP | WS_CHILD))) style |= WS_CAPTION;
    int frame = 0;
    if (style & (WS_THICKFRAME | WS_DLGFRAME)) frame += 2;
    if (style & WS_THICKFRAME) frame += 1;
    if (style & (WS_BORDER | WS_DLGFRAME)) frame += 1;
    const int caption = (style & WS_CAPTION) == WS_CAPTION ? 19 : 0;
    width = std::max(0, width - 2 * frame);
    height = std::max(0, height - 2 * frame - caption);
}

}  // namespace

HWND WINAPI CreateWindowExA(DWORD, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                            int width, int height, HWND, HMENU, HINSTANCE, LPVOID) {
    WindowSystem& system = System();
    std::string key = Lowercase(className);
    auto cls = system.classes.find(key);
    if (cls == system.classes.end() || !EnsureVideo()) return nullptr;

    // Nonsense sizes from a bad configuration are kept within what a window
    // can be.
    const int kLargest = 16384;
    width = std::clamp(width, 1, kLargest);
    height = std::clamp(height, 1, kLargest);
    ShrinkToClientArea(style, width, height);
    if (x == CW_USEDEFAULT) x = SDL_WINDOWPOS_UNDEFINED;
    if (y == CW_USEDEFAULT) y = SDL_WINDOWPOS_UNDEFINED;
    RequestWindowSurface();
    SDL_Window* sdl = SDL_CreateWindow(windowName ? windowName : "", x, y, std::max(1, width),
                                       std::max(1, height), SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!sdl) {
        std::fprintf(stderr, "SDL_CreateWindow failed: %s\n", SDL_GetError());
        return nullptr;
    }
    HWND window = reinterpret_cast<HWND>(system.nextHandle);
    system.nextHandle += 0x10;
    WindowRecord record;
    record.sdl = sdl;
    record.proc = cls->second;
    record.className = key;
    record.emptyWidth = width == 0;
    record.emptyHeight = height == 0;
    system.windows[window] = record;
    if (!system.mainWindow) system.mainWindow = window;

    if (Send(window, WM_CREATE, 0, 0) == -1) {
        DestroyWindow(window);
        return nullptr;
    }
    return window;
}

BOOL WINAPI DestroyWindow(HWND window) {
    WindowSystem& system = System();
    WindowRecord* record = Find(window);
    if (!record) return FALSE;
    Send(window, WM_DESTROY, 0, 0);
    record = Find(window);  // the procedure may have changed the table
    if (!record) return TRUE;
    // The SDL window is hidden, not destroyed: a device made on it may still
    // hold it until the device is released.
    SDL_HideWindow(record->sdl);
    system.retiredSdlWindows.push_back(record->sdl);
    system.windows.erase(window);
    if (system.activeWindow == window) system.activeWindow = nullptr;
    if (system.mainWindow == window) system.mainWindow = nullptr;
    auto& queue = system.queue;
    queue.erase(std::remove_if(queue.begin(), queue.end(),
                               [window](const MSG& m) { return m.hwnd == window; }),
                queue.end());
    return TRUE;
}

BOOL WINAPI ShowWindow(HWND window, int command) {
    WindowRecord* record = Find(window);
    if (!record) return FALSE;
    BOOL wasVisible = record->visible ? TRUE : FALSE;
    if (command == SW_HIDE) {
        SDL_HideWindow(record->sdl);
        record->visible = false;
        SetActive(window, false, true);
        return wasVisible;
    }
    SDL_ShowWindow(record->sdl);
    record->visible = true;
    System().anyWindowShown = true;
    if (!wasVisible) record->needsPaint = true;
    // Showing a top-level window activates it, and Windows sends WM_ACTIVATE
    // before ShowWindow returns. The offscreen driver has no focus events, so
    // the activation is made here.
    SDL_RaiseWindow(record->sdl);
    SetActive(window, true, true);
    return wasVisible;
}

BOOL WINAPI UpdateWindow(HWND window) {
    WindowRecord* record = Find(window);
    if (!record) return FALSE;
    if (record->visible && record->needsPaint) Send(window, WM_PAINT, 0, 0);
    return TRUE;
}

BOOL WINAPI ValidateRect(HWND window, const RECT*) {
    WindowRecord* record = Find(window);
    if (!record) return FALSE;
    record->needsPaint = false;
    return TRUE;
}

HWND WINAPI GetDesktopWindow() { return kDesktopWindow; }

// --- messages ---------------------------------------------------------------

BOOL WINAPI PeekMessageA(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
    platform_linux::PumpEvents();
    WindowSystem& system = System();
    bool remove = (removeFlags & PM_REMOVE) != 0;
    for (auto it = system.queue.begin(); it != system.queue.end(); ++it) {
        if (!Matches(*it, window, filterMin, filterMax)) continue;
        *msg = *it;
        if (remove) system.queue.erase(it);
        return TRUE;
    }
    bool quitWanted = (filterMin == 0 && filterMax == 0) ||
                      (WM_QUIT >= filterMin && WM_QUIT <= filterMax);
    if (system.quitPosted && quitWanted) {
        *msg = MSG{};
        msg->message = WM_QUIT;
        msg->wParam = static_cast<WPARAM>(system.quitCode);
        msg->time = timeGetTime();
        if (remove) system.quitPosted = false;
        return TRUE;
    }
    return TakePaint(msg, window, filterMin, filterMax) ? TRUE : FALSE;
}

BOOL WINAPI TranslateMessage(const MSG*) { return FALSE; }

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
    if (!msg) return 0;
    return Send(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT WINAPI DefWindowProcA(HWND window, UINT message, WPARAM, LPARAM) {
    switch (message) {
        case WM_CLOSE: DestroyWindow(window); return 0;
        case WM_PAINT: ValidateRect(window, nullptr); return 0;
        default: return 0;
    }
}

void WINAPI PostQuitMessage(int exitCode) {
    System().quitPosted = true;
    System().quitCode = exitCode;
}

// --- cursor, message box, modules ---------------------------------------------

int WINAPI ShowCursor(BOOL show) {
    int& count = System().cursorCount;
    count += show ? 1 : -1;
    if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_ShowCursor(count >= 0 ? SDL_ENABLE : SDL_DISABLE);
    return count;
}

int WINAPI MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
    text = text ? text : "";
    caption = caption ? caption : "Error";
    if (!HeadlessVideo()) {
        Uint32 flags = (type & MB_ICONERROR) ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
        if (SDL_ShowSimpleMessageBox(flags, caption, text, nullptr) == 0) return IDOK;
    }
    // No one could click a box: tell the terminal and carry on at once.
    std::fprintf(stderr, "%s\n%s\n", caption, text);
    return IDOK;
}

HMODULE WINAPI LoadLibraryA(LPCSTR fileName) {
    if (Lowercase(fileName) != "d3d8.dll") return nullptr;
    if (D3D8Hidden() || !platform_linux::GlDirect3DAvailable()) return nullptr;
    return kD3D8Module;
}

BOOL WINAPI FreeLibrary(HMODULE module) { return module == kD3D8Module ? TRUE : FALSE; }

HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName) { return moduleName ? nullptr : kProcessModule; }

// --- seams for the rest of the Linux platform ---------------------------------

namespace platform_linux {

SDL_Window* SdlWindowOf(HWND window) {
    WindowRecord* record = Find(window);
    return record ? record->sdl : nullptr;
}

HWND WindowFromSdlId(Uint32 windowId) {
    for (const auto& [handle, record] : System().windows)
        if (SDL_GetWindowID(record.sdl) == windowId) return handle;
    return nullptr;
}

bool WindowIsActive(HWND window) { return window && System().activeWindow == window; }

void SetInputEventSink(InputEventSink sink) { System().inputSink = sink; }

void AddFocusListener(FocusListener listener) {
    if (listener) System().focusListeners.push_back(listener);
}

bool ClientAreaOf(HWND window, int& width, int& height) {
    const WindowRecord* record = Find(window);
    if (!record) return false;
    SDL_GetWindowSize(record->sdl, &width, &height);
    // Until something resizes it, an empty side keeps its one-pixel stand-in.
    if (record->emptyWidth && width == 1) width = 0;
    if (record->emptyHeight && height == 1) height = 0;
    return true;
}

bool AnyWindowEverShown() { return System().anyWindowShown; }

void AddPumpHook(PumpHook hook) {
    if (hook) System().pumpHooks.push_back(hook);
}

void PumpEvents() {
    WindowSystem& system = System();
    if (system.pumping) return;  // a hook or sink that pumps again is ignored
    system.pumping = true;
    if (SDL_WasInit(SDL_INIT_VIDEO)) {
        SDL_Event event;
        while (SDL_PollEvent(&event)) HandleEvent(event);
    }
    // By index: a hook may add another, which then runs in this pump too.
    for (size_t i = 0; i < system.pumpHooks.size(); ++i) system.pumpHooks[i]();
    system.pumping = false;
}

}  // namespace platform_linux
