// The data files a whole viewer run reads: a configuration, a small font, a
// grey 8 x 8 marble texture and a level whose one face lies behind the
// starting camera (frames show the clear colour and the texts only).
#pragma once

#include "support/config_text.h"
#include "tools/common/font_writer.h"
#include "tools/common/world_writer.h"
#include <cstdint>
#include <fstream>
#include <string>

namespace shell_data {
// A 24-bit bottom-up BMP of one grey (8 x 8: rows need no padding); the two-byte
// fields, 1 plane and 24 bits a pixel, share one little-endian word.
inline std::string GreyBmp(uint8_t grey) {
    std::string bytes = "BM";
    for (uint32_t word : {54 + 192, 0, 54, 40, 8, 8, 1 | 24 << 16, 0, 192, 2835, 2835, 0, 0})
        for (int i = 0; i < 4; ++i) bytes += char(word >> (8 * i));
    return bytes + std::string(192, char(grey));
}
inline tundra_formats::GeomLevel LevelBehindTheCamera() {
    tundra_formats::GeomLevel level;
    level.vertices = {{-1, -1, -4}, {-1, 1, -4}, {1, 1, -4}, {1, -1, -4}};
    level.polygons = {{0, 4}};
    level.textures = {{"textures/marble"}};
    level.lightmaps.resize(1);
    level.lightmaps[0].fill(255, 255, 255);
    return level;
}
// 320 x 240: small frames keep many read-backs cheap.
inline std::string SmallConfig() {
    return ConfigText().set("screen width", "320").set("screen height", "240").text();
}
// 64 units behind the origin looking along +z: the face fills the middle.
inline const char* const kPlacementFacingTheLevel = "0 0 -64 0 0 0 ";
// Writes data/default.cfg (the given text), font.f, marble.bmp and world.geom below `root`.
inline bool WriteAll(const std::string& root, const std::string& configText) {
    std::ofstream(root + "/data/default.cfg", std::ios::binary) << configText;
    std::ofstream(root + "/data/marble.bmp", std::ios::binary) << GreyBmp(0xC0);
    return tundra_formats::WriteFontFile(root + "/data/font.f",
                                         tundra_formats::UniformFont(8, 16, 6, 12)) &&
           tundra_formats::WriteWorldGeom(root + "/data/world.geom", LevelBehindTheCamera());
}
}  // namespace shell_data