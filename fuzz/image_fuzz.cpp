// Fuzz target: the texture loader on any "data\marble.bmp" (BMP, PNG or JPEG
// content), called as the viewer calls it, on the recording device. A
// success yields a texture of the image's size and no reason; a failure
// yields a reason and no texture.
#include "d3dx/image.h"

#include "fuzz_support.h"

using tundra_fuzz::Fail;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tundra_fuzz::WriteDataFile("marble.bmp", data, size);
    tundra_test::RecordingDevice device;
    IDirect3DTexture8* texture = nullptr;
    D3DXIMAGE_INFO info{};
    const HRESULT hr = D3DXCreateTextureFromFileExA(
        &device, "data/marble.bmp", D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN,
        D3DPOOL_MANAGED, D3DX_FILTER_TRIANGLE, D3DX_FILTER_TRIANGLE, 0, &info, nullptr, &texture);
    const bool reason = !tundra_d3dx::LastTextureLoadError().empty();
    if (FAILED(hr) && (texture || !reason)) Fail("a failed load left a texture or gave no reason");
    if (SUCCEEDED(hr)) {
        D3DSURFACE_DESC desc{};
        if (!texture || reason || FAILED(texture->GetLevelDesc(0, &desc)))
            Fail("success without a texture or with a reason");
        if (desc.Width != info.Width || desc.Height != info.Height || info.Width * info.Height == 0)
            Fail("texture size differs from the image size");
        texture->Release();
    }
    tundra_fuzz::CheckDeviceClean(device);
    return 0;
}
