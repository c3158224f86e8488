// The one header the system includes: the Win32 window system, Direct3D 8,
// DirectInput 8, the multimedia timer and our D3DX subset.
//
// On Windows this pulls in the real SDK headers. On Linux it pulls in our own
// declarations of the same names (types, values and parameter order as in the
// SDK), implemented on SDL2 and OpenGL in platform/linux.
#pragma once

#ifdef _WIN32
#include "windows/sdk.h"
#else
#include "linux/win32.h"
#include "linux/d3d8.h"
#include "linux/dinput8.h"
#endif

#include "d3dx/d3dx8.h"

#include <string>

// The system names its files as "data\name". The platform turns such a path
// into the form its file functions accept (identity on Windows, '\' -> '/'
// elsewhere). Log texts keep the original form.
std::string NativePath(const std::string& path);
