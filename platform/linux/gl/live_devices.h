// The GL devices alive in the process, and what happens to all of them
// alike: a full-screen device is lost when its window loses activation and
// may be reset once the window is active again; windowed devices are never
// lost.
#pragma once

#include "device_observer.h"

#include <vector>

namespace gl_d3d8 {

// Starts keeping the list (Direct3DCreate8 does, before any device is made;
// later calls do nothing).
void TrackLiveDevices();

const std::vector<ObservedDevice*>& LiveDevices();

}  // namespace gl_d3d8
