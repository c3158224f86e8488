// Turns an id Tech 3 level into the viewer's level format: polygons become
// triangle fans, meshes fans of their triangles, Bezier patches tessellated
// grids; positions go from right-handed z-up to left-handed y-up (y and z
// swapped) at one eighth of their size. Polygons come out grouped by texture
// and lightmap, because the file order is the draw order.
#pragma once

#include "bsp_file.h"
#include "fan_builder.h"
#include "tools/common/world_writer.h"

#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace bsp {

struct ConvertOptions {
    int patchLevel = 4;       // subdivisions per Bezier segment (1 .. kMaxPatchLevel)
    bool keepSky = false;     // sky faces are left out unless asked for
    int overbrightShift = 0;  // lightmap brightening in bits (0 .. 2), colour-preserving
    bool visibility = true;   // write the tree and visible sets after the lightmaps
};
constexpr int kMaxPatchLevel = 32;

struct ConvertStats {
    size_t polygonFaces = 0;    // type 1 faces converted
    size_t singleFanFaces = 0;  // ... of which became one fan
    size_t meshFaces = 0;
    size_t patchFaces = 0;
    size_t skippedFaces = 0;    // billboards, sky, nodraw, faces without triangles
    size_t rebasedFaces = 0;    // faces whose surface coordinates were moved near 0
    size_t replannedFaces = 0;  // faces whose surface coordinates were unusable
    bool neutralLightmapAdded = false;
};

struct ConvertedLevel {
    tundra_formats::GeomLevel level;
    std::vector<int> sourceFace;  // for each polygon, the level face it came from
    ConvertStats stats;
    std::string treeProblem;  // why a level with a damaged tree has no visibility
    std::vector<SpawnPoint> spawnPoints;
};

// Throws BspError for options out of range; the BspFile is already checked.
ConvertedLevel ConvertLevel(const BspFile& bsp, const ConvertOptions& options = {});

// Reads a .bsp file, or the entry mapName of a .pk3 archive when mapName is
// not empty, and converts it. Throws BspError.
ConvertedLevel ConvertFile(const std::string& path, const std::string& mapName,
                           const ConvertOptions& options = {});

// Where a level position lands in the viewer's coordinates (before the
// division by the file's position scale).
Vec3 ToViewerSpace(const float position[3]);

// The viewer's camera placement at a spawn point: the eye kEyeHeight above
// it, looking the spawn point's way. x y z pitch yaw roll, as the position
// file holds them.
constexpr float kEyeHeight = 26.0f;
std::array<float, 6> PlacementAt(const SpawnPoint& spawn);

}  // namespace bsp
