// The level reader, World and one frame on any "data\world.geom": texture
// slots and draws stay inside their tables, every resource is released.
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
        const auto* buffer = device.vertexBuffer(1);
        const uint64_t vertices = buffer ? buffer->bytes().size() / World::kVertexStride : 0;
        for (const tundra_test::RecordedCall& draw : device.callsNamed("DrawPrimitive"))
            if (uint64_t(draw.args.at(1)) + draw.args.at(2) + 2 > vertices)  // a fan's last vertex
                tundra_fuzz::Fail("draw outside the vertex buffer: " + draw.text);
    }
    tundra_fuzz::CheckDeviceClean(device);
    return 0;
}
