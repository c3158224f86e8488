// Keyboard and mouse: two DirectInput devices in buffered mode, read once per
// frame, ordered by time stamp across both devices and turned into press,
// hold and release calls of the bound handlers.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <vector>

// Which device an event or a binding belongs to; held as a 32-bit integer.
enum class DeviceKind : int32_t { Key = 0, MouseButton = 1, MouseAxis = 2 };

// A handler gets a held time in milliseconds (keys, buttons) or a signed
// movement count (mouse axes, to be read as a signed 32-bit number).
using InputHandler = void (*)(DWORD);

// One row of the binding table.
struct InputBinding {
    DWORD code;  // scan code (DIK_) or mouse data offset (DIMOFS_)
    DeviceKind kind;
    InputHandler handler;
    bool onReleaseOnly;  // false: also called every frame while held
};

// One buffered device record as the frame keeps it.
struct InputEvent {
    DWORD code;  // dwOfs
    DWORD data;  // 0x80 set = pressed (keys, buttons); signed count (axes)
    DWORD time;  // dwTimeStamp, timeGetTime milliseconds
    DeviceKind kind;
};

class Input {
public:
    // Opens DirectInput, the keyboard and the mouse for the given window.
    // Throws a const char* message when a step fails; only one Input can ever
    // be constructed per process.
    explicit Input(HWND window);
    virtual ~Input();

    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;

    // Whether an Input has ever been constructed in this process.
    static bool exists();

    void acquire();
    void unacquire();
    // The per-frame step: reads both devices and calls the handlers.
    void update();

    // The handlers of the binding table. They work on program-wide state only
    // (g_camera, the g_ flags, the position file), so they are class-level
    // operations: start-up calls Input::loadPosition(1) before any Input
    // object exists.
    static void quit(DWORD held);
    static void moveForward(DWORD held);
    static void moveBack(DWORD held);
    static void moveLeft(DWORD held);
    static void moveRight(DWORD held);
    static void moveUp(DWORD held);
    static void moveDown(DWORD held);
    static void turnLeft(DWORD held);
    static void turnRight(DWORD held);
    static void rollLeft(DWORD held);
    static void rollRight(DWORD held);
    static void mouseTurn(DWORD count);
    static void mousePitch(DWORD count);
    static void rightButton(DWORD held);
    static void toggleConsole(DWORD ignored);
    static void toggleFps(DWORD ignored);
    // The position file "data\posFile.pos" (camera/position_file.cpp).
    static void savePosition(DWORD ignored);
    static void loadPosition(DWORD ignored);

    static const float kTurnRate;   // radians per millisecond held
    static const float kMouseRate;  // radians per mouse count

private:
    void registerBindings();
    void addBinding(DWORD code, DeviceKind kind, InputHandler handler, bool onReleaseOnly);
    void openKeyboard(HWND window);
    void openMouse(HWND window);
    void releaseDevices();

    void readKeyboard(std::vector<InputEvent>& events);
    void readMouse(std::vector<InputEvent>& events);
    // Returns the result of GetDeviceData; records land in events.
    HRESULT readDevice(IDirectInputDevice8A* device, DeviceKind (*kindOf)(DWORD code),
                       std::vector<InputEvent>& events);
    void dispatch(const std::vector<InputEvent>& events);
    void handleEvent(const InputEvent& event);
    void handleHeld(DWORD now);
    void settleReleased(DWORD now, const BYTE* keyState);
    bool heldState(DeviceKind kind, DWORD code, bool*& down, DWORD*& since);
    const InputBinding* findBinding(DWORD code, DeviceKind kind) const;

    std::vector<InputBinding> bindings;
    // The records of one update, in time order; kept so no frame allocates.
    std::vector<InputEvent> frameEvents;
    bool keyDown[256] = {};
    bool buttonDown[4] = {};
    DWORD keyTime[256] = {};
    DWORD buttonTime[4] = {};
    IDirectInput8A* directInput = nullptr;
    IDirectInputDevice8A* keyboard = nullptr;
    IDirectInputDevice8A* mouse = nullptr;
    // The keyboard's state, taken when its buffer overflowed this frame.
    BYTE keyState[256] = {};
    bool keyStateKnown = false;

    static bool created;
};
