// The level reader, World and one frame on any "data\world.geom": texture
// slots stay inside their table, the recording device takes every draw (none
// past the vertex buffer), every resource is released.
#include "world/world.h"
#include "world/world_file.h"

#include "app/globals.h"
#include "fuzz_support.h"
#include "support/log_capture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tundra_fuzz::WriteDataFile("world.geom", data, size);
    LogCapture log;
    tundra_test::RecordingDevice device;
    {
        World world("world.geom", &device, 4.0f / 3.0f);
        for (const Face& face : world.faces)
            if (face.textureIndex < 0 || size_t(face.textureIndex) >= world.textures.size())
                tundra_fuzz::Fail("a face with a texture slot outside the table");
        device.BeginScene();
        world.render();
        device.EndScene();
    }
    tundra_fuzz::CheckDeviceClean(device);
    return 0;
}
