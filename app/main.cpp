// The viewer's entry point, its program-wide objects, the window procedure
// and the ordered shutdown.
#include "app/main.h"

#include "app/device.h"
#include "app/frame.h"
#include "app/globals.h"
#include "app/log.h"
#include "camera/camera.h"
#include "common/input_file.h"
#include "config/config.h"
#include "input/input.h"
#include "text/console.h"
#include "text/font.h"
#include "world/world.h"

#include <climits>
#include <cmath>
#include <exception>
#include <fstream>
#include <string>
#include <vector>

// Constructed in this order: the frame timer, console and camera exist before
// the log opens, and outlive it at exit.
FrameTimer g_frameTimer;
Console g_console;
Camera g_camera;
std::ofstream Log("logging.txt", std::ios::out | std::ios::trunc);

IDirect3D8* g_d3d = nullptr;
IDirect3DDevice8* g_device = nullptr;
D3DPRESENT_PARAMETERS g_presentParams;
D3DCAPS8 g_caps;
IDirect3DTexture8* g_mainTexture = nullptr;
Font* g_font = nullptr;
World* g_world = nullptr;
Input* g_input = nullptr;

bool g_keepRunning = true;
bool g_showConsole = true;
bool g_showFps = true;

char g_windowClassName[] = "Tundra";

namespace {

// An exception raised inside the window procedure cannot cross the window
// system's own code; it waits here until the window call has returned.
std::exception_ptr g_pendingError;

void RaisePendingError() {
    if (!g_pendingError) return;
    std::exception_ptr error = g_pendingError;
    g_pendingError = nullptr;
    std::rethrow_exception(error);
}

void LogCaught(const char* error) {
    Log << std::endl
        << std::endl
        << "!!!!!!!!!!!!   "
        << "exception caught: " << error << std::endl;
}

// Runs one stage of the program; an exception of any kind ends the stage
// with the caught-error line. False when one did.
template <typename Stage>
bool RunGuarded(Stage stage) {
    try {
        stage();
        return true;
    } catch (const char* error) {
        LogCaught(error);
    } catch (const std::exception& error) {
        LogCaught(error.what());
    } catch (...) {
        LogCaught("unknown exception");
    }
    return false;
}

void RegisterWindowClass(HINSTANCE instance) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(WNDCLASSEXA);
    windowClass.style = CS_CLASSDC;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = g_windowClassName;
    RegisterClassExA(&windowClass);
}

HWND CreateMainWindow(HINSTANCE instance) {
    const Config& config = GetConfig();
    int width = OuterWindowExtent(config.screenWidth(), config.windowScaling());
    int height = OuterWindowExtent(config.screenHeight(), config.windowScaling());
    return CreateWindowExA(0, g_windowClassName, "Tundra", WS_OVERLAPPEDWINDOW, 0, 0, width, height,
                           GetDesktopWindow(), nullptr, instance, nullptr);
}

void Activate(HWND window, bool active) {
    if (active) {
        if (!Input::exists()) g_input = new Input(window);
        else if (g_input) g_input->acquire();
    } else if (Input::exists() && g_input) {
        g_input->unacquire();
    }
}

// What the log holds so far, read through a second handle; "" when it cannot
// be read (its name taken by a directory, say). Start-up writes a few
// kilobytes: the limit only keeps a file that is not the log out of memory.
std::string FlushedLog() {
    std::vector<uint8_t> bytes;
    if (ReadWholeFile("logging.txt", uint64_t(64) << 20, bytes, InputFile::Text) != WholeFile::Read)
        return "";
    return std::string(bytes.begin(), bytes.end());
}

void RunMessageLoop() {
    MSG msg{};
    while (msg.message != WM_QUIT) {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        } else {
            RenderFrame();
        }
        RaisePendingError();
    }
}

// Steps from the device to the end of the message loop; false when a
// start-up step failed.
bool StartAndRun(HWND window) {
    if (FAILED(InitD3D(window))) return false;
    Log << "InitD3D went ok" << std::endl;
    // The adapter the device was made on: another one may have other limits.
    g_d3d->GetDeviceCaps(GetConfig().videoCard(), D3DDEVTYPE_HAL, &g_caps);
    if (FAILED(InitGeometry())) return false;
    Log << "InitGeometry went ok" << std::endl;

    ShowWindow(window, SW_SHOWDEFAULT);
    RaisePendingError();
    UpdateWindow(window);
    RaisePendingError();
    g_frameTimer.start();
    Input::loadPosition(1);

    g_console.print(FlushedLog());
    RunMessageLoop();
    return true;
}

// The pointer is cleared first, so a release that throws is never repeated.
template <typename Object>
void Delete(Object*& object) {
    Object* doomed = object;
    object = nullptr;
    delete doomed;
}

template <typename Interface>
void Release(Interface*& object) {
    Interface* doomed = object;
    object = nullptr;
    doomed->Release();
}

}  // namespace

// Returns 0 after a normal quit, 1 when start-up failed or an error ended
// the run, so that a script can tell the two apart.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    bool started = false;
    const bool ranClean = RunGuarded([instance, &started] {
        BeginLogging();
        RegisterWindowClass(instance);
        started = StartAndRun(CreateMainWindow(instance));
    });
    // Each step of the shutdown takes its object out before releasing it, so
    // a pass that throws leaves the rest to the next one; one pass more than
    // there are objects is always enough.
    const int kShutdownPasses = 7;
    bool shutDownClean = true;
    for (int pass = 0; pass < kShutdownPasses && !RunGuarded(ReleaseAll); ++pass)
        shutDownClean = false;
    UnregisterClassA(g_windowClassName, instance);
    return started && ranClean && shutDownClean ? 0 : 1;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        switch (message) {
            case WM_DESTROY: PostQuitMessage(0); return 0;
            case WM_PAINT:
                RenderFrame();
                ValidateRect(window, nullptr);
                return 0;
            case WM_ACTIVATE: Activate(window, wParam != 0); return 0;
            default: break;
        }
    } catch (...) {
        if (!g_pendingError) g_pendingError = std::current_exception();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HRESULT InitGeometry() {
    // The back buffer the device was given: a windowed device takes a zero
    // side from the window, which the configured size would not show.
    float aspect = AspectRatio(static_cast<int>(g_presentParams.BackBufferWidth),
                               static_cast<int>(g_presentParams.BackBufferHeight));
    g_font = new Font();
    g_font->load("font.f", g_device, aspect);
    g_console.setFont(g_font);
    HRESULT loaded = D3DXCreateTextureFromFileExA(
        g_device, "data\\marble.bmp", D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN,
        D3DPOOL_MANAGED, D3DX_FILTER_TRIANGLE, D3DX_FILTER_TRIANGLE, 0, nullptr, nullptr,
        &g_mainTexture);
    if (FAILED(loaded)) {
        g_mainTexture = nullptr;
        Log << "ERROR: couldn't load the main texture data\\marble.bmp: "
            << tundra_d3dx::LastTextureLoadError() << std::endl;
        return E_FAIL;
    }
    g_world = new World("world.geom", g_device, aspect);
    return S_OK;
}

// The pointers are cleared as their objects go, so a second call (or a late
// frame) never touches a released object.
void ReleaseAll() {
    if (g_mainTexture) {
        Release(g_mainTexture);
        Log << "Releasing main texture" << std::endl;
    }
    if (g_font) {
        Log << "~~~flush font~~~\n";
        g_console.setFont(nullptr);
        Delete(g_font);
    }
    if (g_world) {
        Log << "~~~start cleaning up after world~~~\n";
        Delete(g_world);
    }
    if (g_device) {
        Release(g_device);
        Log << "Releasing D3Ddevice\n";
    }
    if (g_d3d) {
        Release(g_d3d);
        Log << "D3D object is history!\n";
    }
    if (g_input) {
        Delete(g_input);
        Log << "crushing input.\n";
    }
    Log << "\n---------------------"
        << "end logging";
}

int OuterWindowExtent(int screenSize, float scaling) {
    float product = static_cast<float>(screenSize) * scaling;
    if (std::isnan(product)) return 0;
    double truncated = std::trunc(static_cast<double>(product));
    if (truncated >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (truncated <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(truncated);
}

float AspectRatio(int screenWidth, int screenHeight) {
    return static_cast<float>(screenWidth) / static_cast<float>(screenHeight);
}
