// Fuzz target: the texture loader (D3DXCreateTextureFromFileExA) on any
// "data\marble.bmp", called as the viewer calls it, against the recording
// device. BMP, PNG and JPEG content all come this way. A success yields a
// texture of the size the file declares; a failure yields no texture and a
// reason.
#include "d3dx/image.h"

#include "fuzz_support.h"

using tundra_fuzz::Fail;

namespace {

void CheckLoadedTexture(IDirect3DTexture8* texture, const D3DXIMAGE_INFO& info) {
    if (!texture) Fail("success without a texture");
    D3DSURFACE_DESC desc{};
    if (FAILED(texture->GetLevelDesc(0, &desc))) Fail("no level 0 in a loaded texture");
    if (desc.Width != info.Width || desc.Height != info.Height || info.Width == 0 ||
        info.Height == 0)
        Fail("texture size differs from the image size");
    if (!tundra_d3dx::LastTextureLoadError().empty()) Fail("success with an error text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tundra_fuzz::WriteDataFile("marble.bmp", data, size);
    tundra_test::RecordingDevice device;
    IDirect3DTexture8* texture = nullptr;
    D3DXIMAGE_INFO info{};
    const HRESULT hr = D3DXCreateTextureFromFileExA(
        &device, "data/marble.bmp", D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN,
        D3DPOOL_MANAGED, D3DX_FILTER_TRIANGLE, D3DX_FILTER_TRIANGLE, 0, &info, nullptr, &texture);
    if (SUCCEEDED(hr)) {
        CheckLoadedTexture(texture, info);
        texture->Release();
    } else if (texture || tundra_d3dx::LastTextureLoadError().empty()) {
        Fail("a failed load left a texture or gave no reason");
    }
    tundra_fuzz::CheckDeviceClean(device);
    return 0;
}
