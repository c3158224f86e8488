// The position file "data\posFile.pos": the camera ends up finite.
#include "input/input.h"

#include "app/globals.h"
#include "camera/camera.h"
#include "fuzz_support.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tundra_fuzz::WriteDataFile("posFile.pos", data, size);
    g_camera.setPosition(1.0f, 2.0f, 3.0f);
    g_camera.pitch = g_camera.yaw = g_camera.roll = 0.5f;
    Input::loadPosition(1);
    for (float value : {g_camera.position.x, g_camera.position.y, g_camera.position.z,
                        g_camera.pitch, g_camera.yaw, g_camera.roll})
        if (!std::isfinite(value)) tundra_fuzz::Fail("a camera field is not finite");
    return 0;
}
