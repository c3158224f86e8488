// How DirectInput (dinput8.cpp), its key table (dik_table.cpp) and the input
// script of the end-to-end tests (input_script.cpp) meet.
#pragma once

#include "dinput8.h"

#include <SDL.h>

#include <string>

namespace platform_linux {

// The DIK_ code of an SDL scan code, 0 when the key has none.
BYTE DikFromSdlScancode(SDL_Scancode scancode);

// The DIK_ code named "E", "DIK_E", "LEFT", "F5", "GRAVE" ... (any case);
// 0 when the name is unknown.
BYTE DikFromName(const std::string& name);

// Hands the records queued by the tundra_testing::Feed* functions to the
// devices now (DirectInput also does so at the end of every pump).
void DeliverFedInput();

// Starts playing the file named by TUNDRA_SCRIPT, if the variable is set
// (once per process; DirectInput8Create calls it).
void StartInputScript();

}  // namespace platform_linux
