// IDirect3D8 on SDL2 + OpenGL: adapters are SDL displays, devices are GL
// contexts on the window's SDL window.
#pragma once

#include "../com_object.h"
#include "../d3d8.h"
#include "device_limits.h"

namespace gl_d3d8 {

class GlDirect3D;
struct Options;

// What Direct3DCreate8 returns (direct3d_create.cpp, which a program with a
// Direct3DCreate8 of its own leaves out of its link).
IDirect3D8* CreateDirect3D(UINT sdkVersion);

// Builds a device on `window` with validated present parameters; on failure
// returns the Direct3D error and no device (device.cpp).
HRESULT CreateGlDevice(GlDirect3D* direct3d, UINT adapter, HWND window,
                       const D3DPRESENT_PARAMETERS& parameters, const Options& options,
                       IDirect3DDevice8** result);

// The capabilities every device of this implementation reports.
void FillCaps(UINT adapter, D3DCAPS8* caps);

// A windowed device with a zero back-buffer width or height takes that side
// from the window's client area, as Direct3D 8 does; an empty side gives 8,
// as in Wine's Direct3D 8. Full-screen parameters are left as they are.
void TakeClientAreaForZeroSize(HWND window, D3DPRESENT_PARAMETERS& parameters);

class GlDirect3D : public platform_linux::ComObject<IDirect3D8> {
public:
    GlDirect3D();
    UINT GetAdapterCount() override;
    HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE deviceType, D3DCAPS8* caps) override;
    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow, DWORD behaviorFlags,
                         D3DPRESENT_PARAMETERS* presentParameters,
                         IDirect3DDevice8** returnedDevice) override;

    // D3D_OK when a device can be made with these present parameters on that
    // adapter and window (CreateDevice and Reset); otherwise the error
    // Direct3D 8 gives.
    HRESULT validatePresentParameters(UINT adapter, HWND window,
                                      const D3DPRESENT_PARAMETERS& parameters) const;

protected:
    ~GlDirect3D() override;

private:
    bool videoReady_ = false;
};

}  // namespace gl_d3d8
