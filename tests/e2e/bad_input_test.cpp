// What the real viewer does with each of its files damaged: missing, empty,
// cut short, far too large, unreadable, a directory in its place; the log
// not creatable and the position file not writable. One row per case, each
// run headless on the real binary: whether the window is shown (start-up
// completes and frames run), the log lines, where the camera ends up, and a
// clean exit (under the sanitizer build: no leak, no invalid access).
#include "support/config_text.h"
#include "support/viewer_process.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace viewer_process;
namespace fs = std::filesystem;

// The saved placement faces the one face of the test level, which then
// fills the middle of the frame, while a camera left at the origin has it
// behind itself and sees the clear colour there.
const uint32_t kClear = 0x212121;

// The middle of a frame after start-up, when the window is shown: the level's
// face, or the clear colour (camera left at the origin, or no level).
enum class View { NotShown, Level, Clear };

struct Expected {
    View view;
    std::vector<std::string> log;  // in this order; empty: no log file at all
};

struct Row {
    const char* name;
    // Damages the data (or the working directory) below the scratch root.
    std::function<void(const fs::path& root)> damage;
    Expected expected;
    bool unprivileged = false;   // permissions must bind: run not as root
    bool savesPosition = false;  // the script presses F5 after moving
};

std::string ReadBytes(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}
void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << bytes;
}

fs::path Data(const fs::path& root, const char* name) { return root / "data" / name; }

std::function<void(const fs::path&)> Missing(const char* name) {
    return [name](const fs::path& root) { fs::remove(Data(root, name)); };
}
std::function<void(const fs::path&)> Empty(const char* name) {
    return [name](const fs::path& root) { WriteBytes(Data(root, name), ""); };
}
// Keeps the first `keep` bytes (negative: all but that many).
std::function<void(const fs::path&)> Truncated(const char* name, long keep) {
    return [name, keep](const fs::path& root) {
        std::string bytes = ReadBytes(Data(root, name));
        size_t kept = keep >= 0 ? size_t(keep) : bytes.size() - size_t(-keep);
        WriteBytes(Data(root, name), bytes.substr(0, kept));
    };
}
// Appends `extra` bytes of `fill` to a working file.
std::function<void(const fs::path&)> Padded(const char* name, size_t extra, char fill) {
    return [name, extra, fill](const fs::path& root) {
        WriteBytes(Data(root, name), ReadBytes(Data(root, name)) + std::string(extra, fill));
    };
}
// A level header whose counts match the file's size, the file made that
// large with a hole (it takes no disk space).
std::function<void(const fs::path&)> SparseLevel(int32_t vertices, int32_t lightmaps) {
    return [vertices, lightmaps](const fs::path& root) {
        const int32_t header[4] = {vertices, 0, 0, lightmaps};
        WriteBytes(Data(root, "world.geom"),
                   std::string(reinterpret_cast<const char*>(header), 16));
        fs::resize_file(Data(root, "world.geom"),
                        16 + 28 * uintmax_t(vertices) + 49156 * uintmax_t(lightmaps));
    };
}
// The sound level followed by a visibility section's tag and a 60 GB hole.
void AppendSparseVisibility(const fs::path& root) {
    const fs::path level = Data(root, "world.geom");
    { std::ofstream(level, std::ios::binary | std::ios::app) << "TVIS"; }
    fs::resize_file(level, fs::file_size(level) + (uintmax_t(60) << 30));
}
// 256 glyphs of 4096 x 4096 (the most one glyph may have), their bitmaps
// holes in a 4 GB file.
void WriteSparseFont(const fs::path& root) {
    const uintmax_t bitmap = 4096 * 4096;
    std::ofstream file(Data(root, "font.f"), std::ios::binary | std::ios::trunc);
    for (int code = 0; code < 256; ++code) {
        const uint32_t record[6] = {4096, 4096, 0, 0, 8, 16};
        file.seekp(std::streamoff(code * (24 + bitmap)));
        file.write(reinterpret_cast<const char*>(record), sizeof record);
    }
    file.close();
    fs::resize_file(Data(root, "font.f"), 256 * (24 + bitmap));
}
std::function<void(const fs::path&)> Unreadable(const char* name) {
    return [name](const fs::path& root) { chmod(Data(root, name).c_str(), 0); };
}
std::function<void(const fs::path&)> Directory(const char* name) {
    return [name](const fs::path& root) {
        fs::remove(Data(root, name));
        fs::create_directory(Data(root, name));
        WriteBytes(Data(root, name) / "inside", "a file inside the directory");
    };
}

const std::string kConfigLoaded = "Loaded configuration file: data\\default.cfg\n";
const std::string kConfigMissing = "Couldn't open the configuration file: data\\default.cfg\n";
const std::string kConfigFailed =
    "Something failed while loading the configuration file: data\\default.cfg\n";
const std::string kFontLoaded = "loading up font 'data\\font.f'\n";
const std::string kFontUnread = "couldn't read: data\\font.f";
const std::string kWorldLoaded = "LOADED: data\\world.geom\n";
const std::string kWorldMissing = "ERROR: Can't open world file: world.geom\n";
const std::string kWorldBeyondMemory = "a level may take; loading an empty level\n";
const std::string kOneFace = "number of polygons in map: 1\n";
const std::string kNoFaces = "number of polygons in map: 0\n";
const std::string kStarted = "InitGeometry went ok\n";
const std::string kRan = "crushing input.\n";
const std::string kNoDevice = "D3D object is history!\n";

// A configuration the device cannot be made from ends the run right after
// the Direct3D object: no window.
Expected NoDevice(const std::string& configLine) {
    return {View::NotShown, {kBanner, configLine, kNoDevice, kClosing}};
}
// The main texture cannot be loaded: the font is made and flushed, no window.
Expected NoMainTexture() {
    return {View::NotShown,
            {kConfigLoaded, "InitD3D went ok\n", kFontLoaded, "~~~flush font~~~\n",
             "Releasing D3Ddevice\n", kNoDevice, kClosing}};
}
Expected Runs(View view, std::vector<std::string> middle) {
    std::vector<std::string> log = {kBanner, kConfigLoaded};
    log.insert(log.end(), middle.begin(), middle.end());
    log.insert(log.end(),
               {kStarted, "Releasing main texture\n", "Releasing D3Ddevice\n", kRan, kClosing});
    return {view, log};
}
Expected RunsNormally() { return Runs(View::Level, {kFontLoaded, kWorldLoaded, kOneFace}); }

std::vector<Row> Rows() {
    return {
        // --- data/default.cfg ---
        {"ConfigMissing", Missing("default.cfg"), NoDevice(kConfigMissing)},
        {"ConfigEmpty", Empty("default.cfg"), NoDevice(kConfigFailed)},
        // Cut inside the back-buffer format name: an unknown format.
        {"ConfigTruncated",
         [](const fs::path& root) {
             std::string text = ReadBytes(Data(root, "default.cfg"));
             WriteBytes(Data(root, "default.cfg"),
                        text.substr(0, text.find("backbuffer format=X8R8") + 22));
         },
         NoDevice(kConfigFailed)},
        // 8 MB of comment lines after the settings change nothing.
        {"ConfigOversized",
         [](const fs::path& root) {
             std::string padding;
             for (int i = 0; i < 131072; ++i)
                 padding += "// a comment line of padding, sixty-four characters long ......\n";
             WriteBytes(Data(root, "default.cfg"), ReadBytes(Data(root, "default.cfg")) + padding);
         },
         RunsNormally()},
        // One line longer than the reader's line buffer, before the settings,
        // ends the reading: every key is missing.
        {"ConfigOverlongFirstLine",
         [](const fs::path& root) {
             WriteBytes(Data(root, "default.cfg"),
                        std::string(1 << 20, 'x') + "\n" + ReadBytes(Data(root, "default.cfg")));
         },
         NoDevice(kConfigFailed)},
        // Without a height the window has no client rows; the windowed back
        // buffer takes its height from there and the level is drawn.
        {"ConfigWithoutHeight",
         [](const fs::path& root) {
             WriteBytes(Data(root, "default.cfg"),
                        ConfigText().set("screen width", "320").remove("screen height").text());
         },
         {View::Level,
          {kBanner, kConfigFailed, "InitD3D went ok\n", kWorldLoaded, kOneFace, kStarted, kRan,
           kClosing}}},
        {"ConfigUnreadable", Unreadable("default.cfg"), NoDevice(kConfigMissing), true},
        // A directory opens on Linux but gives no line: every key is missing.
        {"ConfigDirectory", Directory("default.cfg"), NoDevice(kConfigFailed)},

        // --- data/world.geom: any damage leaves an empty level; the run goes on ---
        {"WorldMissing", Missing("world.geom"), Runs(View::Clear, {kWorldMissing, kNoFaces})},
        {"WorldEmpty", Empty("world.geom"),
         Runs(View::Clear,
              {kWorldLoaded,
               "ERROR: World file data\\world.geom is shorter than its 16-byte header", kNoFaces})},
        {"WorldTruncated", Truncated("world.geom", -1000),
         Runs(View::Clear,
              {kWorldLoaded, "ERROR: World file data\\world.geom is too short", kNoFaces})},
        // 16 MB after the last record are ignored.
        {"WorldOversized", Padded("world.geom", 16 << 20, '\x7f'), RunsNormally()},
        // A header counting 2^31 - 1 lightmaps (about 100 TB) in a small file.
        {"WorldCountsBeyondTheFile",
         [](const fs::path& root) {
             std::string bytes = ReadBytes(Data(root, "world.geom"));
             bytes.replace(12, 4, "\xff\xff\xff\x7f", 4);
             WriteBytes(Data(root, "world.geom"), bytes);
         },
         Runs(View::Clear,
              {kWorldLoaded, "ERROR: World file data\\world.geom is too short", kNoFaces})},
        // Counts that match a 60 GB and a 29.5 GB file: more than a level may
        // take in memory.
        {"WorldVerticesBeyondMemory", SparseLevel(0x7fffffff, 0),
         Runs(View::Clear, {kWorldLoaded, kWorldBeyondMemory, kNoFaces})},
        {"WorldLightmapsBeyondMemory", SparseLevel(0, 600000),
         Runs(View::Clear, {kWorldLoaded, kWorldBeyondMemory, kNoFaces})},
        {"WorldVisibilityBeyondMemory", AppendSparseVisibility,
         Runs(View::Level, {kWorldLoaded, "visibility section (it is larger than", kOneFace})},
        {"WorldUnreadable", Unreadable("world.geom"), Runs(View::Clear, {kWorldMissing, kNoFaces}),
         true},
        // A directory opens on Linux but reads as no bytes at all.
        {"WorldDirectory", Directory("world.geom"),
         Runs(View::Clear,
              {kWorldLoaded,
               "ERROR: World file data\\world.geom is shorter than its 16-byte header", kNoFaces})},

        // --- data/font.f: any damage leaves a font that draws nothing ---
        {"FontMissing", Missing("font.f"), Runs(View::Level, {kFontUnread, kWorldLoaded})},
        {"FontEmpty", Empty("font.f"), Runs(View::Level, {kFontUnread, kWorldLoaded})},
        {"FontTruncated", Truncated("font.f", -1), Runs(View::Level, {kFontUnread, kWorldLoaded})},
        {"FontOversized", Padded("font.f", 16 << 20, '\xff'), RunsNormally()},
        // The first glyph claims a 65535 x 65535 bitmap (4 GB) the file does not hold.
        {"FontGlyphBeyondTheFile",
         [](const fs::path& root) {
             std::string bytes = ReadBytes(Data(root, "font.f"));
             bytes.replace(0, 8, "\xff\xff\x00\x00\xff\xff\x00\x00", 8);
             WriteBytes(Data(root, "font.f"), bytes);
         },
         Runs(View::Level, {kFontUnread, kWorldLoaded})},
        {"FontBeyondMemory", WriteSparseFont, Runs(View::Level, {kFontUnread, kWorldLoaded})},
        {"FontUnreadable", Unreadable("font.f"), Runs(View::Level, {kFontUnread, kWorldLoaded}),
         true},
        {"FontDirectory", Directory("font.f"), Runs(View::Level, {kFontUnread, kWorldLoaded})},

        // --- data/marble.bmp: without the main texture the window is never shown ---
        {"TextureMissing", Missing("marble.bmp"), NoMainTexture()},
        {"TextureEmpty", Empty("marble.bmp"), NoMainTexture()},
        {"TextureTruncated", Truncated("marble.bmp", 100), NoMainTexture()},
        // A header claiming 1,000,000 x 1,000,000 pixels.
        {"TextureOversized",
         [](const fs::path& root) {
             std::string bytes = ReadBytes(Data(root, "marble.bmp"));
             bytes.replace(18, 8, "\x40\x42\x0f\x00\x40\x42\x0f\x00", 8);
             WriteBytes(Data(root, "marble.bmp"), bytes);
         },
         NoMainTexture()},
        {"TextureUnreadable", Unreadable("marble.bmp"), NoMainTexture(), true},
        {"TextureDirectory", Directory("marble.bmp"), NoMainTexture()},

        // --- data/posFile.pos: the camera keeps what could not be read ---
        {"PositionMissing", Missing("posFile.pos"), Runs(View::Clear, {kWorldLoaded, kOneFace})},
        {"PositionEmpty", Empty("posFile.pos"), Runs(View::Clear, {kWorldLoaded, kOneFace})},
        // "0 0 -64": the position is read, the angles stay 0.
        {"PositionTruncated", Truncated("posFile.pos", 7),
         Runs(View::Level, {kWorldLoaded, kOneFace})},
        // Eight megabytes of digits after the six numbers: only the six count.
        {"PositionOversized", Padded("posFile.pos", 8 << 20, '7'),
         Runs(View::Level, {kWorldLoaded, kOneFace})},
        // A number too large for a float: the read fails and the rest is skipped.
        {"PositionNumberBeyondFloat",
         [](const fs::path& root) { WriteBytes(Data(root, "posFile.pos"), "1e999 0 -64 0 0 0 "); },
         Runs(View::Clear, {kWorldLoaded, kOneFace})},
        {"PositionUnreadable", Unreadable("posFile.pos"),
         Runs(View::Clear, {kWorldLoaded, kOneFace}), true},
        {"PositionDirectory", Directory("posFile.pos"),
         Runs(View::Clear, {kWorldLoaded, kOneFace})},

        // --- files the program writes ---
        // No log at all; the program starts and runs as usual.
        {"LogNotCreatable",
         [](const fs::path& root) { fs::create_directory(root / "logging.txt"); },
         {View::Level, {}}},
        // F5 after flying forward writes nothing; the saved placement stays.
        {"PositionNotWritable",
         [](const fs::path& root) { chmod(Data(root, "posFile.pos").c_str(), 0444); },
         RunsNormally(), true, true},
        // The same F5 with the file writable replaces it (the row above is
        // only meaningful if this one saves).
        {"PositionWritable", [](const fs::path&) {}, RunsNormally(), false, true},
    };
}

class BadInputTest : public ViewerTest, public ::testing::WithParamInterface<Row> {};

// Runs the viewer as the unprivileged user "nobody" when the tests run as
// root, for whom file permissions do not bind.
void DropRootInChild() {
    if (geteuid() != 0) return;
    const uid_t nobody = 65534;
    if (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0) _exit(125);
}

// Whether a user who is neither owner nor group member can reach and start
// the program.
bool OthersCanRun(const fs::path& program) {
    auto othersMay = [](const fs::path& path) {
        return (fs::status(path).permissions() & fs::perms::others_exec) != fs::perms::none;
    };
    if (!othersMay(program)) return false;
    for (fs::path dir = program.parent_path(); dir != dir.root_path(); dir = dir.parent_path())
        if (!othersMay(dir)) return false;
    return true;
}

View ViewOf(const std::vector<uint32_t>& pixels, int width, int height) {
    return pixels[size_t(height / 2) * width + width / 2] == kClear ? View::Clear : View::Level;
}

TEST_P(BadInputTest, RowHolds) {
    const Row& row = GetParam();
    writeData(shell_data::SmallConfig());
    scratch.writeData("posFile.pos", shell_data::kPlacementFacingTheLevel);
    const fs::path root = scratch.root();
    if (row.unprivileged && geteuid() == 0) {
        // The viewer runs as nobody: it must be able to enter the scratch
        // folders and write its log and stderr there.
        fs::permissions(root, fs::perms::all);
        fs::permissions(root / "data", fs::perms::all);
        if (!OthersCanRun(ViewerPath()))
            GTEST_SKIP() << "running as root, and the viewer cannot be started as nobody: "
                            "permissions would not bind";
    }
    row.damage(root);
    const std::string positionBefore = scratch.read("data/posFile.pos");

    // The frame after the start-up restored the placement; then flying
    // forward for 100 ms and F5 (on release) save the moved camera.
    writeScript(row.savesPosition
                    ? "100 capture frame.ppm\n200 key E down\n300 key E up\n350 key F5 down\n"
                      "400 key F5 up\n600 close\n"
                    : "100 capture frame.ppm\n200 close\n");
    pid_t child = start({"TUNDRA_SCRIPT=script.txt"},
                        row.unprivileged ? DropRootInChild : std::function<void()>());
    ViewerRun run = finish(child);

    EXPECT_EQ(0, run.exitCode) << run.stderrText;
    ExpectNoSanitizerReport(run.stderrText);
    EXPECT_EQ(row.expected.view == View::NotShown,
              run.stderrText.find("ended without showing its window") != std::string::npos)
        << run.stderrText;
    if (row.expected.log.empty()) {
        EXPECT_EQ("", run.log);
    } else {
        ExpectInOrder(run.log, row.expected.log);
        EXPECT_TRUE(EndsWith(run.log, kClosing)) << run.log;
        EXPECT_EQ(row.expected.view != View::NotShown, run.log.find(kStarted) != std::string::npos)
            << run.log;
    }

    int width = 0, height = 0;
    std::vector<uint32_t> frame;
    const bool shown = ReadPpm((root / "frame.ppm").string(), width, height, frame);
    ASSERT_EQ(row.expected.view != View::NotShown, shown);
    if (shown) {
        EXPECT_EQ(320, width);
        EXPECT_EQ(row.expected.view == View::Level ? "level" : "clear",
                  std::string(ViewOf(frame, width, height) == View::Level ? "level" : "clear"));
    }
    if (row.savesPosition) {
        const std::string positionAfter = scratch.read("data/posFile.pos");
        if (row.unprivileged) EXPECT_EQ(positionBefore, positionAfter);
        else EXPECT_NE(positionBefore, positionAfter);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, BadInputTest, ::testing::ValuesIn(Rows()),
                         [](const ::testing::TestParamInfo<Row>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
