// What reaches GL devices from outside their interface: the window system's
// focus changes (a full-screen device is lost with its focus), present
// listeners, and the tundra_testing functions of testing.h.
#pragma once

#include "../d3d8.h"

namespace gl_d3d8 {

class GlDevice;

// Devices alive in the process; the first registration starts listening to
// focus changes.
void RegisterDevice(GlDevice* device);
void UnregisterDevice(GlDevice* device);

// Calls every present listener with the device whose frame is finished.
void RunPresentListeners(IDirect3DDevice8* device);

}  // namespace gl_d3d8
