// How DirectInput (dinput8.cpp), its key table (dik_table.cpp) and the
// flight (flight.cpp) meet.
#pragma once

#include "win32_types.h"

#include <SDL.h>

#include <string>

namespace platform_linux {

// The DIK_ code of an SDL scan code, 0 when the key has none.
BYTE DikFromSdlScancode(SDL_Scancode scancode);

// The DIK_ code named "E", "DIK_E", "LEFT", "F5", "GRAVE" ... (any case);
// 0 when the name is unknown.
BYTE DikFromName(const std::string& name);
// The name of a DIK_ code ("E", "LEFT"), null for a code without one.
const char* NameOfDik(BYTE dik);

// One record on its way to the devices: of the keyboard (offset: its DIK_
// code) or of the mouse (offset: its DIMOFS_ axis or button), time-stamped on
// the timeGetTime clock.
enum class DeviceType { Keyboard, Mouse };
struct InputRecord {
    DeviceType type;
    DWORD offset;
    DWORD data;
    DWORD time;
};

// Queue input as if it came from the keyboard and mouse, with the given time
// stamps. The next message pump hands it to the devices, or DeliverFedInput
// at once.
void FeedKey(DWORD dikCode, bool down, DWORD time);
void FeedMouseMotion(LONG dx, LONG dy, DWORD time);
void FeedMouseWheel(LONG dz, DWORD time);
void FeedMouseButton(int button, bool down, DWORD time);
void DeliverFedInput();

// Told of every record before the devices get it, the user's and fed ones;
// null stops it.
using InputRecordListener = void (*)(const InputRecord& record);
void SetInputRecordListener(InputRecordListener listener);

}  // namespace platform_linux
