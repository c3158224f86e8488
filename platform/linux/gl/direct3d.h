// IDirect3D8 on SDL2 + OpenGL: adapters are SDL displays, devices are GL
// contexts on the window's SDL window.
#pragma once

#include "../d3d8.h"

namespace gl_d3d8 {

// What the GL implementation offers, measured once on a throw-away context.
struct GlLimits {
    bool available = false;
    int maxTextureSize = 0;
    int maxRenderbufferSize = 0;
    int maxSamples = 0;
    int textureUnits = 0;
};
const GlLimits& ProbeGl();

// The capabilities every device of this implementation reports.
void FillCaps(UINT adapter, D3DCAPS8* caps);

class GlDirect3D : public IDirect3D8 {
public:
    GlDirect3D();
    ULONG AddRef() override;
    ULONG Release() override;
    UINT GetAdapterCount() override;
    HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE deviceType, D3DCAPS8* caps) override;
    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow,
                         DWORD behaviorFlags, D3DPRESENT_PARAMETERS* presentParameters,
                         IDirect3DDevice8** returnedDevice) override;

protected:
    ~GlDirect3D() override;

private:
    ULONG references_ = 1;
    bool videoReady_ = false;
};

}  // namespace gl_d3d8
