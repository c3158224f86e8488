// TUNDRA_RECORD: the input the devices get, written as a flight script.
#include "dinput8.h"
#include "flight.h"
#include "input_internal.h"

#include <cstdio>

namespace platform_linux {

namespace {

FILE* g_record = nullptr;

const char* UpDown(DWORD data) { return (data & 0x80) ? "down" : "up"; }

void WriteRecord(const InputRecord& record) {
    const DWORD at = FlightTime(record.time);
    const LONG value = static_cast<LONG>(record.data);
    if (record.type == DeviceType::Keyboard) {
        const char* name = NameOfDik(static_cast<BYTE>(record.offset));
        if (name) std::fprintf(g_record, "%u key %s %s\n", at, name, UpDown(record.data));
        else std::fprintf(g_record, "%u key 0x%02x %s\n", at, record.offset, UpDown(record.data));
    } else if (record.offset == DIMOFS_X) {
        std::fprintf(g_record, "%u mouse %d 0\n", at, value);
    } else if (record.offset == DIMOFS_Y) {
        std::fprintf(g_record, "%u mouse 0 %d\n", at, value);
    } else if (record.offset == DIMOFS_Z) {
        std::fprintf(g_record, "%u wheel %d\n", at, value);
    } else {
        std::fprintf(g_record, "%u button %u %s\n", at, record.offset - DIMOFS_BUTTON0,
                     UpDown(record.data));
    }
}

}  // namespace

bool StartRecording(const char* path) {
    g_record = std::fopen(path, "w");
    if (!g_record) {
        std::fprintf(stderr, "flight: cannot write %s\n", path);
        return false;
    }
    std::fprintf(g_record, "# recorded by Tundra: play it with TUNDRA_SCRIPT=%s\n", path);
    SetInputRecordListener(WriteRecord);
    return true;
}

void EndRecording(DWORD at) {
    if (!g_record) return;
    SetInputRecordListener(nullptr);
    std::fprintf(g_record, "%u close\n", at);
    std::fclose(g_record);
    g_record = nullptr;
}

}  // namespace platform_linux
