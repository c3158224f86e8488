// DirectInput 8 on SDL2: a keyboard and a mouse that keep buffered,
// time-stamped records while acquired, and acquisition that follows the
// activation of the window they cooperate with.
//
// SDL keyboard and mouse events reach us through the window system's input
// sink; fed records (a flight's, a test's) are queued and handed over at the
// end of the next pump, with the time stamps they were given.
#include "dinput8.h"

#include "com_object.h"
#include "internal.h"
#include "input_internal.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using platform_linux::DeviceType;
using platform_linux::InputRecord;

constexpr HRESULT kNotBuffered = static_cast<HRESULT>(0x80040207u);  // DIERR_NOTBUFFERED
constexpr DWORD kPeek = 1;                                           // DIGDD_PEEK
constexpr LONG kWheelDelta = 120;                                    // per notch, as Windows
constexpr BYTE kPressed = 0x80;

class LinuxInputDevice;

struct InputSystem {
    std::vector<LinuxInputDevice*> devices;
    BYTE keys[256] = {};   // current key states, 0x80 when down
    BYTE buttons[4] = {};  // current mouse button states
    DWORD sequence = 0;
    // Vectors that keep their capacity: no allocation per frame once warm.
    std::vector<InputRecord> fed;
    platform_linux::InputRecordListener recordListener = nullptr;
    bool hooked = false;
    bool clockKnown = false;
    DWORD clockOffset = 0;  // timeGetTime() - SDL_GetTicks()
};

InputSystem& Inputs() {
    static InputSystem* system = new InputSystem;  // lives until exit
    return *system;
}

bool IsButtonOffset(DWORD offset) { return offset >= DIMOFS_BUTTON0 && offset <= DIMOFS_BUTTON3; }

class LinuxInputDevice final : public platform_linux::ComObject<IDirectInputDevice8A> {
public:
    explicit LinuxInputDevice(DeviceType type) : type_(type) { Inputs().devices.push_back(this); }

    HRESULT SetProperty(REFGUID property, LPCDIPROPHEADER header) override {
        if (!header) return DIERR_INVALIDPARAM;
        if (property != DIPROP_BUFFERSIZE) return E_NOTIMPL;  // DIERR_UNSUPPORTED
        if (header->dwSize != sizeof(DIPROPDWORD) || header->dwHeaderSize != sizeof(DIPROPHEADER) ||
            header->dwHow != DIPH_DEVICE || header->dwObj != 0)
            return DIERR_INVALIDPARAM;
        if (acquired_) return DIERR_ACQUIRED;
        bufferSize_ = reinterpret_cast<const DIPROPDWORD*>(header)->dwData;
        buffer_.clear();
        overflowed_ = false;
        return DI_OK;
    }

    HRESULT Acquire() override {
        if (lost_) {
            lost_ = false;
            return DIERR_INPUTLOST;
        }
        if (!format_) return DIERR_INVALIDPARAM;
        if (acquired_) return S_FALSE;  // DI_NOEFFECT
        if ((cooperation_ & DISCL_FOREGROUND) && !platform_linux::WindowIsActive(window_))
            return DIERR_OTHERAPPHASPRIO;
        acquired_ = true;
        buffer_.clear();
        overflowed_ = false;
        std::fill(std::begin(axes_), std::end(axes_), 0);
        capturePointer(true);
        return DI_OK;
    }

    HRESULT Unacquire() override {
        if (!acquired_) return S_FALSE;  // DI_NOEFFECT
        acquired_ = false;
        capturePointer(false);
        return DI_OK;
    }

    HRESULT GetDeviceState(DWORD size, LPVOID data) override {
        if (!data || !format_ || size != format_->dwDataSize) return DIERR_INVALIDPARAM;
        platform_linux::PumpEvents();
        if (HRESULT unusable = readiness(); unusable != DI_OK) return unusable;
        if (type_ == DeviceType::Keyboard) {
            std::memcpy(data, Inputs().keys, 256);
        } else {
            DIMOUSESTATE state{axes_[0], axes_[1], axes_[2], {}};
            std::memcpy(state.rgbButtons, Inputs().buttons, 4);
            std::fill(std::begin(axes_), std::end(axes_), 0);  // relative: since the last read
            std::memcpy(data, &state, sizeof state);
        }
        return DI_OK;
    }

    HRESULT GetDeviceData(DWORD recordSize, LPDIDEVICEOBJECTDATA records, LPDWORD inOut,
                          DWORD flags) override {
        if (!inOut) return DIERR_INVALIDPARAM;
        DWORD room = *inOut;
        *inOut = 0;
        if (recordSize != sizeof(DIDEVICEOBJECTDATA)) return DIERR_INVALIDPARAM;
        platform_linux::PumpEvents();
        if (HRESULT unusable = readiness(); unusable != DI_OK) return unusable;
        if (bufferSize_ == 0) return kNotBuffered;
        DWORD count = static_cast<DWORD>(std::min<size_t>(room, buffer_.size()));
        for (DWORD i = 0; i < count; ++i)
            if (records) records[i] = buffer_[i];
        if (!(flags & kPeek)) buffer_.erase(buffer_.begin(), buffer_.begin() + count);
        *inOut = count;
        bool overflowed = overflowed_;
        if (!(flags & kPeek)) overflowed_ = false;
        return overflowed ? DI_BUFFEROVERFLOW : DI_OK;
    }

    HRESULT SetDataFormat(LPCDIDATAFORMAT format) override {
        if (acquired_) return DIERR_ACQUIRED;
        const DIDATAFORMAT* wanted = type_ == DeviceType::Keyboard ? &c_dfDIKeyboard : &c_dfDIMouse;
        if (!format || format->dwDataSize != wanted->dwDataSize) return DIERR_INVALIDPARAM;
        format_ = wanted;
        return DI_OK;
    }

    HRESULT SetCooperativeLevel(HWND window, DWORD flags) override {
        if (acquired_) return DIERR_ACQUIRED;
        bool exclusive = flags & DISCL_EXCLUSIVE, shared = flags & DISCL_NONEXCLUSIVE;
        bool foreground = flags & DISCL_FOREGROUND, background = flags & DISCL_BACKGROUND;
        if (exclusive == shared || foreground == background) return DIERR_INVALIDPARAM;
        if (foreground && !platform_linux::SdlWindowOf(window)) return DIERR_INVALIDPARAM;
        window_ = window;
        cooperation_ = flags;
        return DI_OK;
    }

    DeviceType type() const { return type_; }

    // A record from the keyboard or mouse; kept only while acquired.
    void receive(const InputRecord& record) {
        if (!acquired_) return;
        if (type_ == DeviceType::Mouse && !IsButtonOffset(record.offset) &&
            record.offset <= DIMOFS_Z)
            axes_[record.offset / 4] += static_cast<LONG>(record.data);
        if (bufferSize_ == 0) return;
        if (buffer_.size() >= bufferSize_) {
            overflowed_ = true;  // the newest record is the one lost
            return;
        }
        DIDEVICEOBJECTDATA kept{record.offset, record.data, record.time, Inputs().sequence++, 0};
        buffer_.push_back(kept);
    }

    // The window lost activation: a foreground device gives itself up and
    // tells its next user that the input was lost.
    void windowDeactivated(HWND window) {
        if (!acquired_ || window != window_ || !(cooperation_ & DISCL_FOREGROUND)) return;
        Unacquire();
        lost_ = true;
    }

private:
    ~LinuxInputDevice() override {
        if (acquired_) capturePointer(false);
        auto& devices = Inputs().devices;
        devices.erase(std::remove(devices.begin(), devices.end(), this), devices.end());
    }

    HRESULT readiness() {
        if (lost_) {
            lost_ = false;
            return DIERR_INPUTLOST;
        }
        return acquired_ ? DI_OK : DIERR_NOTACQUIRED;
    }

    // The exclusive foreground mouse owns the pointer: hidden and captured.
    void capturePointer(bool capture) {
        if (type_ != DeviceType::Mouse || !(cooperation_ & DISCL_EXCLUSIVE)) return;
        if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_SetRelativeMouseMode(capture ? SDL_TRUE : SDL_FALSE);
    }

    DeviceType type_;
    HWND window_ = nullptr;
    DWORD cooperation_ = 0;
    const DIDATAFORMAT* format_ = nullptr;
    DWORD bufferSize_ = 0;
    bool acquired_ = false;
    bool lost_ = false;
    bool overflowed_ = false;
    std::vector<DIDEVICEOBJECTDATA> buffer_;  // oldest first
    LONG axes_[3] = {};
};

// Updates the current states and hands the record to every device of its
// kind.
void Dispatch(const InputRecord& record) {
    InputSystem& system = Inputs();
    if (record.type == DeviceType::Keyboard)
        system.keys[record.offset & 0xFF] = static_cast<BYTE>(record.data & kPressed);
    else if (IsButtonOffset(record.offset))
        system.buttons[record.offset - DIMOFS_BUTTON0] = static_cast<BYTE>(record.data & kPressed);
    if (system.recordListener) system.recordListener(record);
    for (LinuxInputDevice* device : system.devices)
        if (device->type() == record.type) device->receive(record);
}

// SDL stamps events with SDL_GetTicks(); records carry timeGetTime(). The
// offset between the two clocks is measured once and measured again only
// when it moves by more than the rounding of two millisecond clocks (SDL
// restarted its clock).
DWORD ToTimerClock(Uint32 sdlTicks) {
    InputSystem& system = Inputs();
    DWORD offset = timeGetTime() - SDL_GetTicks();
    DWORD drift = offset - system.clockOffset;
    if (!system.clockKnown || (drift > 2 && drift < 0u - 2u)) {
        system.clockOffset = offset;
        system.clockKnown = true;
    }
    return sdlTicks + system.clockOffset;
}

// SDL's buttons 1 left, 2 middle, 3 right, 4 first extra; DirectInput orders
// them left, right, middle, extra.
int DirectInputButton(Uint8 sdlButton) {
    switch (sdlButton) {
        case SDL_BUTTON_LEFT: return 0;
        case SDL_BUTTON_RIGHT: return 1;
        case SDL_BUTTON_MIDDLE: return 2;
        case SDL_BUTTON_X1: return 3;
        default: return -1;
    }
}

void TranslateKey(const SDL_KeyboardEvent& key) {
    if (key.repeat) return;  // DirectInput has no auto-repeat
    BYTE dik = platform_linux::DikFromSdlScancode(key.keysym.scancode);
    if (dik == 0) return;
    DWORD data = key.state == SDL_PRESSED ? kPressed : 0;
    Dispatch({DeviceType::Keyboard, dik, data, ToTimerClock(key.timestamp)});
}

void TranslateMotion(const SDL_MouseMotionEvent& motion) {
    if (motion.which == SDL_TOUCH_MOUSEID) return;
    DWORD time = ToTimerClock(motion.timestamp);
    if (motion.xrel) Dispatch({DeviceType::Mouse, DIMOFS_X, static_cast<DWORD>(motion.xrel), time});
    if (motion.yrel) Dispatch({DeviceType::Mouse, DIMOFS_Y, static_cast<DWORD>(motion.yrel), time});
}

void TranslateButton(const SDL_MouseButtonEvent& button) {
    int index = DirectInputButton(button.button);
    if (index < 0 || button.which == SDL_TOUCH_MOUSEID) return;
    DWORD data = button.state == SDL_PRESSED ? kPressed : 0;
    Dispatch({DeviceType::Mouse, static_cast<DWORD>(DIMOFS_BUTTON0 + index), data,
              ToTimerClock(button.timestamp)});
}

void TranslateWheel(const SDL_MouseWheelEvent& wheel) {
    if (wheel.which == SDL_TOUCH_MOUSEID || wheel.y == 0) return;
    LONG notches = wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -wheel.y : wheel.y;
    Dispatch({DeviceType::Mouse, DIMOFS_Z, static_cast<DWORD>(notches * kWheelDelta),
              ToTimerClock(wheel.timestamp)});
}

bool ReceiveSdlEvent(const SDL_Event& event) {
    switch (event.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP: TranslateKey(event.key); return true;
        case SDL_MOUSEMOTION: TranslateMotion(event.motion); return true;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: TranslateButton(event.button); return true;
        case SDL_MOUSEWHEEL: TranslateWheel(event.wheel); return true;
        default: return false;
    }
}

void WindowFocusChanged(HWND window, bool active) {
    if (active) return;  // the program acquires again itself
    for (LinuxInputDevice* device : Inputs().devices) device->windowDeactivated(window);
}

// Keys already held when DirectInput opens count as down.
void SeedKeyStates() {
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return;
    int count = 0;
    const Uint8* held = SDL_GetKeyboardState(&count);
    for (int scancode = 0; scancode < count; ++scancode) {
        BYTE dik = platform_linux::DikFromSdlScancode(static_cast<SDL_Scancode>(scancode));
        if (held[scancode] && dik) Inputs().keys[dik] = kPressed;
    }
}

void HookPump() {
    InputSystem& system = Inputs();
    if (system.hooked) return;
    system.hooked = true;
    platform_linux::AddPumpHook(platform_linux::DeliverFedInput);
}

void Feed(const InputRecord& record) {
    HookPump();
    Inputs().fed.push_back(record);
}

class LinuxDirectInput final : public platform_linux::ComObject<IDirectInput8A> {
public:
    HRESULT CreateDevice(REFGUID guid, LPDIRECTINPUTDEVICE8A* device, LPUNKNOWN outer) override {
        if (!device) return DIERR_INVALIDPARAM;
        *device = nullptr;
        if (outer) return DIERR_NOINTERFACE;  // no aggregation
        if (guid == GUID_SysKeyboard) *device = new LinuxInputDevice(DeviceType::Keyboard);
        else if (guid == GUID_SysMouse) *device = new LinuxInputDevice(DeviceType::Mouse);
        else return DIERR_DEVICENOTREG;
        return DI_OK;
    }

private:
    ~LinuxDirectInput() override = default;
};

}  // namespace

HRESULT WINAPI DirectInput8Create(HINSTANCE, DWORD version, REFIID riid, LPVOID* out,
                                  LPUNKNOWN outer) {
    if (!out) return DIERR_INVALIDPARAM;
    *out = nullptr;
    if (version != 0x0800) return DIERR_INVALIDPARAM;  // DIERR_BETADIRECTINPUTVERSION and kin
    if (riid != IID_IDirectInput8A) return DIERR_NOINTERFACE;
    if (outer) return DIERR_NOINTERFACE;
    static bool installed = false;
    if (!installed) {
        installed = true;
        SeedKeyStates();
        platform_linux::SetInputEventSink(ReceiveSdlEvent);
        platform_linux::AddFocusListener(WindowFocusChanged);
        HookPump();
    }
    *out = static_cast<IDirectInput8A*>(new LinuxDirectInput);
    return DI_OK;
}

namespace platform_linux {

void DeliverFedInput() {
    std::vector<InputRecord>& fed = Inputs().fed;
    for (const InputRecord& record : fed) Dispatch(record);
    fed.clear();
}

void SetInputRecordListener(InputRecordListener listener) { Inputs().recordListener = listener; }

void FeedKey(DWORD dikCode, bool down, DWORD time) {
    if (dikCode > 0xFF) return;
    Feed({DeviceType::Keyboard, dikCode, down ? kPressed : 0u, time});
}

void FeedMouseMotion(LONG dx, LONG dy, DWORD time) {
    if (dx) Feed({DeviceType::Mouse, DIMOFS_X, static_cast<DWORD>(dx), time});
    if (dy) Feed({DeviceType::Mouse, DIMOFS_Y, static_cast<DWORD>(dy), time});
}

void FeedMouseWheel(LONG dz, DWORD time) {
    if (dz) Feed({DeviceType::Mouse, DIMOFS_Z, static_cast<DWORD>(dz), time});
}

void FeedMouseButton(int button, bool down, DWORD time) {
    if (button < 0 || button > 3) return;
    Feed({DeviceType::Mouse, static_cast<DWORD>(DIMOFS_BUTTON0 + button), down ? kPressed : 0u,
          time});
}

}  // namespace platform_linux
