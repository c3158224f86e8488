#include "test_hooks.h"

#include "../internal.h"
#include "../testing.h"
#include "device.h"
#include "options.h"

#include <algorithm>
#include <vector>

namespace gl_d3d8 {

namespace {

std::vector<GlDevice*> g_liveDevices;
bool g_listeningToFocus = false;
std::vector<platform_linux::PresentListener> g_presentListeners;

// A full-screen device is lost when its window loses activation and may be
// reset once the window is active again; windowed devices are never lost.
void OnWindowFocus(HWND window, bool active) {
    for (GlDevice* device : g_liveDevices) {
        if (device->window() != window || !device->fullScreen()) continue;
        if (active) {
            device->regainFocus();
        } else {
            device->loseDevice();
        }
    }
}

GlDevice* GlDeviceOf(IDirect3DDevice8* device) { return dynamic_cast<GlDevice*>(device); }

// A switch changed by a test holds for the devices made from now on and for
// the ones alive.
template <class Change>
void ChangeOptions(Change change) {
    LoadOptions();
    change(ProcessOptions());
    for (GlDevice* device : g_liveDevices) change(device->options());
}

}  // namespace

void RegisterDevice(GlDevice* device) {
    if (!g_listeningToFocus) {
        platform_linux::AddFocusListener(&OnWindowFocus);
        g_listeningToFocus = true;
    }
    g_liveDevices.push_back(device);
}

void UnregisterDevice(GlDevice* device) {
    g_liveDevices.erase(std::remove(g_liveDevices.begin(), g_liveDevices.end(), device),
                        g_liveDevices.end());
}

void RunPresentListeners(IDirect3DDevice8* device) {
    for (platform_linux::PresentListener listener : g_presentListeners) listener(device);
}

}  // namespace gl_d3d8

namespace platform_linux {

void AddPresentListener(PresentListener listener) {
    gl_d3d8::g_presentListeners.push_back(listener);
}

}  // namespace platform_linux

namespace tundra_testing {

using gl_d3d8::GlDeviceOf;

bool ReadBackFrame(IDirect3DDevice8* device, std::vector<uint32_t>& pixels, UINT& width,
                   UINT& height) {
    gl_d3d8::GlDevice* glDevice = GlDeviceOf(device);
    return glDevice && glDevice->readBack(pixels, width, height);
}

void SetDrawBatching(bool enabled) {
    gl_d3d8::ChangeOptions([enabled](gl_d3d8::Options& options) { options.batching = enabled; });
}

void SetDirectDrawing(bool enabled) {
    gl_d3d8::ChangeOptions(
        [enabled](gl_d3d8::Options& options) { options.directDrawing = enabled; });
}

bool DrawsDirectly(IDirect3DDevice8* device) {
    gl_d3d8::GlDevice* glDevice = GlDeviceOf(device);
    return glDevice && glDevice->drawsDirectly();
}

void ForceDeviceLoss(IDirect3DDevice8* device) {
    if (gl_d3d8::GlDevice* glDevice = GlDeviceOf(device)) glDevice->loseDevice();
}

void RestoreDeviceFocus(IDirect3DDevice8* device) {
    if (gl_d3d8::GlDevice* glDevice = GlDeviceOf(device)) glDevice->regainFocus();
}

void LoseAfterPresents(IDirect3DDevice8* device, unsigned cycles) {
    if (gl_d3d8::GlDevice* glDevice = GlDeviceOf(device)) glDevice->loseAfterPresents(cycles);
}

}  // namespace tundra_testing
