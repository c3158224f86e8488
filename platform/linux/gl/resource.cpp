#include "resource.h"

#include "device.h"

namespace gl_d3d8 {

void HoldDevice(GlDevice* device) { device->AddRef(); }
void ReleaseDevice(GlDevice* device) { device->Release(); }

}  // namespace gl_d3d8
