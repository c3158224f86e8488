#include "app/device.h"

#include "app/globals.h"
#include "config/config.h"

namespace {

const UINT kSdkVersion = 120;

bool Direct3D8Present() {
    HMODULE library = LoadLibraryA("D3D8.DLL");
    if (!library) {
        MessageBoxA(nullptr, "You need DirectX 8.0 or above to run Tundra!",
                    "Minimum requirements not met.", MB_OK | MB_ICONERROR);
        return false;
    }
    FreeLibrary(library);
    return true;
}

// The configured values go in as they are; a device that cannot be made from
// them is refused by CreateDevice. A windowed device must be given no refresh
// rate: the desktop keeps its own, and a conforming runtime refuses any other.
void FillPresentParameters(const Config& config) {
    g_presentParams = D3DPRESENT_PARAMETERS{};
    g_presentParams.BackBufferWidth = static_cast<UINT>(config.screenWidth());
    g_presentParams.BackBufferHeight = static_cast<UINT>(config.screenHeight());
    g_presentParams.BackBufferFormat = config.backbufferFormat();
    g_presentParams.BackBufferCount = 2;
    g_presentParams.MultiSampleType = config.multisamples();
    g_presentParams.SwapEffect = D3DSWAPEFFECT_DISCARD;
    g_presentParams.hDeviceWindow = nullptr;
    g_presentParams.Windowed = config.fullScreen() ? FALSE : TRUE;
    g_presentParams.EnableAutoDepthStencil = TRUE;
    g_presentParams.AutoDepthStencilFormat = config.depthStencilFormat();
    g_presentParams.Flags = 0;
    g_presentParams.FullScreen_RefreshRateInHz = config.fullScreen() ? config.refreshRate() : 0;
    g_presentParams.FullScreen_PresentationInterval = 0;
}

}  // namespace

void SetDeviceStates(const Config& config) {
    if (config.backFaceCulling()) g_device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    g_device->SetRenderState(D3DRS_LIGHTING, FALSE);
    g_device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    if (config.multisamples() != 0) g_device->SetRenderState(D3DRS_MULTISAMPLEANTIALIAS, TRUE);
}

// The configuration is already loaded by then: the window size needed it.
HRESULT InitD3D(HWND window) { return InitD3D(window, GetConfig()); }

HRESULT InitD3D(HWND window, const Config& config) {
    if (!Direct3D8Present()) return E_FAIL;
    g_d3d = Direct3DCreate8(kSdkVersion);
    if (!g_d3d) return E_FAIL;

    FillPresentParameters(config);
    DWORD behaviour = config.hardwareTnL() ? D3DCREATE_HARDWARE_VERTEXPROCESSING
                                           : D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    if (FAILED(g_d3d->CreateDevice(config.videoCard(), D3DDEVTYPE_HAL, window, behaviour,
                                   &g_presentParams, &g_device))) {
        g_device = nullptr;
        return E_FAIL;
    }
    SetDeviceStates(config);
    return S_OK;
}
