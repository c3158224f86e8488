// Hooks into the Linux platform for tests and tools only. The viewer itself
// never includes this header.
#pragma once

#include "../platform.h"

#include <cstdint>
#include <vector>

namespace tundra_testing {

// --- Direct3D 8 ---------------------------------------------------------
// Replaces what Direct3DCreate8 returns (null restores the GL implementation),
// so the shell's device set-up can run against a recording or failing object.
using Direct3DFactory = IDirect3D8* (*)(UINT sdkVersion);
void SetDirect3DFactory(Direct3DFactory factory);

// The last presented frame of a GL device, top row first, as 0xAARRGGBB.
// Present listeners always see it. A device drawing straight into a
// single-buffered window (headless) keeps it only until the next frame
// draws; into a double-buffered one (a display's), not past the swap: false.
bool ReadBackFrame(IDirect3DDevice8* device, std::vector<uint32_t>& pixels, UINT& width,
                   UINT& height);
// A 64-bit FNV-1a hash of a frame's colours (alpha ignored), as the input
// script's "lose" action writes it.
uint64_t FrameHash(const std::vector<uint32_t>& pixels);

// Makes a GL device behave as if it lost its full-screen focus: it reports
// D3DERR_DEVICELOST until RestoreDeviceFocus, then D3DERR_DEVICENOTRESET
// until Reset.
void ForceDeviceLoss(IDirect3DDevice8* device);
void RestoreDeviceFocus(IDirect3DDevice8* device);

// Makes a GL device lose itself right after each of its next `cycles`
// presents, as a driver does when the full screen is taken and at once given
// back: TestCooperativeLevel reports D3DERR_DEVICELOST once, then
// D3DERR_DEVICENOTRESET until Reset. 0 cancels what is left of the plan.
void LoseAfterPresents(IDirect3DDevice8* device, unsigned cycles);

// --- Fault plan -----------------------------------------------------------
// The resource calls of the GL device (and of its textures and vertex
// buffers) that a fault plan can make fail.
enum class FaultCall { CreateTexture, CreateVertexBuffer, Lock, LockRect };

// Makes call number `n` of `kind` from now on (1: the next one), on any GL
// device, fail: a create returns D3DERR_OUTOFVIDEOMEMORY and no object, a
// lock D3DERR_INVALIDCALL and no memory. 0 plans no failure of that kind.
// Every call is counted, whether planned to fail or not.
void FailCall(FaultCall kind, unsigned n);
// No planned failures, and every count back to 0.
void ClearFaultPlan();
// Calls of `kind` counted since the process started or ClearFaultPlan.
unsigned CallCount(FaultCall kind);
// The real program takes its plan from the environment:
//   TUNDRA_FAULT=LockRect:3[,CreateTexture:1...]   the third LockRect fails
//   TUNDRA_FAULT_COUNTS=<file>   at the first present, writes one line per
//                                kind ("CreateTexture 3"): the calls of the
//                                start-up

// Merging of consecutive triangle draws with unchanged state into one GL
// draw (on by default; also off with the environment TUNDRA_NO_BATCH=1).
void SetDrawBatching(bool enabled);

// Drawing straight into the window when its surface can serve as the back
// buffer, instead of into a framebuffer copied to it by Present (on by
// default; also off with the environment TUNDRA_NO_DIRECT=1). Applies to
// devices made or reset afterwards.
void SetDirectDrawing(bool enabled);
bool DrawsDirectly(IDirect3DDevice8* device);

// --- DirectInput 8 --------------------------------------------------------
// Queue input as if it came from the keyboard and mouse, with the given time
// stamps (timeGetTime milliseconds). Delivered by the next message pump.
void FeedKey(DWORD dikCode, bool down, DWORD time);
void FeedMouseMotion(LONG dx, LONG dy, DWORD time);
void FeedMouseWheel(LONG dz, DWORD time);
void FeedMouseButton(int button, bool down, DWORD time);

}  // namespace tundra_testing
