// The position file "data\posFile.pos": the camera's position and angles as
// six numbers, each followed by one space, in the classic locale.
#include "input/input.h"

#include "app/globals.h"
#include "app/log.h"
#include "camera/camera.h"
#include "text/console.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <istream>
#include <locale>
#include <string>

namespace {

const char* const kPositionFile = "data\\posFile.pos";
constexpr int kFields = 6;

// A failure goes to the log as well as to the console: unlike the success
// lines, it is worth finding again after the run. Not flushed: start-up
// copies the flushed log into the console right after its restore, and the
// console has the line already.
void ReportFailure(const std::string& line) {
    g_console.print(line + "\n");
    Log << line << '\n';
}

// Reads one number, then skips the white space after it. Text beyond single
// precision fails like any other non-number (the stream flags it instead of
// storing infinity).
bool ReadField(std::istream& in, float& target) {
    float value = 0.0f;
    if (!(in >> value) || !std::isfinite(value)) return false;
    target = value;
    in >> std::ws;
    return true;
}

// Why the file holds no placement, or "" when all six numbers were read.
std::string ReadPlacement(std::istream& in, float (&fields)[kFields]) {
    for (int i = 0; i < kFields; ++i)
        if (!ReadField(in, fields[i]))
            return "damaged: number " + std::to_string(i + 1) + " of " + std::to_string(kFields) +
                   " is missing or unreadable";
    return "";
}

}  // namespace

void Input::savePosition(DWORD) {
    std::ofstream file(NativePath(kPositionFile));
    file.imbue(std::locale::classic());
    file << g_camera.position.x << ' ' << g_camera.position.y << ' ' << g_camera.position.z << ' ';
    file << g_camera.pitch << ' ' << g_camera.yaw << ' ' << g_camera.roll << ' ';
    // Closing flushes: a full disk shows only there.
    file.close();
    if (file) g_console.print("Current position saved to file\n");
    else ReportFailure(std::string("Couldn't save the position to file: ") + kPositionFile);
}

// All six numbers or none: a placement half read from a damaged file is one
// nobody saved.
void Input::loadPosition(DWORD) {
    const std::string failed = std::string("Position not loaded from ") + kPositionFile + ": ";
    std::ifstream file(NativePath(kPositionFile));
    if (!file.is_open()) {
        std::error_code error;
        const bool exists = std::filesystem::exists(NativePath(kPositionFile), error);
        return ReportFailure(failed + (exists ? "it cannot be read" : "no saved position"));
    }
    file.imbue(std::locale::classic());
    float fields[kFields] = {};
    const std::string fault = ReadPlacement(file, fields);
    if (!fault.empty()) return ReportFailure(failed + fault);
    g_camera.position.set(fields[0], fields[1], fields[2]);
    g_camera.pitch = fields[3];
    g_camera.yaw = fields[4];
    g_camera.roll = fields[5];
    g_console.print("Loaded position from file\n");
}
