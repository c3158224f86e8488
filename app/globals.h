// The program-wide objects of the viewer. They are defined, in their order of
// construction, in app/main.cpp.
#pragma once

#include "platform/platform.h"

class Console;
class Camera;
class FrameTimer;
class Font;
class World;
class Input;

extern IDirect3D8* g_d3d;
extern IDirect3DDevice8* g_device;
extern D3DPRESENT_PARAMETERS g_presentParams;
extern D3DCAPS8 g_caps;
extern IDirect3DTexture8* g_mainTexture;
extern Font* g_font;
extern World* g_world;
extern Input* g_input;

extern FrameTimer g_frameTimer;
extern Console g_console;
extern Camera g_camera;

extern bool g_keepRunning;
extern bool g_showConsole;
extern bool g_showFps;
