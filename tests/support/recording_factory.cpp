// The tests' own Direct3DCreate8, in a library of its own that only the
// unit tests link: a test that installs a factory links this one instead of
// the GL Direct3D's; the GL tests keep the real one.
#include "support/recording_device.h"

namespace {

struct {
    tundra_test::RecordingDirect3D* installed = nullptr;
    int createCount = 0;
    UINT lastSdkVersion = 0;
} g_factory;

}  // namespace

IDirect3D8* WINAPI Direct3DCreate8(UINT sdkVersion) {
    ++g_factory.createCount;
    g_factory.lastSdkVersion = sdkVersion;
    if (!g_factory.installed) return nullptr;
    // The first caller takes over the reference the object was born with.
    if (g_factory.createCount > 1) g_factory.installed->AddRef();
    return g_factory.installed;
}

namespace tundra_test {

ScopedDirect3DFactory::ScopedDirect3DFactory(RecordingDirect3D* d3d) { g_factory = {d3d, 0, 0}; }

ScopedDirect3DFactory::~ScopedDirect3DFactory() { g_factory.installed = nullptr; }

int ScopedDirect3DFactory::createCount() { return g_factory.createCount; }

UINT ScopedDirect3DFactory::lastSdkVersion() { return g_factory.lastSdkVersion; }

}  // namespace tundra_test
