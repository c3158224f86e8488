// bsp2geom: converts an id Tech 3 level into the viewer's world.geom.
#include "level_converter.h"
#include "pk3_archive.h"

#include <cstdlib>
#include <fstream>
#include <locale>
#include <iostream>
#include <string>
#include <vector>

namespace {

const char* const kUsage =
    "usage: bsp2geom [options] LEVEL.bsp OUT.geom\n"
    "       bsp2geom [options] ARCHIVE.pk3 maps/NAME.bsp OUT.geom\n"
    "       bsp2geom --list ARCHIVE.pk3\n"
    "\n"
    "Converts an id Tech 3 level (IBSP version 46) into world.geom.\n"
    "\n"
    "options:\n"
    "  --patch-level N   subdivisions per curved patch segment, 1..32 (default 4)\n"
    "  --keep-sky        keep sky faces (left out by default: the viewer has no sky)\n"
    "  --overbright N    brighten lightmaps by 2^N, 0..2 (default 0)\n"
    "  --no-visibility   leave out the visibility section (tree and visible sets)\n"
    "  --position FILE   also write a position file (posFile.pos) that places the\n"
    "                    camera at the level's first spawn point\n"
    "  --list            list the maps in an archive\n"
    "  --help            show this text\n";

struct Arguments {
    bsp::ConvertOptions options;
    bool list = false;
    std::string positionFile;
    std::vector<std::string> files;
};

int ParseNumber(const std::string& option, const char* text) {
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || value < -1000 || value > 1000)
        throw bsp::BspError("option " + option + " needs a whole number, not '" + text + "'");
    return int(value);
}

Arguments Parse(int argc, char** argv) {
    Arguments args;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) throw bsp::BspError("option " + arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--patch-level") args.options.patchLevel = ParseNumber(arg, value());
        else if (arg == "--overbright") args.options.overbrightShift = ParseNumber(arg, value());
        else if (arg == "--keep-sky") args.options.keepSky = true;
        else if (arg == "--no-visibility") args.options.visibility = false;
        else if (arg == "--position") args.positionFile = value();
        else if (arg == "--list") args.list = true;
        else if (arg.size() > 1 && arg[0] == '-') throw bsp::BspError("unknown option " + arg);
        else args.files.push_back(arg);
    }
    size_t expected = args.list ? 1 : args.files.size() == 3 ? 3 : 2;
    if (args.files.size() != expected) throw bsp::BspError("wrong number of file arguments");
    return args;
}

int List(const std::string& archive) {
    for (const std::string& name : bsp::Pk3Archive(bsp::ReadWholeFile(archive)).mapNames())
        std::cout << name << "\n";
    return 0;
}

void WritePosition(const std::string& path, const bsp::ConvertedLevel& converted) {
    if (converted.spawnPoints.empty()) throw bsp::BspError("the level has no spawn point");
    std::ofstream file(path);
    file.imbue(std::locale::classic());
    for (float value : bsp::PlacementAt(converted.spawnPoints.front())) file << value << ' ';
    if (!file.flush()) throw bsp::BspError("cannot write '" + path + "'");
}

int Convert(const Arguments& args) {
    std::string map = args.files.size() == 3 ? args.files[1] : "";
    bsp::ConvertedLevel converted = bsp::ConvertFile(args.files[0], map, args.options);
    const std::string& out = args.files.back();
    if (!tundra_formats::WriteWorldGeom(out, converted.level))
        throw bsp::BspError("cannot write '" + out + "'");
    if (!args.positionFile.empty()) WritePosition(args.positionFile, converted);
    const bsp::ConvertStats& s = converted.stats;
    std::cout << out << ": " << converted.level.vertices.size() << " vertices, "
              << converted.level.polygons.size() << " polygons, " << converted.level.textures.size()
              << " textures, " << converted.level.lightmaps.size() << " lightmaps"
              << (s.neutralLightmapAdded ? " (last one neutral)" : "") << "\n"
              << "faces: " << s.polygonFaces << " polygons (" << s.singleFanFaces
              << " as one fan), " << s.meshFaces << " meshes, " << s.patchFaces << " patches, "
              << s.skippedFaces << " skipped; surface coordinates rebased on " << s.rebasedFaces
              << ", replanned on " << s.replannedFaces << "\n";
    if (converted.level.visibility)
        std::cout << "visibility: " << converted.level.visibility->leaves.size() << " leaves, "
                  << converted.level.visibility->numClusters << " clusters\n";
    else if (!converted.treeProblem.empty())
        std::cout << "visibility: left out, " << converted.treeProblem << "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--help" || std::string(argv[i]) == "-h") {
            std::cout << kUsage;
            return 0;
        }
    try {
        Arguments args = Parse(argc, argv);
        return args.list ? List(args.files[0]) : Convert(args);
    } catch (const bsp::BspError& error) {
        std::cerr << "bsp2geom: " << error.what() << "\n";
        if (argc < 2) std::cerr << kUsage;
        return 1;
    } catch (const std::bad_alloc&) {
        std::cerr << "bsp2geom: out of memory\n";
        return 1;
    }
}
