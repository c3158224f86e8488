// Input: opens the devices, reads their buffered records once per frame and
// drives the bound handlers with press, hold and release events.
#include "input/input.h"

#include "app/log.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

bool Input::created = false;

namespace {

constexpr DWORD kRecordsPerRead = 16;
constexpr DWORD kPressedBit = 0x80;
// A device that keeps answering "input lost" would otherwise hold the frame
// forever; a real one answers it once per loss.
constexpr int kMaxLostRetries = 100;

HRESULT AcquireUntilNotLost(IDirectInputDevice8A* device) {
    HRESULT result = device->Acquire();
    for (int retry = 1; result == DIERR_INPUTLOST && retry < kMaxLostRetries; ++retry)
        result = device->Acquire();
    return result;
}

HRESULT SetBufferSize(IDirectInputDevice8A* device, DWORD records) {
    DIPROPDWORD property{};
    property.diph.dwSize = sizeof(DIPROPDWORD);
    property.diph.dwHeaderSize = sizeof(DIPROPHEADER);
    property.diph.dwObj = 0;
    property.diph.dwHow = DIPH_DEVICE;
    property.dwData = records;
    return device->SetProperty(DIPROP_BUFFERSIZE, &property.diph);
}

DeviceKind KeyboardKind(DWORD) { return DeviceKind::Key; }

DeviceKind MouseKind(DWORD code) {
    return code >= DIMOFS_BUTTON0 && code <= DIMOFS_BUTTON3 ? DeviceKind::MouseButton
                                                            : DeviceKind::MouseAxis;
}

// Whether `later` comes after `earlier` on the wrapping millisecond clock.
bool IsAfter(DWORD later, DWORD earlier) { return static_cast<int32_t>(later - earlier) > 0; }

// Stable, so that records with equal stamps keep their device order. An
// insertion sort: a frame has at most 2 * kRecordsPerRead records, and
// std::stable_sort would take memory for them every frame.
void SortByTime(std::vector<InputEvent>& events) {
    const auto earlier = [](const InputEvent& a, const InputEvent& b) { return a.time < b.time; };
    for (auto next = events.begin(); next != events.end(); ++next)
        std::rotate(std::upper_bound(events.begin(), next, *next, earlier), next, next + 1);
}

}  // namespace

Input::Input(HWND window) {
    if (created) throw "tried to create 2 inputs. No go!";
    created = true;
    frameEvents.reserve(2 * kRecordsPerRead);

    registerBindings();
    if (FAILED(DirectInput8Create(GetModuleHandleA(nullptr), 0x0800, IID_IDirectInput8A,
                                  reinterpret_cast<LPVOID*>(&directInput), nullptr)))
        throw "Direct Input not available. You prolly need DX8.";
    // A failed step leaves no destructor to run: release what was opened so
    // far before the error text goes on to the caller.
    try {
        openKeyboard(window);
        openMouse(window);
    } catch (const char*) {
        releaseDevices();
        throw;
    }
}

void Input::openKeyboard(HWND window) {
    if (FAILED(directInput->CreateDevice(GUID_SysKeyboard, &keyboard, nullptr)))
        throw "Keyboard seems to be unavailable. Weird.";
    if (FAILED(keyboard->SetCooperativeLevel(window, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND)))
        throw "Couldn't set keyboard cooperative level!";
    if (FAILED(keyboard->SetDataFormat(&c_dfDIKeyboard)))
        throw "Couldn't set keyboard data format.";
    AcquireUntilNotLost(keyboard);

    // Keys held right now count as held from now on. A snapshot that fails
    // leaves every key up.
    BYTE state[256] = {};
    if (FAILED(keyboard->GetDeviceState(sizeof state, state)))
        std::fill(std::begin(state), std::end(state), BYTE{0});
    DWORD now = timeGetTime();
    for (size_t code = 0; code < std::size(keyDown); ++code) {
        keyDown[code] = (state[code] & kPressedBit) != 0;
        if (keyDown[code]) keyTime[code] = now;
    }

    keyboard->Unacquire();
    if (FAILED(SetBufferSize(keyboard, kRecordsPerRead)))
        throw "trouble in a bouble: can't set keyboard buffer. (sorry, but it's a nice rime)";
    keyboard->Acquire();
}

void Input::openMouse(HWND window) {
    if (FAILED(directInput->CreateDevice(GUID_SysMouse, &mouse, nullptr)))
        throw "Mouse seems to be missin'. Wha'd you do to it? Plug it out just to piss me off?!?";
    if (FAILED(mouse->SetDataFormat(&c_dfDIMouse))) throw "Couldn't set mouse data format.";
    if (FAILED(mouse->SetCooperativeLevel(window, DISCL_EXCLUSIVE | DISCL_FOREGROUND)))
        throw "Couldn't set mouse cooperative level!";
    if (FAILED(SetBufferSize(mouse, kRecordsPerRead)))
        throw "Coudn't set mouse buffer size. I'm stumped.";
    mouse->Acquire();
    std::fill(std::begin(buttonDown), std::end(buttonDown), false);
}

Input::~Input() { releaseDevices(); }

void Input::releaseDevices() {
    if (!directInput) return;
    if (keyboard) {
        keyboard->Unacquire();
        keyboard->Release();
        keyboard = nullptr;
    }
    if (mouse) {
        mouse->Unacquire();
        mouse->Release();
        mouse = nullptr;
    }
    directInput->Release();
    directInput = nullptr;
}

bool Input::exists() { return created; }

void Input::acquire() {
    if (keyboard) keyboard->Acquire();
    if (mouse) mouse->Acquire();
}

// Releases that happen while the window is inactive are never reported:
// everything held counts as released now.
void Input::unacquire() {
    if (keyboard) keyboard->Unacquire();
    if (mouse) mouse->Unacquire();
    settleReleased(timeGetTime(), nullptr);
}

void Input::update() {
    frameEvents.clear();  // keeps its room from the constructor
    keyStateKnown = false;
    readKeyboard(frameEvents);
    readMouse(frameEvents);
    SortByTime(frameEvents);
    dispatch(frameEvents);
}

// The records lost to an overflow may hold releases; the keyboard's state
// tells which keys are up by now.
void Input::readKeyboard(std::vector<InputEvent>& events) {
    if (readDevice(keyboard, KeyboardKind, events) != DI_BUFFEROVERFLOW) return;
    Log << "Keyboard buffer overflow! " << std::endl;
    keyStateKnown = SUCCEEDED(keyboard->GetDeviceState(sizeof keyState, keyState));
}

void Input::readMouse(std::vector<InputEvent>& events) { readDevice(mouse, MouseKind, events); }

HRESULT Input::readDevice(IDirectInputDevice8A* device, DeviceKind (*kindOf)(DWORD code),
                          std::vector<InputEvent>& events) {
    if (!device) return DIERR_NOTINITIALIZED;
    AcquireUntilNotLost(device);
    DIDEVICEOBJECTDATA records[kRecordsPerRead];
    DWORD count = kRecordsPerRead;
    HRESULT result = device->GetDeviceData(sizeof(DIDEVICEOBJECTDATA), records, &count, 0);
    if (result == DIERR_INPUTLOST) AcquireUntilNotLost(device);
    if (FAILED(result)) return result;  // a failed read delivers nothing
    count = std::min(count, kRecordsPerRead);
    for (DWORD i = 0; i < count; ++i) {
        const DIDEVICEOBJECTDATA& record = records[i];
        events.push_back({record.dwOfs, record.dwData, record.dwTimeStamp, kindOf(record.dwOfs)});
    }
    return result;
}

void Input::dispatch(const std::vector<InputEvent>& events) {
    for (const InputEvent& event : events) handleEvent(event);
    const DWORD now = timeGetTime();
    if (keyStateKnown) settleReleased(now, keyState);
    handleHeld(now);
}

// Keys and buttons whose release was never read (all of them without a
// keyboard state, else the keys that state shows up) count as released at
// `now`: the time held so far is handed over as a frame does, and
// release-only handlers stay quiet, as no release was seen.
void Input::settleReleased(DWORD now, const BYTE* state) {
    handleHeld(now);
    for (size_t code = 0; code < std::size(keyDown); ++code)
        if (!state || !(state[code] & kPressedBit)) keyDown[code] = false;
    if (!state) std::fill(std::begin(buttonDown), std::end(buttonDown), false);
}

// The held flag and accounting time of a key or button; false for codes
// that have none.
bool Input::heldState(DeviceKind kind, DWORD code, bool*& down, DWORD*& since) {
    if (kind == DeviceKind::Key && code < 256) {
        down = &keyDown[code];
        since = &keyTime[code];
        return true;
    }
    if (kind == DeviceKind::MouseButton && code >= DIMOFS_BUTTON0 && code <= DIMOFS_BUTTON3) {
        down = &buttonDown[code - DIMOFS_BUTTON0];
        since = &buttonTime[code - DIMOFS_BUTTON0];
        return true;
    }
    return false;
}

void Input::handleEvent(const InputEvent& event) {
    const InputBinding* binding = findBinding(event.code, event.kind);
    if (!binding) return;
    if (event.kind == DeviceKind::MouseAxis) {
        binding->handler(event.data);
        return;
    }
    bool* down = nullptr;
    DWORD* since = nullptr;
    if (!heldState(event.kind, event.code, down, since)) return;
    if (event.data & kPressedBit) {
        *down = true;
        *since = event.time;
        return;
    }
    // A release hands over the time since the last accounting. A release of
    // something not counted as held (its press was lost), or stamped before
    // the last accounting, has no time left to hand over.
    DWORD held = *down && IsAfter(event.time, *since) ? event.time - *since : 0;
    *down = false;
    binding->handler(held);
}

void Input::handleHeld(DWORD now) {
    for (const InputBinding& binding : bindings) {
        if (binding.onReleaseOnly) continue;
        bool* down = nullptr;
        DWORD* since = nullptr;
        if (!heldState(binding.kind, binding.code, down, since) || !*down) continue;
        // The accounting time only moves forward, so that the calls add up
        // to the held time even for a press stamped after the frame clock.
        if (!IsAfter(now, *since)) continue;
        binding.handler(now - *since);
        *since = now;
    }
}

const InputBinding* Input::findBinding(DWORD code, DeviceKind kind) const {
    for (const InputBinding& binding : bindings)
        if (binding.code == code && binding.kind == kind) return &binding;
    return nullptr;
}
