// Kept apart from recording_device.cpp so that tests which only use a
// RecordingDevice do not pull in the platform's factory hook.
#include "support/recording_device.h"

#include "platform/linux/testing.h"

namespace tundra_test {

namespace {

RecordingDirect3D* g_installed = nullptr;
int g_createCount = 0;
UINT g_lastSdkVersion = 0;

IDirect3D8* CreateRecording(UINT sdkVersion) {
    ++g_createCount;
    g_lastSdkVersion = sdkVersion;
    if (!g_installed) return nullptr;
    // The first caller takes over the reference the object was born with.
    if (g_createCount > 1) g_installed->AddRef();
    return g_installed;
}

}  // namespace

ScopedDirect3DFactory::ScopedDirect3DFactory(RecordingDirect3D* d3d) {
    g_installed = d3d;
    g_createCount = 0;
    g_lastSdkVersion = 0;
    tundra_testing::SetDirect3DFactory(&CreateRecording);
}

ScopedDirect3DFactory::~ScopedDirect3DFactory() {
    tundra_testing::SetDirect3DFactory(nullptr);
    g_installed = nullptr;
}

int ScopedDirect3DFactory::createCount() { return g_createCount; }

UINT ScopedDirect3DFactory::lastSdkVersion() { return g_lastSdkVersion; }

}  // namespace tundra_test
