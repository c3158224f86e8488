// The Windows executable: WinMain itself is part of the system library
// (app/main.cpp); this file only gives the linker a translation unit that
// pulls it in.
#include "platform/platform.h"

int (WINAPI* const tundraEntry)(HINSTANCE, HINSTANCE, LPSTR, int) = &WinMain;
