// InitD3D on the recording Direct3D: the device it asks for and its states; the window size.
#include "app/device.h"
#include "app/globals.h"
#include "app/main.h"
#include "config/config.h"
#include "gl/gl_fixture.h"
#include "support/config_text.h"
#include "support/log_capture.h"
#include "support/recording_device.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <tuple>

using tundra_test::RecordingDirect3D;
using tundra_test::ScopedDirect3DFactory;

namespace {

// Every field, so that a failure names the one that differs.
auto Fields(const D3DPRESENT_PARAMETERS& p) {
    return std::tuple(p.BackBufferWidth, p.BackBufferHeight, p.BackBufferFormat, p.BackBufferCount,
                      p.MultiSampleType, p.SwapEffect, p.hDeviceWindow, p.Windowed,
                      p.EnableAutoDepthStencil, p.AutoDepthStencilFormat, p.Flags,
                      p.FullScreen_RefreshRateInHz, p.FullScreen_PresentationInterval);
}

HRESULT InitWith(RecordingDirect3D* d3d, const ConfigText& text, LogCapture* log = nullptr) {
    static HWND window = gl_test::MakeWindow(800, 600);
    ScratchDir scratch;
    scratch.writeData("test.cfg", text.text());
    Config config("test.cfg");
    ScopedDirect3DFactory factory(d3d);
    if (log) log->clear();
    g_device = nullptr;
    g_d3d = nullptr;
    return InitD3D(window, config);
}

TEST(InitD3D, AsksForTheConfiguredDeviceAndSetsItsStates) {
    const std::vector<std::string> defaults = {
        "SetRenderState(CULLMODE, 3)", "SetRenderState(LIGHTING, 0)", "SetRenderState(ZENABLE, 1)"};
    const struct {
        const char* key;
        const char* value;
        DWORD flags;
        std::vector<std::string> states;
    } rows[] = {
        {"screen width", "800", D3DCREATE_HARDWARE_VERTEXPROCESSING, defaults},
        {"hardware T&L", "0", D3DCREATE_SOFTWARE_VERTEXPROCESSING, defaults},
        {"back face culling", "0", D3DCREATE_HARDWARE_VERTEXPROCESSING, {defaults[1], defaults[2]}},
        {"antialiasing multisamples",
         "4",
         D3DCREATE_HARDWARE_VERTEXPROCESSING,
         {defaults[0], defaults[1], defaults[2], "SetRenderState(MULTISAMPLEANTIALIAS, 1)"}},
        {"full screen", "1", D3DCREATE_HARDWARE_VERTEXPROCESSING, defaults},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.key);
        RecordingDirect3D d3d;
        LogCapture log;
        ASSERT_EQ(
            InitWith(&d3d, ConfigText().set(row.key, row.value).set("refresh rate", "85"), &log),
            S_OK);
        ASSERT_EQ(d3d.deviceRequests().size(), 1u);
        const tundra_test::DeviceRequest& request = d3d.deviceRequests()[0];
        EXPECT_EQ(ScopedDirect3DFactory::lastSdkVersion(), 120u);
        EXPECT_EQ(g_d3d, &d3d);
        EXPECT_EQ(g_device, d3d.device());
        EXPECT_EQ(request.adapter, 0u);
        EXPECT_EQ(request.deviceType, D3DDEVTYPE_HAL);
        EXPECT_EQ(request.behaviorFlags, row.flags);
        EXPECT_EQ(d3d.device()->callTexts("SetRenderState"), row.states);
        // The shipped configuration's 800 x 600 X8R8G8B8 with D24S8 depth, two back buffers.
        D3DPRESENT_PARAMETERS expected{};
        expected.BackBufferWidth = 800, expected.BackBufferHeight = 600,
        expected.BackBufferCount = 2;
        expected.BackBufferFormat = D3DFMT_X8R8G8B8, expected.SwapEffect = D3DSWAPEFFECT_DISCARD;
        expected.EnableAutoDepthStencil = TRUE, expected.AutoDepthStencilFormat = D3DFMT_D24S8;
        expected.MultiSampleType = D3DMULTISAMPLE_TYPE(row.states.size() == 4 ? 4 : 0);
        expected.Windowed = std::string(row.key) != "full screen";
        // Only a full-screen device is given the configured rate.
        expected.FullScreen_RefreshRateInHz = expected.Windowed ? 0 : 85;
        // The reset of a lost device (tests/unit/frame_test.cpp) passes g_presentParams on.
        for (const D3DPRESENT_PARAMETERS& p : {request.params, g_presentParams})
            EXPECT_EQ(Fields(p), Fields(expected));
        EXPECT_EQ(log.text(), "");  // the shell logs the outcome, not InitD3D
    }
}

TEST(InitD3D, FailsWithoutADeviceOrDirect3D) {
    RecordingDirect3D d3d;
    EXPECT_EQ(InitWith(&d3d, ConfigText().set("video card", "3")), E_FAIL);
    EXPECT_EQ(d3d.deviceRequests().at(0).adapter, 3u);
    EXPECT_EQ(g_d3d, &d3d);  // kept for the shell to release
    EXPECT_EQ(g_device, nullptr);
    d3d.failCalls("CreateDevice", D3DERR_INVALIDCALL);
    EXPECT_EQ(InitWith(&d3d, ConfigText().set("screen width", "-800")), E_FAIL);
    EXPECT_EQ(d3d.deviceRequests().at(1).params.BackBufferWidth, UINT(-800));
    EXPECT_EQ(InitWith(nullptr, ConfigText()), E_FAIL);
    EXPECT_EQ(ScopedDirect3DFactory::createCount(), 1);
    EXPECT_EQ(g_d3d, nullptr);
    setenv("TUNDRA_HIDE_D3D8", "1", 1);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(InitWith(&d3d, ConfigText()), E_FAIL);
    const std::string shown = ::testing::internal::GetCapturedStderr();
    unsetenv("TUNDRA_HIDE_D3D8");
    EXPECT_NE(shown.find("Minimum requirements not met."), std::string::npos);
    EXPECT_NE(shown.find("You need DirectX 8.0 or above to run Tundra!"), std::string::npos);
    EXPECT_EQ(ScopedDirect3DFactory::createCount(), 0);
    g_device = nullptr;
    g_d3d = nullptr;
}

TEST(WindowSize, ScalesTowardZeroWithinRangeAndAspectDivides) {
    const struct {
        int size;
        float scaling;
        int extent;
    } rows[] = {{801, 0.999f, 800},        {-799, 0.5f, -399},       {800, std::nanf(""), 0},
                {INT_MAX, 1e30f, INT_MAX}, {800, INFINITY, INT_MAX}, {INT_MIN, 2.0f, INT_MIN}};
    for (const auto& row : rows)
        EXPECT_EQ(OuterWindowExtent(row.size, row.scaling), row.extent)
            << row.size << " " << row.scaling;
    EXPECT_NEAR(AspectRatio(800, 600), 1.333333f, 1e-6f);
    EXPECT_FLOAT_EQ(AspectRatio(1280, 800), 1.6f);
}

}  // namespace
