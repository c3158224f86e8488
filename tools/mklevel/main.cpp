// mklevel: builds the sample level, bakes its lightmaps and writes world.geom.
#include "tools/common/world_writer.h"
#include "tools/mklevel/geometry.h"
#include "tools/mklevel/lightmap.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <string>

namespace {

const char kUsage[] =
    "Usage: mklevel [--luxel-size N] [OUTPUT]\n"
    "\n"
    "Builds the sample level and writes it as a Tundra level file (world.geom):\n"
    "a pillared hall with stairs up to a gallery, a doorway from the gallery\n"
    "into a second hall, and an arch with a ramp down into a lower room. The\n"
    "start point (the origin, looking along +z) stands in the first hall.\n"
    "\n"
    "Lightmaps are baked into 128 x 128 pages: coloured point lights with\n"
    "ray-cast shadows plus an ambient term darkened in corners. A stored value\n"
    "of 128 leaves the surface texture unchanged (the viewer doubles it). The\n"
    "same arguments always give the same file.\n"
    "\n"
    "  OUTPUT           file to write (default: world.geom)\n"
    "  --luxel-size N   world units per lightmap texel, 4 to 64 (default: 16)\n"
    "  --help           show this text and exit\n";

int Fail(const std::string& message) {
    std::cerr << "mklevel: " << message << "\n(try mklevel --help)\n";
    return 2;
}

bool ParseLuxelSize(const char* text, float& size) {
    if (text == nullptr) return false;
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < 4 || value > 64) return false;
    size = static_cast<float>(value);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string output = "world.geom";
    bool haveOutput = false;
    mklevel::BakeSettings settings;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (arg == "--luxel-size") {
            if (!ParseLuxelSize(i + 1 < argc ? argv[i + 1] : nullptr, settings.luxelSize))
                return Fail("--luxel-size needs a whole number from 4 to 64");
            ++i;
        } else if (!arg.empty() && arg[0] == '-') {
            return Fail("unknown option " + arg);
        } else if (haveOutput) {
            return Fail("more than one output file given");
        } else {
            output = arg;
            haveOutput = true;
        }
    }

    const auto start = std::chrono::steady_clock::now();
    const mklevel::Level level = mklevel::BuildSampleLevel();
    const mklevel::BakedLevel baked = mklevel::Bake(level, settings);
    const tundra_formats::GeomLevel file = mklevel::MakeGeomLevel(level, baked);
    if (!tundra_formats::WriteWorldGeom(output, file)) {
        std::cerr << "mklevel: cannot write " << output << "\n";
        return 1;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cout << "mklevel: wrote " << output << ": " << file.polygons.size() << " polygons, "
              << file.vertices.size() << " vertices, " << file.lightmaps.size() << " lightmaps, "
              << level.lights.size() << " lights (" << seconds << " s)\n";
    return 0;
}
