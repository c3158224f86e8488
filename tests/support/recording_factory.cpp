// The tests' own Direct3DCreate8, in a library of its own that only the
// unit tests link: a test that installs a factory links this one instead of
// the GL Direct3D's; the GL tests keep the real one.
#include "support/recording_device.h"

namespace {

tundra_test::RecordingDirect3D* g_installed = nullptr;
int g_createCount = 0;
UINT g_lastSdkVersion = 0;

}  // namespace

IDirect3D8* WINAPI Direct3DCreate8(UINT sdkVersion) {
    ++g_createCount;
    g_lastSdkVersion = sdkVersion;
    if (!g_installed) return nullptr;
    // The first caller takes over the reference the object was born with.
    if (g_createCount > 1) g_installed->AddRef();
    return g_installed;
}

namespace tundra_test {

ScopedDirect3DFactory::ScopedDirect3DFactory(RecordingDirect3D* d3d) {
    g_installed = d3d;
    g_createCount = 0;
    g_lastSdkVersion = 0;
}

ScopedDirect3DFactory::~ScopedDirect3DFactory() { g_installed = nullptr; }

int ScopedDirect3DFactory::createCount() { return g_createCount; }

UINT ScopedDirect3DFactory::lastSdkVersion() { return g_lastSdkVersion; }

}  // namespace tundra_test
