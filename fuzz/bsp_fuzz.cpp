// The level converter on a .pk3 archive or a .bsp level: damage is a BspError
// with a message; a converted level points only inside its own arrays.
#include "level_converter.h"
#include "pk3_archive.h"

#include "fuzz_support.h"

#include <cstring>

static void Convert(const std::vector<uint8_t>& bytes) {
    const bsp::BspFile file(bytes);
    const tundra_formats::GeomLevel level = bsp::ConvertLevel(file).level;
    for (const auto& p : level.polygons)
        if (p.vertexCount < 3 || p.firstVertex < 0 ||
            int64_t(p.firstVertex) + p.vertexCount > int64_t(level.vertices.size()) ||
            p.textureIndex < 0 || size_t(p.textureIndex) >= level.textures.size() ||
            p.lightmapIndex < 0 || size_t(p.lightmapIndex) >= level.lightmaps.size())
            tundra_fuzz::Fail("a polygon outside its vertices, textures or lightmaps");
    bsp::SpawnPoints(file.entities);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        if (size < 4 || std::memcmp(data, "PK\x03\x04", 4) != 0)
            return Convert(std::vector<uint8_t>(data, data + size)), 0;
        const bsp::Pk3Archive archive(std::vector<uint8_t>(data, data + size));
        for (const std::string& name : archive.mapNames()) Convert(archive.extract(name));
    } catch (const bsp::BspError& error) {
        if (std::strlen(error.what()) == 0) tundra_fuzz::Fail("a BspError without a message");
    }
    return 0;
}
