// Benchmarks of the viewer on a real level, headless, on the real GL device.
//
//   tundra_bench fps  ARCHIVE.pk3 maps/NAME.bsp [--frames N] [--rounds R] [--placements K]
//                     [--screenshot PREFIX]
//   tundra_bench load ARCHIVE.pk3 maps/NAME.bsp [--repeats N]
//
// Both convert the level into data/world.geom in the working directory, which
// must also hold data/default.cfg and data/marble.bmp (bench/bench.sh sets
// this up). `fps` renders the level through the viewer's own frame
// (RenderFrame with World) from the level's spawn points, and the same
// triangles through the raw-GL ReferenceRenderer, in turns, and ends with
// "frame-rate ratio: R" (viewer / fastest reference, median round). `load` times building
// the World against reading the same file and uploading its lightmaps, and
// ends with "load ratio: R" (World / reference).
#include "reference_renderer.h"

#include "app/device.h"
#include "app/frame.h"
#include "app/globals.h"
#include "app/main.h"
#include "camera/camera.h"
#include "config/config.h"
#include "level_converter.h"
#include "pk3_archive.h"
#include "platform/linux/gl/gl_headers.h"
#include "platform/linux/gl/device_observer.h"
#include "world/visibility.h"
#include "world/world.h"

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Placement {
    float x, y, z, yaw;
};

struct Options {
    std::string mode, archive, map, screenshot;
    int frames = 10;  // per placement and round
    int rounds = 7;
    int placements = 4;
    int repeats = 5;
};

[[noreturn]] void Usage(const std::string& problem) {
    std::cerr << "tundra_bench: " << problem << "\n"
              << "usage: tundra_bench fps ARCHIVE.pk3 maps/NAME.bsp [--frames N] [--rounds R]"
                 " [--placements K] [--screenshot PREFIX]\n"
              << "       tundra_bench load ARCHIVE.pk3 maps/NAME.bsp [--repeats N]\n";
    std::exit(2);
}

Options Parse(int argc, char** argv) {
    Options options;
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto number = [&]() {
            if (i + 1 >= argc) Usage(arg + " needs a value");
            int value = std::atoi(argv[++i]);
            if (value < 1) Usage(arg + " needs a positive number");
            return value;
        };
        if (arg == "--frames") options.frames = number();
        else if (arg == "--rounds") options.rounds = number();
        else if (arg == "--placements") options.placements = number();
        else if (arg == "--repeats") options.repeats = number();
        else if (arg == "--screenshot" && i + 1 < argc) options.screenshot = argv[++i];
        else if (!arg.empty() && arg[0] == '-') Usage("unknown option " + arg);
        else positional.push_back(arg);
    }
    if (positional.size() != 3 || (positional[0] != "fps" && positional[0] != "load"))
        Usage("expected fps or load, an archive and a map name");
    options.mode = positional[0];
    options.archive = positional[1];
    options.map = positional[2];
    return options;
}

// The viewer's own allocator tuning (platform/linux/main.cpp), without
// which llvmpipe runs several times slower.
void TuneAllocator() {
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
}

// Eye height above a spawn point, in level units.
constexpr float kEyeHeight = 26.0f;

std::vector<Placement> Placements(const bsp::BspFile& bsp, const tundra_formats::GeomLevel& level,
                                  int wanted) {
    std::vector<bsp::SpawnPoint> spawns = bsp::SpawnPoints(bsp.entities);
    std::vector<Placement> placements;
    for (int i = 0; i < wanted && !spawns.empty(); ++i) {
        const bsp::SpawnPoint& spawn = spawns[size_t(i) * spawns.size() / size_t(wanted)];
        float eye[3] = {spawn.origin[0], spawn.origin[1], spawn.origin[2] + kEyeHeight};
        bsp::Vec3 at = bsp::ToViewerSpace(eye);
        // Level yaw 90 looks along +y there, which is +z here (camera yaw 0);
        // turning right from +z reaches +x, which is level yaw 0.
        float yaw = float((90.0 - spawn.yawDegrees) * M_PI / 180.0);
        placements.push_back({float(at.x), float(at.y), float(at.z), yaw});
        if (size_t(wanted) >= spawns.size() && size_t(i + 1) >= spawns.size()) break;
    }
    if (placements.empty() && !level.vertices.empty()) {  // no spawn points: the middle
        const tundra_formats::GeomVertex& v = level.vertices[level.vertices.size() / 2];
        const float s = tundra_formats::kGeomPositionScale;
        placements.push_back({v.x * s, v.y * s + kEyeHeight, v.z * s, 0});
    }
    return placements;
}

void PlaceCamera(const Placement& placement) {
    g_camera.setPosition(placement.x, placement.y, placement.z);
    g_camera.yaw = placement.yaw;
    g_camera.pitch = 0;
    g_camera.roll = 0;
    g_camera.movement = Vector4();
}

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

void WritePpm(const std::string& path, const std::vector<uint32_t>& pixels, UINT width,
              UINT height) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << width << " " << height << "\n255\n";
    for (uint32_t p : pixels) {
        char rgb[3] = {char((p >> 16) & 0xff), char((p >> 8) & 0xff), char(p & 0xff)};
        out.write(rgb, 3);
    }
}

double MeanDifference(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    if (a.size() != b.size() || a.empty()) return -1;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i)
        for (int shift : {0, 8, 16})
            sum += std::abs(int((a[i] >> shift) & 0xff) - int((b[i] >> shift) & 0xff));
    return sum / (3.0 * double(a.size()));
}

// --- set-up shared by both benchmarks ------------------------------------------------

struct Scene {
    bsp::BspFile bsp;
    bsp::ConvertedLevel converted;
    Config config{"default.cfg"};
    float aspect = 1;
};

HWND OpenWindow(const Config& config) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(WNDCLASSEXA);
    windowClass.style = CS_CLASSDC;
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "TundraBench";
    RegisterClassExA(&windowClass);
    // Frameless, so that the client area is the back buffer and the frame
    // rate measures drawing, not a scaled present.
    HWND window = CreateWindowExA(0, "TundraBench", "Tundra bench", WS_POPUP, 0, 0,
                                  config.screenWidth(), config.screenHeight(), GetDesktopWindow(),
                                  nullptr, windowClass.hInstance, nullptr);
    ShowWindow(window, SW_SHOWDEFAULT);
    return window;
}

bool StartDevice(Scene& scene) {
    HWND window = OpenWindow(scene.config);
    if (!window || FAILED(InitD3D(window, scene.config))) {
        std::cerr << "tundra_bench: no Direct3D device (is SDL_VIDEODRIVER=offscreen set?)\n";
        return false;
    }
    if (FAILED(D3DXCreateTextureFromFileExA(
            g_device, "data\\marble.bmp", D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0,
            D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_FILTER_TRIANGLE, D3DX_FILTER_TRIANGLE, 0, nullptr,
            nullptr, &g_mainTexture))) {
        std::cerr << "tundra_bench: cannot load data/marble.bmp\n";
        return false;
    }
    scene.aspect = AspectRatio(scene.config.screenWidth(), scene.config.screenHeight());
    return true;
}

void ReportLevel(const Options& options, const Scene& scene) {
    const tundra_formats::GeomLevel& level = scene.converted.level;
    size_t triangles = 0;
    for (const tundra_formats::GeomPolygon& p : level.polygons)
        triangles += size_t(p.vertexCount - 2);
    std::cout << "level: " << options.map << " (" << level.vertices.size() << " vertices, "
              << level.polygons.size() << " polygons, " << triangles << " triangles, "
              << level.lightmaps.size() << " lightmaps)\n";
}

// --- frame rate -----------------------------------------------------------------------

// The frame rate of `frames` frames from each placement, drawn by `draw`
// after two untimed frames per placement (the first frames upload textures
// and compile shaders). `finish` waits for the drawing's own context.
template <typename Draw, typename Finish>
double FramesPerSecond(const Options& options, const std::vector<Placement>& placements, Draw draw,
                       Finish finish) {
    double seconds = 0;
    for (const Placement& placement : placements) {
        PlaceCamera(placement);
        for (int i = 0; i < 2; ++i) draw();
        finish();
        Clock::time_point start = Clock::now();
        for (int i = 0; i < options.frames; ++i) draw();
        finish();
        seconds += Seconds(start);
    }
    return double(options.frames) * double(placements.size()) / seconds;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The viewer's picture from the first placement, to compare with the
// reference's: both must show the same thing for the comparison to mean much.
std::vector<uint32_t> ViewerImage(const Options& options,
                                  const std::vector<Placement>& placements) {
    std::vector<uint32_t> first;
    for (size_t p = 0; p < placements.size(); ++p) {
        PlaceCamera(placements[p]);
        RenderFrame();
        std::vector<uint32_t> pixels;
        UINT width = 0, height = 0;
        dynamic_cast<gl_d3d8::ObservedDevice*>(g_device)->readBack(pixels, width, height);
        if (p == 0) first = pixels;
        if (!options.screenshot.empty())
            WritePpm(options.screenshot + "-viewer-" + std::to_string(p) + ".ppm", pixels, width,
                     height);
    }
    return first;
}

void CompareFirstImage(ReferenceRenderer& reference, const Options& options,
                       const std::vector<Placement>& placements,
                       const std::vector<uint32_t>& viewerImage, const D3DXMATRIX& projection) {
    PlaceCamera(placements[0]);
    const float eye[3] = {placements[0].x, placements[0].y, placements[0].z};
    D3DXMATRIX view = g_camera.viewMatrix();
    reference.drawFrame(ReferenceRenderer::Mode::IndexedPerPair, eye, view, projection, false);
    std::vector<uint32_t> referencePixels = reference.readBack();
    reference.drawFrame(ReferenceRenderer::Mode::IndexedPerPair, eye, view, projection);
    std::cout << "mean colour difference viewer/reference at placement 0: "
              << MeanDifference(viewerImage, referencePixels) << " of 255\n";
    if (!options.screenshot.empty())
        WritePpm(options.screenshot + "-reference-0.ppm", referencePixels, UINT(reference.width()),
                 UINT(reference.height()));
}

// The viewer and the reference take turns, round after round, each drawing
// the same frames; each round's ratio compares rates measured seconds apart,
// so a machine whose speed drifts (other processes, clock changes) moves
// both sides of a ratio alike. The ratio of the median round is reported.
int RunFps(const Options& options, Scene& scene) {
    std::vector<Placement> placements =
        Placements(scene.bsp, scene.converted.level, options.placements);
    if (placements.empty()) {
        std::cerr << "tundra_bench: the level is empty\n";
        return 1;
    }
    g_world = new World("world.geom", g_device, scene.aspect);
    g_showConsole = g_showFps = false;
    const std::vector<uint32_t> viewerImage = ViewerImage(options, placements);

    ReferenceRenderer reference(scene.converted.level, g_mainTexture, scene.config.screenWidth(),
                                scene.config.screenHeight());
    D3DXMATRIX projection;
    D3DXMatrixPerspectiveFovLH(&projection, 0.7853982f, scene.aspect, 1.0f, 100000.0f);
    const ReferenceRenderer::Mode modes[] = {ReferenceRenderer::Mode::IndexedPerPair,
                                             ReferenceRenderer::Mode::MultiDrawPerPair,
                                             ReferenceRenderer::Mode::DrawPerFace};
    std::vector<double> viewerRates, modeRates[3];
    auto timeViewer = [&] {
        // The device's context stays current after its Present.
        viewerRates.push_back(FramesPerSecond(
            options, placements, [] { RenderFrame(); }, [] { glFinish(); }));
    };
    for (int round = 0; round < options.rounds; ++round) {
        // The viewer goes first in one round and last in the next, so that
        // neither side always runs right after the other's warm-up.
        if (round % 2 == 0) timeViewer();
        for (int m = 0; m < 3; ++m)
            modeRates[m].push_back(FramesPerSecond(
                options, placements,
                [&] {
                    const float eye[3] = {g_camera.position.x, g_camera.position.y,
                                          g_camera.position.z};
                    reference.drawFrame(modes[m], eye, g_camera.viewMatrix(), projection);
                },
                [&] { reference.finish(); }));
        if (round % 2 == 1) timeViewer();
        std::printf("round %d: viewer %.1f fps, reference %.1f / %.1f / %.1f fps\n", round + 1,
                    viewerRates.back(), modeRates[0].back(), modeRates[1].back(),
                    modeRates[2].back());
    }
    // The fastest way of the reference is the one with the best median round;
    // taking the best of three in each round instead would favour the
    // reference by the machine's noise alone.
    int fastest = 0;
    for (int m = 1; m < 3; ++m)
        if (Median(modeRates[m]) > Median(modeRates[fastest])) fastest = m;
    std::vector<double> ratios;
    for (int round = 0; round < options.rounds; ++round)
        ratios.push_back(viewerRates[size_t(round)] / modeRates[fastest][size_t(round)]);
    std::cout << "camera placements: " << placements.size() << " spawn points, " << options.frames
              << " frames each per round, " << options.rounds << " rounds, "
              << scene.config.screenWidth() << " x " << scene.config.screenHeight() << "\n";
    std::cout << "viewer (median round): " << Median(viewerRates) << " fps\n";
    for (int m = 0; m < 3; ++m)
        std::cout << "reference, " << ReferenceRenderer::Name(modes[m])
                  << " (median round): " << Median(modeRates[m]) << " fps\n";
    CompareFirstImage(reference, options, placements, viewerImage, projection);
    std::cout << "reference (fastest): " << ReferenceRenderer::Name(modes[fastest]) << "\n";
    std::printf("frame-rate ratio: %.3f\n", Median(ratios));
    return 0;
}

// --- loading ------------------------------------------------------------------------------

double ReadAndUploadSeconds(const std::string& path) {
    Clock::time_point start = Clock::now();
    std::ifstream file(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    int32_t counts[4] = {};
    if (bytes.size() >= sizeof counts) std::memcpy(counts, bytes.data(), sizeof counts);
    size_t lightmapStart = tundra_formats::kGeomHeaderBytes +
                           tundra_formats::kGeomVertexBytes * size_t(counts[0]) +
                           tundra_formats::kGeomPolygonBytes * size_t(counts[1]) +
                           tundra_formats::kGeomTextureBytes * size_t(counts[2]);
    std::vector<GLuint> textures(size_t(std::max(counts[3], 0)));
    glGenTextures(GLsizei(textures.size()), textures.data());
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (size_t i = 0; i < textures.size(); ++i) {
        size_t at = lightmapStart + i * tundra_formats::kGeomLightmapBytes + 4;
        if (at + tundra_formats::GeomLightmap::kTexelBytes > bytes.size()) break;
        glBindTexture(GL_TEXTURE_2D, textures[i]);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 128, 128, 0, GL_RGB, GL_UNSIGNED_BYTE, &bytes[at]);
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    // The visibility section, read and checked as the viewer must.
    const size_t sectionStart = lightmapStart +
                                tundra_formats::kGeomLightmapBytes * textures.size();
    VisibilityData visibility;
    if (sectionStart + sizeof kVisibilityTag <= bytes.size() &&
        std::memcmp(&bytes[sectionStart], kVisibilityTag, sizeof kVisibilityTag) == 0 &&
        !ReadVisibilitySection(reinterpret_cast<const unsigned char*>(&bytes[sectionStart]),
                               bytes.size() - sectionStart, counts[1], 8.0f, visibility)
             .empty())
        std::cerr << "tundra_bench: the visibility section is damaged\n";
    glFinish();
    double seconds = Seconds(start);
    glDeleteTextures(GLsizei(textures.size()), textures.data());
    return seconds;
}

int RunLoad(const Options& options, Scene& scene) {
    std::vector<double> world, reference;
    ReadAndUploadSeconds("data/world.geom");  // warms the file cache for both
    for (int i = 0; i < options.repeats; ++i) {
        Clock::time_point start = Clock::now();
        World* built = new World("world.geom", g_device, scene.aspect);
        glFinish();
        world.push_back(Seconds(start));
        delete built;
        reference.push_back(ReadAndUploadSeconds("data/world.geom"));
    }
    double bestWorld = *std::min_element(world.begin(), world.end());
    double bestReference = *std::min_element(reference.begin(), reference.end());
    std::ifstream file("data/world.geom", std::ios::binary | std::ios::ate);
    std::cout << "world.geom: " << file.tellg() / 1024 << " KiB\n"
              << "building the World: " << bestWorld * 1000 << " ms (best of " << options.repeats
              << ")\n"
              << "reading the file and uploading its lightmaps: " << bestReference * 1000
              << " ms\n";
    std::printf("load ratio: %.3f\n", bestWorld / bestReference);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    TuneAllocator();
    Options options = Parse(argc, argv);
    try {
        std::vector<uint8_t> bytes =
            bsp::Pk3Archive(bsp::ReadWholeFile(options.archive)).extract(options.map);
        Scene scene{bsp::BspFile(bytes), {}, Config("default.cfg"), 1};
        scene.converted = bsp::ConvertLevel(scene.bsp);
        if (!tundra_formats::WriteWorldGeom("data/world.geom", scene.converted.level)) {
            std::cerr
                << "tundra_bench: cannot write data/world.geom (run it from bench.sh's folder)\n";
            return 1;
        }
        if (!StartDevice(scene)) return 1;
        ReportLevel(options, scene);
        int result = options.mode == "fps" ? RunFps(options, scene) : RunLoad(options, scene);
        ReleaseAll();
        return result;
    } catch (const bsp::BspError& error) {
        std::cerr << "tundra_bench: " << error.what() << "\n";
        return 1;
    }
}
