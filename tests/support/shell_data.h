// The data files a whole viewer run reads, written into data/ of the working
// directory: a configuration, a small font, a marble texture and a level
// whose one face lies behind the starting camera (so frames show the clear
// colour and the texts only).
#pragma once

#include "support/config_text.h"
#include "tools/common/font_writer.h"
#include "tools/common/world_writer.h"

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace shell_data {

// A 24-bit bottom-up BMP of one colour.
inline std::string SolidBmp(int width, int height, uint8_t red, uint8_t green, uint8_t blue) {
    int rowBytes = (width * 3 + 3) & ~3;
    uint32_t pixelBytes = static_cast<uint32_t>(rowBytes * height);
    std::string bytes;
    auto put16 = [&bytes](uint32_t v) { bytes += char(v & 0xFF), bytes += char((v >> 8) & 0xFF); };
    auto put32 = [&put16](uint32_t v) { put16(v & 0xFFFF), put16(v >> 16); };
    bytes += "BM";
    put32(54 + pixelBytes);
    put32(0);
    put32(54);
    put32(40);
    put32(static_cast<uint32_t>(width));
    put32(static_cast<uint32_t>(height));
    put16(1);
    put16(24);
    put32(0);
    put32(pixelBytes);
    put32(2835);
    put32(2835);
    put32(0);
    put32(0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            bytes += char(blue), bytes += char(green), bytes += char(red);
        bytes.append(static_cast<size_t>(rowBytes - width * 3), '\0');
    }
    return bytes;
}

inline tundra_formats::GeomLevel LevelBehindTheCamera() {
    tundra_formats::GeomLevel level;
    const float corners[4][2] = {{-1, -1}, {-1, 1}, {1, 1}, {1, -1}};
    for (const auto& corner : corners) {
        tundra_formats::GeomVertex vertex;
        vertex.x = corner[0];
        vertex.y = corner[1];
        vertex.z = -4;
        level.vertices.push_back(vertex);
    }
    tundra_formats::GeomPolygon face;
    face.vertexCount = 4;
    level.polygons.push_back(face);
    level.textures.push_back({"textures/marble", 0});
    level.lightmaps.emplace_back();
    level.lightmaps.back().fill(255, 255, 255);
    return level;
}

// The font a run gets unless a test needs other glyph sizes.
inline std::vector<tundra_formats::FontGlyphRecord> StandardFont() {
    return tundra_formats::UniformFont(8, 16, 6, 12);
}

// A 320 x 240 configuration: small frames keep many read-backs cheap.
inline std::string SmallConfig() {
    return ConfigText().set("screen width", "320").set("screen height", "240").text();
}

// A saved placement 64 units behind the origin looking along +z: the one
// face of LevelBehindTheCamera then fills the middle of the frame.
inline const char* const kPlacementFacingTheLevel = "0 0 -64 0 0 0 ";

// Writes data/default.cfg (the given text), data/font.f, data/marble.bmp and
// data/world.geom below `root`.
inline bool WriteAll(const std::string& root, const std::string& configText,
                     const std::vector<tundra_formats::FontGlyphRecord>& font = StandardFont()) {
    std::ofstream config(root + "/data/default.cfg", std::ios::binary);
    config << configText;
    std::ofstream marble(root + "/data/marble.bmp", std::ios::binary);
    marble << SolidBmp(8, 8, 0xC0, 0xC0, 0xC0);
    bool written = config.good() && marble.good();
    written &= tundra_formats::WriteFontFile(root + "/data/font.f", font);
    written &= tundra_formats::WriteWorldGeom(root + "/data/world.geom", LevelBehindTheCamera());
    return written;
}

}  // namespace shell_data
