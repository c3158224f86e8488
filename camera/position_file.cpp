// The position file "data\posFile.pos": the camera's position and angles as
// six numbers, each followed by one space, in the classic locale.
#include "input/input.h"

#include "app/globals.h"
#include "camera/camera.h"
#include "text/console.h"

#include <cmath>
#include <fstream>
#include <istream>
#include <locale>

namespace {

const char* const kPositionFile = "data\\posFile.pos";

// Reads one number into target, then skips the white space after it. A read
// that fails leaves target alone and the stream failed, so every later read
// fails too. Text beyond single precision fails like any other non-number
// (the stream flags it instead of storing infinity).
void ReadField(std::istream& in, float& target) {
    float value = 0.0f;
    if (!(in >> value)) return;
    if (!std::isfinite(value)) {
        in.setstate(std::ios::failbit);
        return;
    }
    target = value;
    in >> std::ws;
}

}  // namespace

void Input::savePosition(DWORD) {
    std::ofstream file(NativePath(kPositionFile));
    file.imbue(std::locale::classic());
    file << g_camera.position.x << ' ' << g_camera.position.y << ' ' << g_camera.position.z << ' ';
    file << g_camera.pitch << ' ' << g_camera.yaw << ' ' << g_camera.roll << ' ';
    g_console.print("Current position saved to file\n");
}

void Input::loadPosition(DWORD) {
    std::ifstream file(NativePath(kPositionFile));
    file.imbue(std::locale::classic());
    for (float* field : {&g_camera.position.x, &g_camera.position.y, &g_camera.position.z,
                         &g_camera.pitch, &g_camera.yaw, &g_camera.roll})
        ReadField(file, *field);
    g_console.print("Loaded position from file\n");
}
