// A shown (and so active) top-level window for tests of the input devices,
// made through the platform's window system. With SDL's offscreen driver it
// needs no display.
#pragma once

#include "platform/platform.h"

class ActiveWindow {
public:
    ActiveWindow() {
        WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = Procedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "TundraInputTest";
        RegisterClassExA(&windowClass);
        handle_ = CreateWindowExA(0, "TundraInputTest", "input test", WS_OVERLAPPEDWINDOW, 0, 0, 64,
                                  48, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ShowWindow(handle_, SW_SHOWDEFAULT);
    }
    ~ActiveWindow() { DestroyWindow(handle_); }
    ActiveWindow(const ActiveWindow&) = delete;
    ActiveWindow& operator=(const ActiveWindow&) = delete;

    HWND handle() const { return handle_; }
    // Hiding deactivates the window, showing activates it again.
    void deactivate() { ShowWindow(handle_, SW_HIDE); }
    void activate() { ShowWindow(handle_, SW_SHOW); }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        return DefWindowProcA(window, message, wParam, lParam);
    }
    HWND handle_ = nullptr;
};
