// How the pieces of the Linux platform meet: the window system (win32.cpp),
// the OpenGL Direct3D 8 (gl/), DirectInput 8 (dinput8.cpp) and the flight
// (flight.cpp). Only platform/linux includes this header.
#pragma once

#include "win32_types.h"

#include <SDL.h>

#include <string>

namespace platform_linux {

// --- window system (win32.cpp) ---
// The SDL window behind an HWND made by CreateWindowExA (null for others).
SDL_Window* SdlWindowOf(HWND window);
// The HWND whose SDL window has the given SDL window id (null if none).
HWND WindowFromSdlId(Uint32 windowId);
// Whether the window currently has keyboard focus (is the active window).
bool WindowIsActive(HWND window);
// The client area of a window as Windows reports it. A side that would be
// empty is held by a one-pixel SDL window, and is reported as 0.
bool ClientAreaOf(HWND window, int& width, int& height);
// Whether ShowWindow has ever shown a window of this process.
bool AnyWindowEverShown();

// The message pump hands every keyboard and mouse event to this sink before
// anything else; DirectInput installs it when it is created. Returns true when
// the event was consumed.
using InputEventSink = bool (*)(const SDL_Event& event);
void SetInputEventSink(InputEventSink sink);

// Listeners told when a window gains (true) or loses (false) activation,
// after WM_ACTIVATE is queued. Used by DirectInput (acquisition) and by the
// full-screen device (device loss).
using FocusListener = void (*)(HWND window, bool active);
void AddFocusListener(FocusListener listener);

// Reads pending SDL events into the message queue (also called by
// PeekMessageA). DirectInput calls it before reading its buffers so that
// records are as fresh as the last pump.
void PumpEvents();

// Functions run at the end of every PumpEvents, in the order they were added
// (DirectInput hands over fed records and the flight plays its script here).
using PumpHook = void (*)();
void AddPumpHook(PumpHook hook);

// --- the program's log (program_log.cpp) ---
// Adds a line to the log the program writes ("logging.txt" in the working
// directory) where it has got to: what the platform has to say that the
// program's own lines cannot (why there is no Direct3D 8, a flight's
// summary). Nothing when the program has no log open.
void WriteToProgramLog(const std::string& line);

// --- Direct3D 8 on OpenGL (gl/) ---
// True when the GL library loads and a context can be made: what loading
// "D3D8.DLL" means on this platform.
bool GlDirect3DAvailable();

}  // namespace platform_linux
