// The Linux DirectInput 8: set-up rules, acquisition following the window's
// activation, buffered records and their overflow, device state, and SDL
// events translated into records.
#include "gl/gl_fixture.h"

#include <SDL.h>

namespace {

using namespace tundra_testing;

class DirectInputTest : public ::testing::Test {
protected:
    ~DirectInputTest() override {
        for (IDirectInputDevice8A* device : {keyboard, mouse})
            device->Unacquire(), device->Release();
        input->Release(), DestroyWindow(window);
    }
    IDirectInputDevice8A* open(const GUID& guid, const DIDATAFORMAT* format, DWORD cooperation,
                               DWORD bufferSize) {
        IDirectInputDevice8A* device = nullptr;
        EXPECT_EQ(input->CreateDevice(guid, &device, nullptr), DI_OK);
        EXPECT_EQ(device->SetDataFormat(format), DI_OK);
        EXPECT_EQ(device->SetCooperativeLevel(window, cooperation), DI_OK);
        DIPROPDWORD property{{sizeof property, sizeof(DIPROPHEADER), 0, DIPH_DEVICE}, bufferSize};
        EXPECT_EQ(device->SetProperty(DIPROP_BUFFERSIZE, &property.diph), DI_OK);
        EXPECT_EQ(device->Acquire(), DI_OK);
        return device;
    }
    static std::vector<DIDEVICEOBJECTDATA> read(IDirectInputDevice8A* device, DWORD room,
                                                HRESULT expected = DI_OK) {
        std::vector<DIDEVICEOBJECTDATA> records(room);
        EXPECT_EQ(expected, device->GetDeviceData(sizeof records[0], records.data(), &room, 0));
        return records.resize(room), records;
    }
    static std::string text(const std::vector<DIDEVICEOBJECTDATA>& records, std::string out = "") {
        for (const auto& r : records)
            out += std::to_string(r.dwOfs) + ":" + std::to_string(LONG(r.dwData)) + " ";
        return out;
    }

    HWND window = gl_test::MakeWindow(64, 48);
    bool shown = ShowWindow(window, SW_SHOW) || true;
    IDirectInput8A* input = nullptr;
    HRESULT created = DirectInput8Create(nullptr, 0x0800, IID_IDirectInput8A,
                                         reinterpret_cast<LPVOID*>(&input), nullptr);
    IDirectInputDevice8A* keyboard =
        open(GUID_SysKeyboard, &c_dfDIKeyboard, DISCL_NONEXCLUSIVE | DISCL_FOREGROUND, 4);
    IDirectInputDevice8A* mouse =
        open(GUID_SysMouse, &c_dfDIMouse, DISCL_EXCLUSIVE | DISCL_FOREGROUND, 16);
};

TEST_F(DirectInputTest, RecordsComeOldestFirstOverflowIsReportedOnceAndStateFollows) {
    EXPECT_EQ(created, DI_OK);
    for (DWORD i = 0; i < 6; ++i) FeedKey(DIK_1 + i, i % 2 == 0, 100 + i);
    const std::vector<DIDEVICEOBJECTDATA> first = read(keyboard, 3, DI_BUFFEROVERFLOW);
    EXPECT_EQ(text(first), "2:128 3:0 4:128 ");
    EXPECT_EQ(first[2].dwTimeStamp, 102u);
    EXPECT_EQ(text(read(keyboard, 16)), "5:0 ");
    DIDEVICEOBJECTDATA records[4];
    DWORD count = 4;
    EXPECT_EQ(keyboard->GetDeviceData(sizeof records[0] - 4, records, &count, 0),
              DIERR_INVALIDPARAM);
    EXPECT_EQ(count, 0u);

    BYTE state[256] = {};
    ASSERT_EQ(keyboard->GetDeviceState(sizeof state, state), DI_OK);
    EXPECT_EQ(state[DIK_1] + state[DIK_3] + state[DIK_2] + state[DIK_F5], 0x100);
    EXPECT_EQ(keyboard->GetDeviceState(100, state), DIERR_INVALIDPARAM);
    FeedKey(DIK_1, false, 107), FeedKey(DIK_3, false, 108), FeedKey(DIK_5, false, 109);

    FeedMouseMotion(5, -7, 30);
    FeedMouseWheel(-120, 31);
    FeedMouseButton(1, true, 32);
    EXPECT_EQ(text(read(mouse, 16)), "0:5 4:-7 8:-120 13:128 ");
    FeedMouseButton(1, false, 33);
}

TEST_F(DirectInputTest, ForegroundDevicesFollowWindowActivation) {
    ShowWindow(window, SW_HIDE);
    FeedKey(DIK_E, true, 10);  // the device no longer listens
    EXPECT_TRUE(read(keyboard, 16, DIERR_INPUTLOST).empty());
    read(keyboard, 16, DIERR_NOTACQUIRED);
    EXPECT_EQ(keyboard->Acquire(), DIERR_OTHERAPPHASPRIO);
    ShowWindow(window, SW_SHOW);
    ASSERT_EQ(keyboard->Acquire(), DI_OK);
    FeedKey(DIK_E, false, 20);
    const std::vector<DIDEVICEOBJECTDATA> records = read(keyboard, 16);
    EXPECT_EQ(text(records) + std::to_string(records[0].dwTimeStamp), "18:0 20");
}

TEST_F(DirectInputTest, SdlEventsBecomeRecordsOnTheTimerClock) {
    const Uint32 ticks = SDL_GetTicks();
    const DWORD expected = timeGetTime() - SDL_GetTicks() + ticks;
    const std::pair<SDL_Scancode, Uint8> keys[] = {{SDL_SCANCODE_GRAVE, 0},
                                                   {SDL_SCANCODE_GRAVE, 1},
                                                   {SDL_SCANCODE_CAPSLOCK, 0},
                                                   {SDL_SCANCODE_KP_ENTER, 0},
                                                   {SDL_SCANCODE_RALT, 0}};
    for (const auto& [code, repeat] : keys) {  // up when not the first
        SDL_Event event{code == SDL_SCANCODE_GRAVE ? SDL_KEYDOWN : SDL_KEYUP};
        event.key.timestamp = ticks, event.key.repeat = repeat, event.key.keysym.scancode = code;
        event.key.state = event.type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
        SDL_PushEvent(&event);
    }
    for (int button : {SDL_BUTTON_LEFT, SDL_BUTTON_RIGHT, SDL_BUTTON_MIDDLE, SDL_BUTTON_X1, 0}) {
        SDL_Event event{button ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEWHEEL};
        if (button) event.button.button = Uint8(button), event.button.state = SDL_PRESSED;
        else event.wheel.y = 2;
        SDL_PushEvent(&event);
    }
    const std::vector<DIDEVICEOBJECTDATA> records = read(keyboard, 16);
    EXPECT_EQ(text(records), "41:128 58:0 156:0 184:0 ") << "auto-repeat is dropped";
    EXPECT_NEAR(double(records[3].dwTimeStamp), double(expected), 1.0);
    EXPECT_EQ(text(read(mouse, 16)), "12:128 13:128 14:128 15:128 8:240 ");
    FeedKey(DIK_GRAVE, false, 0);
    for (int button = 0; button < 4; ++button) FeedMouseButton(button, false, 0);
}

}  // namespace
