// Alone in its file: a program that brings its own Direct3DCreate8 (the
// viewer's test build, the tests on a recording device) links without it.
#include "direct3d.h"

IDirect3D8* WINAPI Direct3DCreate8(UINT sdkVersion) { return gl_d3d8::CreateDirect3D(sdkVersion); }
