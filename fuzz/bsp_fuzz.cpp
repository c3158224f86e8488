// Fuzz target: the level converter's input. Bytes starting with a zip
// signature are read as a .pk3 archive and every map in it is converted;
// anything else is read as a .bsp level. Damage must surface as a BspError;
// a converted level must only point inside its own arrays.
#include "level_converter.h"
#include "pk3_archive.h"

#include "fuzz_support.h"

#include <cstring>
#include <string>
#include <vector>

using tundra_fuzz::Fail;

namespace {

void CheckLevel(const tundra_formats::GeomLevel& level) {
    for (const auto& polygon : level.polygons) {
        const int64_t end = int64_t(polygon.firstVertex) + polygon.vertexCount;
        if (polygon.vertexCount < 3 || polygon.firstVertex < 0 ||
            end > int64_t(level.vertices.size()))
            Fail("a polygon outside the vertex array");
        if (polygon.textureIndex < 0 || size_t(polygon.textureIndex) >= level.textures.size())
            Fail("a polygon with a texture outside the texture table");
        if (polygon.lightmapIndex < 0 || size_t(polygon.lightmapIndex) >= level.lightmaps.size())
            Fail("a polygon with a lightmap outside the lightmap table");
    }
}

void ConvertBytes(const std::vector<uint8_t>& bytes) {
    const bsp::BspFile file(bytes);
    CheckLevel(bsp::ConvertLevel(file).level);
    bsp::SpawnPoints(file.entities);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    try {
        if (size >= 4 && std::memcmp(data, "PK\x03\x04", 4) == 0) {
            const bsp::Pk3Archive archive(std::move(bytes));
            for (const std::string& name : archive.mapNames()) ConvertBytes(archive.extract(name));
        } else {
            ConvertBytes(bytes);
        }
    } catch (const bsp::BspError& error) {
        if (std::strlen(error.what()) == 0) Fail("a BspError without a message");
    }
    return 0;
}
