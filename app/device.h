// Direct3D 8 set-up: the presence check, the Direct3D object, the device
// from the configuration, and the states that hold for the whole run.
#pragma once

#include "platform/platform.h"

class Config;

// Fills g_d3d, g_presentParams and g_device from GetConfig(). S_OK or E_FAIL;
// logs nothing.
HRESULT InitD3D(HWND window);
// The same from a given configuration.
HRESULT InitD3D(HWND window, const Config& config);

// Sets the states that hold for the whole run on g_device. InitD3D sets them
// once; a device reset puts every state back to its initial value (lighting
// on among them, which would draw the unlit level black), so the frame sets
// them again after a successful reset.
void SetDeviceStates(const Config& config);
