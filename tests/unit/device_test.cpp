#include "app/device.h"
#include "app/globals.h"
#include "config/config.h"
#include "support/config_text.h"
#include "support/log_capture.h"
#include "support/recording_device.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using tundra_test::RecordingDirect3D;
using tundra_test::ScopedDirect3DFactory;

namespace {

// The program creates its window before the device, so the tests do too.
HWND MainWindow() {
    static HWND window = [] {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        WNDCLASSEXA windowClass{};
        windowClass.cbSize = sizeof(WNDCLASSEXA);
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.lpszClassName = "DeviceTest";
        RegisterClassExA(&windowClass);
        return CreateWindowExA(0, "DeviceTest", "Tundra", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600,
                               GetDesktopWindow(), nullptr, nullptr, nullptr);
    }();
    return window;
}

class DeviceSetUpTest : public ::testing::Test {
protected:
    void SetUp() override { window = MainWindow(); }
    void TearDown() override {
        g_device = nullptr;  // owned by the recording object
        g_d3d = nullptr;
        unsetenv("TUNDRA_HIDE_D3D8");
    }

    // Runs InitD3D with the given configuration text against `d3d`.
    HRESULT initWith(const std::string& configText) {
        scratch.writeData("test.cfg", configText);
        Config config("test.cfg");
        log.clear();
        ScopedDirect3DFactory factory(&d3d);
        return InitD3D(window, config);
    }

    std::vector<std::string> stateCalls() const {
        return d3d.device() ? d3d.device()->callTexts("SetRenderState")
                            : std::vector<std::string>{};
    }

    ScratchDir scratch;
    LogCapture log;
    RecordingDirect3D d3d;
    HWND window = nullptr;
};

TEST_F(DeviceSetUpTest, DefaultConfigurationMakesAWindowedHardwareDevice) {
    ASSERT_EQ(S_OK, initWith(ConfigText().text()));
    EXPECT_EQ(120u, ScopedDirect3DFactory::lastSdkVersion());
    EXPECT_EQ(&d3d, g_d3d);
    ASSERT_NE(nullptr, d3d.device());
    EXPECT_EQ(d3d.device(), g_device);

    ASSERT_EQ(1u, d3d.deviceRequests().size());
    const tundra_test::DeviceRequest& request = d3d.deviceRequests()[0];
    EXPECT_EQ(0u, request.adapter);
    EXPECT_EQ(D3DDEVTYPE_HAL, request.deviceType);
    EXPECT_EQ(window, request.focusWindow);
    EXPECT_EQ(static_cast<DWORD>(D3DCREATE_HARDWARE_VERTEXPROCESSING), request.behaviorFlags);

    const D3DPRESENT_PARAMETERS& params = request.params;
    EXPECT_EQ(800u, params.BackBufferWidth);
    EXPECT_EQ(600u, params.BackBufferHeight);
    EXPECT_EQ(D3DFMT_X8R8G8B8, params.BackBufferFormat);
    EXPECT_EQ(2u, params.BackBufferCount);
    EXPECT_EQ(D3DMULTISAMPLE_NONE, params.MultiSampleType);
    EXPECT_EQ(D3DSWAPEFFECT_DISCARD, params.SwapEffect);
    EXPECT_EQ(nullptr, params.hDeviceWindow);
    EXPECT_EQ(TRUE, params.Windowed);
    EXPECT_EQ(TRUE, params.EnableAutoDepthStencil);
    EXPECT_EQ(D3DFMT_D24S8, params.AutoDepthStencilFormat);
    EXPECT_EQ(0u, params.Flags);
    EXPECT_EQ(60u, params.FullScreen_RefreshRateInHz);
    EXPECT_EQ(0u, params.FullScreen_PresentationInterval);
    // The reset of a lost device reuses exactly these parameters.
    EXPECT_EQ(0, memcmp(&params, &g_presentParams, sizeof params));

    EXPECT_EQ(
        (std::vector<std::string>{"SetRenderState(CULLMODE, 3)", "SetRenderState(LIGHTING, 0)",
                                  "SetRenderState(ZENABLE, 1)"}),
        stateCalls());
    EXPECT_EQ("", log.text());  // the shell logs the outcome, not InitD3D
}

TEST_F(DeviceSetUpTest, SoftwareVertexProcessingWhenHardwareTnLIsOff) {
    ASSERT_EQ(S_OK, initWith(ConfigText().set("hardware T&L", "0").text()));
    ASSERT_EQ(1u, d3d.deviceRequests().size());
    EXPECT_EQ(static_cast<DWORD>(D3DCREATE_SOFTWARE_VERTEXPROCESSING),
              d3d.deviceRequests()[0].behaviorFlags);
}

TEST_F(DeviceSetUpTest, NoCullModeCallWithoutBackFaceCulling) {
    ASSERT_EQ(S_OK, initWith(ConfigText().set("back face culling", "0").text()));
    EXPECT_EQ(
        (std::vector<std::string>{"SetRenderState(LIGHTING, 0)", "SetRenderState(ZENABLE, 1)"}),
        stateCalls());
}

TEST_F(DeviceSetUpTest, MultisamplingSwitchesAntialiasingOnLast) {
    ASSERT_EQ(S_OK, initWith(ConfigText().set("antialiasing multisamples", "4").text()));
    EXPECT_EQ(4u, static_cast<unsigned>(d3d.deviceRequests()[0].params.MultiSampleType));
    std::vector<std::string> calls = stateCalls();
    ASSERT_EQ(4u, calls.size());
    EXPECT_EQ("SetRenderState(MULTISAMPLEANTIALIAS, 1)", calls.back());
}

TEST_F(DeviceSetUpTest, FullScreenIsNotWindowedAndKeepsTheSameSize) {
    ASSERT_EQ(S_OK,
              initWith(ConfigText().set("full screen", "1").set("refresh rate", "85").text()));
    const D3DPRESENT_PARAMETERS& params = d3d.deviceRequests()[0].params;
    EXPECT_EQ(FALSE, params.Windowed);
    EXPECT_EQ(800u, params.BackBufferWidth);
    EXPECT_EQ(85u, params.FullScreen_RefreshRateInHz);
}

TEST_F(DeviceSetUpTest, MissingAdapterFailsButKeepsTheDirect3DObject) {
    d3d.setAdapterCount(1);
    EXPECT_EQ(E_FAIL, initWith(ConfigText().set("video card", "3").text()));
    ASSERT_EQ(1u, d3d.deviceRequests().size());
    EXPECT_EQ(3u, d3d.deviceRequests()[0].adapter);
    EXPECT_EQ(&d3d, g_d3d);
    EXPECT_EQ(nullptr, g_device);
}

TEST_F(DeviceSetUpTest, NegativeSizeReachesTheDeviceAsAHugeSizeAndIsRefused) {
    d3d.failCalls("CreateDevice", D3DERR_INVALIDCALL);
    EXPECT_EQ(E_FAIL, initWith(ConfigText().set("screen width", "-800").text()));
    EXPECT_EQ(static_cast<UINT>(-800), d3d.deviceRequests()[0].params.BackBufferWidth);
    EXPECT_EQ(nullptr, g_device);
}

TEST_F(DeviceSetUpTest, NoDirect3DObjectFails) {
    scratch.writeData("test.cfg", ConfigText().text());
    Config config("test.cfg");
    ScopedDirect3DFactory factory(nullptr);
    EXPECT_EQ(E_FAIL, InitD3D(window, config));
    EXPECT_EQ(1, ScopedDirect3DFactory::createCount());
    EXPECT_EQ(nullptr, g_d3d);
    EXPECT_EQ(nullptr, g_device);
}

TEST_F(DeviceSetUpTest, MissingDirect3D8ShowsTheMessageAndCreatesNothing) {
    setenv("TUNDRA_HIDE_D3D8", "1", 1);
    setenv("SDL_VIDEODRIVER", "offscreen", 0);  // nobody could close a real box
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(E_FAIL, initWith(ConfigText().text()));
    std::string shown = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, shown.find("Minimum requirements not met."));
    EXPECT_NE(std::string::npos, shown.find("You need DirectX 8.0 or above to run Tundra!"));
    EXPECT_EQ(0, ScopedDirect3DFactory::createCount());
    EXPECT_EQ(nullptr, g_d3d);
}

}  // namespace
