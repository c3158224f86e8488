// The Linux DirectInput 8: device set-up rules, acquisition following window
// activation, buffered records and their overflow, key and mouse state, and
// the translation of SDL events (scan codes, buttons, wheel, time stamps).
#include "platform/linux/testing.h"
#include "support/active_window.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <vector>

namespace {

using tundra_testing::FeedKey;
using tundra_testing::FeedMouseButton;
using tundra_testing::FeedMouseMotion;
using tundra_testing::FeedMouseWheel;

constexpr DWORD kRecord = sizeof(DIDEVICEOBJECTDATA);

HRESULT SetBufferSize(IDirectInputDevice8A* device, DWORD size) {
    DIPROPDWORD property{};
    property.diph.dwSize = sizeof property;
    property.diph.dwHeaderSize = sizeof(DIPROPHEADER);
    property.diph.dwHow = DIPH_DEVICE;
    property.dwData = size;
    return device->SetProperty(DIPROP_BUFFERSIZE, &property.diph);
}

class DirectInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(DirectInput8Create(GetModuleHandleA(nullptr), 0x0800, IID_IDirectInput8A,
                                     reinterpret_cast<LPVOID*>(&input), nullptr),
                  DI_OK);
    }
    void TearDown() override {
        for (IDirectInputDevice8A* device : devices) {
            device->Unacquire();
            device->Release();
        }
        input->Release();
    }

    // A device with its format, the given cooperation and buffer size.
    IDirectInputDevice8A* open(const GUID& guid, DWORD cooperation, DWORD bufferSize) {
        IDirectInputDevice8A* device = nullptr;
        EXPECT_EQ(input->CreateDevice(guid, &device, nullptr), DI_OK);
        if (!device) return nullptr;
        devices.push_back(device);
        bool keyboard = guid == GUID_SysKeyboard;
        EXPECT_EQ(device->SetDataFormat(keyboard ? &c_dfDIKeyboard : &c_dfDIMouse), DI_OK);
        EXPECT_EQ(device->SetCooperativeLevel(window.handle(), cooperation), DI_OK);
        EXPECT_EQ(SetBufferSize(device, bufferSize), DI_OK);
        return device;
    }
    IDirectInputDevice8A* keyboard(DWORD bufferSize = 16) {
        return open(GUID_SysKeyboard, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND, bufferSize);
    }
    IDirectInputDevice8A* mouse(DWORD bufferSize = 16) {
        return open(GUID_SysMouse, DISCL_EXCLUSIVE | DISCL_FOREGROUND, bufferSize);
    }

    static std::vector<DIDEVICEOBJECTDATA> read(IDirectInputDevice8A* device, DWORD room,
                                                HRESULT* result = nullptr) {
        std::vector<DIDEVICEOBJECTDATA> records(room);
        DWORD count = room;
        HRESULT got = device->GetDeviceData(kRecord, records.data(), &count, 0);
        if (result) *result = got;
        records.resize(count);
        return records;
    }

    ActiveWindow window;
    IDirectInput8A* input = nullptr;
    std::vector<IDirectInputDevice8A*> devices;
};

TEST_F(DirectInputTest, CreationChecksVersionAndInterface) {
    LPVOID out = reinterpret_cast<LPVOID>(1);
    EXPECT_LT(DirectInput8Create(nullptr, 0x0700, IID_IDirectInput8A, &out, nullptr), 0);
    EXPECT_EQ(out, nullptr);
    EXPECT_LT(DirectInput8Create(nullptr, 0x0800, GUID_SysMouse, &out, nullptr), 0);
    IDirectInputDevice8A* device = nullptr;
    EXPECT_LT(input->CreateDevice(IID_IDirectInput8A, &device, nullptr), 0);
    EXPECT_EQ(device, nullptr);
}

TEST_F(DirectInputTest, SettingsAreRefusedWhileAcquired) {
    IDirectInputDevice8A* device = keyboard();
    ASSERT_EQ(device->Acquire(), DI_OK);
    EXPECT_EQ(SetBufferSize(device, 8), DIERR_ACQUIRED);
    EXPECT_EQ(device->SetDataFormat(&c_dfDIKeyboard), DIERR_ACQUIRED);
    EXPECT_EQ(device->SetCooperativeLevel(window.handle(), DISCL_NONEXCLUSIVE | DISCL_FOREGROUND),
              DIERR_ACQUIRED);
    EXPECT_EQ(device->Unacquire(), DI_OK);
    EXPECT_EQ(SetBufferSize(device, 8), DI_OK);
    EXPECT_EQ(device->SetCooperativeLevel(window.handle(), DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE),
              DIERR_INVALIDPARAM);
    DIPROPDWORD wrongSize{};
    wrongSize.diph = {sizeof(DIPROPHEADER), sizeof(DIPROPHEADER), 0, DIPH_DEVICE};
    EXPECT_EQ(device->SetProperty(DIPROP_BUFFERSIZE, &wrongSize.diph), DIERR_INVALIDPARAM);
}

TEST_F(DirectInputTest, RecordsComeOldestFirstAndOverflowIsReportedOnce) {
    IDirectInputDevice8A* device = keyboard(4);
    ASSERT_EQ(device->Acquire(), DI_OK);
    for (DWORD i = 0; i < 6; ++i) FeedKey(DIK_1 + i, i % 2 == 0, 100 + i);
    HRESULT result = DI_OK;
    std::vector<DIDEVICEOBJECTDATA> first = read(device, 3, &result);
    EXPECT_EQ(result, DI_BUFFEROVERFLOW);
    ASSERT_EQ(first.size(), 3u);
    for (DWORD i = 0; i < 3; ++i) {
        EXPECT_EQ(first[i].dwOfs, DIK_1 + i);
        EXPECT_EQ(first[i].dwData, i % 2 == 0 ? 0x80u : 0u);
        EXPECT_EQ(first[i].dwTimeStamp, 100 + i);
    }
    std::vector<DIDEVICEOBJECTDATA> rest = read(device, 16, &result);
    EXPECT_EQ(result, DI_OK);
    ASSERT_EQ(rest.size(), 1u);
    EXPECT_EQ(rest[0].dwOfs, DWORD{DIK_4});

    DWORD count = 16;
    DIDEVICEOBJECTDATA records[16];
    EXPECT_EQ(device->GetDeviceData(kRecord - 4, records, &count, 0), DIERR_INVALIDPARAM);
    EXPECT_EQ(count, 0u);
}

TEST_F(DirectInputTest, ForegroundDevicesFollowWindowActivation) {
    IDirectInputDevice8A* device = keyboard();
    window.deactivate();
    EXPECT_EQ(device->Acquire(), DIERR_OTHERAPPHASPRIO);
    window.activate();
    ASSERT_EQ(device->Acquire(), DI_OK);
    window.deactivate();
    FeedKey(DIK_E, true, 10);  // the device no longer listens
    HRESULT result = DI_OK;
    EXPECT_TRUE(read(device, 16, &result).empty());
    EXPECT_EQ(result, DIERR_INPUTLOST);
    read(device, 16, &result);
    EXPECT_EQ(result, DIERR_NOTACQUIRED);
    window.activate();
    ASSERT_EQ(device->Acquire(), DI_OK);
    FeedKey(DIK_E, false, 20);
    std::vector<DIDEVICEOBJECTDATA> records = read(device, 16);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].dwTimeStamp, 20u);
}

TEST_F(DirectInputTest, KeyStateFollowsFedKeys) {
    IDirectInputDevice8A* device = keyboard();
    ASSERT_EQ(device->Acquire(), DI_OK);
    FeedKey(DIK_F9, true, 5);
    BYTE state[256] = {};
    ASSERT_EQ(device->GetDeviceState(sizeof state, state), DI_OK);
    EXPECT_EQ(state[DIK_F9], 0x80);
    EXPECT_EQ(state[DIK_F5], 0);
    FeedKey(DIK_F9, false, 6);
    ASSERT_EQ(device->GetDeviceState(sizeof state, state), DI_OK);
    EXPECT_EQ(state[DIK_F9], 0);
    EXPECT_EQ(device->GetDeviceState(100, state), DIERR_INVALIDPARAM);
}

TEST_F(DirectInputTest, MouseRecordsAndRelativeState) {
    IDirectInputDevice8A* device = mouse();
    ASSERT_EQ(device->Acquire(), DI_OK);
    FeedMouseMotion(5, -7, 30);
    FeedMouseWheel(-120, 31);
    FeedMouseButton(1, true, 32);
    std::vector<DIDEVICEOBJECTDATA> records = read(device, 16);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0].dwOfs, DWORD{DIMOFS_X});
    EXPECT_EQ(static_cast<LONG>(records[0].dwData), 5);
    EXPECT_EQ(records[1].dwOfs, DWORD{DIMOFS_Y});
    EXPECT_EQ(static_cast<LONG>(records[1].dwData), -7);
    EXPECT_EQ(records[2].dwOfs, DWORD{DIMOFS_Z});
    EXPECT_EQ(static_cast<LONG>(records[2].dwData), -120);
    EXPECT_EQ(records[3].dwOfs, DWORD{DIMOFS_BUTTON1});
    EXPECT_EQ(records[3].dwData, 0x80u);

    DIMOUSESTATE state{};
    ASSERT_EQ(device->GetDeviceState(sizeof state, &state), DI_OK);
    EXPECT_EQ(state.lX, 5);
    EXPECT_EQ(state.lY, -7);
    EXPECT_EQ(state.lZ, -120);
    EXPECT_EQ(state.rgbButtons[1], 0x80);
    ASSERT_EQ(device->GetDeviceState(sizeof state, &state), DI_OK);
    EXPECT_EQ(state.lX, 0);  // relative: nothing moved since the last read
    FeedMouseButton(1, false, 33);
}

// Real SDL events, as the window system hands them over.
void PushSdl(SDL_Event event) { ASSERT_EQ(SDL_PeepEvents(&event, 1, SDL_ADDEVENT, 0, 0), 1); }

SDL_Event SdlKey(SDL_Scancode scancode, bool down, Uint32 ticks, Uint8 repeat = 0) {
    SDL_Event event{};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.timestamp = ticks;
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.repeat = repeat;
    event.key.keysym.scancode = scancode;
    return event;
}

SDL_Event SdlButton(Uint8 button, Uint32 ticks) {
    SDL_Event event{};
    event.type = SDL_MOUSEBUTTONDOWN;
    event.button.timestamp = ticks;
    event.button.button = button;
    event.button.state = SDL_PRESSED;
    return event;
}

TEST_F(DirectInputTest, SdlKeysBecomeDikCodesOnTheTimerClock) {
    IDirectInputDevice8A* device = keyboard();
    ASSERT_EQ(device->Acquire(), DI_OK);
    Uint32 ticks = SDL_GetTicks();
    DWORD expected = timeGetTime() - SDL_GetTicks() + ticks;
    PushSdl(SdlKey(SDL_SCANCODE_GRAVE, true, ticks));
    PushSdl(SdlKey(SDL_SCANCODE_GRAVE, true, ticks + 1, 1));  // auto-repeat: dropped
    PushSdl(SdlKey(SDL_SCANCODE_CAPSLOCK, true, ticks + 2));
    PushSdl(SdlKey(SDL_SCANCODE_RIGHT, true, ticks + 3));
    PushSdl(SdlKey(SDL_SCANCODE_KP_ENTER, false, ticks + 4));
    PushSdl(SdlKey(SDL_SCANCODE_RALT, false, ticks + 5));
    std::vector<DIDEVICEOBJECTDATA> records = read(device, 16);
    ASSERT_EQ(records.size(), 5u);
    const DWORD codes[] = {DIK_GRAVE, DIK_CAPITAL, DIK_RIGHT, DIK_NUMPADENTER, DIK_RMENU};
    const DWORD offsets[] = {0, 2, 3, 4, 5};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(records[i].dwOfs, codes[i]);
        EXPECT_NEAR(double(records[i].dwTimeStamp), double(expected + offsets[i]), 1.0);
    }
    EXPECT_EQ(records[4].dwData, 0u);
    BYTE state[256] = {};
    device->GetDeviceState(sizeof state, state);
    EXPECT_EQ(state[DIK_GRAVE], 0x80);
    PushSdl(SdlKey(SDL_SCANCODE_GRAVE, false, ticks + 6));
    PushSdl(SdlKey(SDL_SCANCODE_CAPSLOCK, false, ticks + 6));
    PushSdl(SdlKey(SDL_SCANCODE_RIGHT, false, ticks + 6));
    read(device, 16);
}

TEST_F(DirectInputTest, SdlButtonsTakeDirectInputOrderAndWheelNotchesAre120) {
    IDirectInputDevice8A* device = mouse();
    ASSERT_EQ(device->Acquire(), DI_OK);
    Uint32 ticks = SDL_GetTicks();
    PushSdl(SdlButton(SDL_BUTTON_LEFT, ticks));
    PushSdl(SdlButton(SDL_BUTTON_RIGHT, ticks));
    PushSdl(SdlButton(SDL_BUTTON_MIDDLE, ticks));
    PushSdl(SdlButton(SDL_BUTTON_X1, ticks));
    SDL_Event wheel{};
    wheel.type = SDL_MOUSEWHEEL;
    wheel.wheel.timestamp = ticks;
    wheel.wheel.y = 2;
    PushSdl(wheel);
    std::vector<DIDEVICEOBJECTDATA> records = read(device, 16);
    ASSERT_EQ(records.size(), 5u);
    for (DWORD i = 0; i < 4; ++i) EXPECT_EQ(records[i].dwOfs, DIMOFS_BUTTON0 + i);
    EXPECT_EQ(records[4].dwOfs, DWORD{DIMOFS_Z});
    EXPECT_EQ(static_cast<LONG>(records[4].dwData), 240);
    for (int button = 0; button < 4; ++button) FeedMouseButton(button, false, 0);
}

}  // namespace
