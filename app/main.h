// The shell's start-up and shutdown steps, and the window procedure.
#pragma once

#include "platform/platform.h"

// The window class name (also the window title).
extern char g_windowClassName[];

// Creates the font, attaches it to the console, loads the main texture and
// builds the World. E_FAIL when the main texture cannot be loaded.
HRESULT InitGeometry();

// Releases every device-level object in a fixed order, logging each, and
// writes the closing banner.
void ReleaseAll();

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// One side of the outer window: the back-buffer side times the scaling,
// truncated toward zero (kept within the int range; not-a-number gives 0).
int OuterWindowExtent(int screenSize, float scaling);

// The aspect ratio handed to the font and the World.
float AspectRatio(int screenWidth, int screenHeight);
