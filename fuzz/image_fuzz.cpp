// The texture loader on any "data\marble.bmp", as the viewer calls it: success
// gives a texture of the image's size, failure a reason and no texture.
#include "d3dx/image.h"

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tundra_fuzz::WriteDataFile("marble.bmp", data, size);
    tundra_test::RecordingDevice device;
    IDirect3DTexture8* texture = nullptr;
    D3DXIMAGE_INFO info{};
    const HRESULT hr = D3DXCreateTextureFromFileExA(
        &device, "data/marble.bmp", D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN,
        D3DPOOL_MANAGED, D3DX_FILTER_TRIANGLE, D3DX_FILTER_TRIANGLE, 0, &info, nullptr, &texture);
    D3DSURFACE_DESC desc{};
    if (SUCCEEDED(hr) != tundra_d3dx::LastTextureLoadError().empty() ||
        SUCCEEDED(hr) != (texture && SUCCEEDED(texture->GetLevelDesc(0, &desc))))
        tundra_fuzz::Fail("a load without a texture or a reason, or with both");
    if (texture &&
        (desc.Width != info.Width || desc.Height != info.Height || !info.Width || !info.Height))
        tundra_fuzz::Fail("texture size differs from the image size");
    if (texture) texture->Release();
    tundra_fuzz::CheckDeviceClean(device);
    return 0;
}
