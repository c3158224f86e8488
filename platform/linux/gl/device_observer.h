// The one place GL devices report to: a device made or gone, a window's
// activation changing, and each finished frame. The full-screen focus loss
// (live_devices.cpp) and the flight (../flight.cpp) watch it; so may a test
// build. With no observer every report is a loop over nothing.
#pragma once

#include "../win32_types.h"

#include <cstdint>
#include <vector>

namespace gl_d3d8 {

// A GL device as its observers see it (device.cpp).
class ObservedDevice {
public:
    virtual HWND window() const = 0;
    virtual bool fullScreen() const = 0;
    // The device reports D3DERR_DEVICELOST from now on, until regainFocus;
    // then D3DERR_DEVICENOTRESET until Reset.
    virtual void loseDevice() = 0;
    virtual void regainFocus() = 0;
    // The last presented frame, top row first, as 0xAARRGGBB. During
    // framePresented it always has it; a device drawing straight into a
    // single-buffered window (headless) keeps it until the next frame draws,
    // into a double-buffered one (a display's) not past the swap: false.
    virtual bool readBack(std::vector<uint32_t>& pixels, UINT& width, UINT& height) = 0;

protected:
    ~ObservedDevice() = default;
};

class DeviceObserver {
public:
    virtual void deviceMade(ObservedDevice&) {}
    virtual void deviceGone(ObservedDevice&) {}
    // A window gained (true) or lost its activation.
    virtual void windowFocus(HWND, bool) {}
    // The frame is finished and not yet shown.
    virtual void framePresented(ObservedDevice&) {}

protected:
    ~DeviceObserver() = default;
};

// Observers are told in the order they were added, for the rest of the
// process.
void AddDeviceObserver(DeviceObserver& observer);

// The reports, made by the devices.
void ReportDeviceMade(ObservedDevice& device);
void ReportDeviceGone(ObservedDevice& device);
void ReportFramePresented(ObservedDevice& device);

}  // namespace gl_d3d8
