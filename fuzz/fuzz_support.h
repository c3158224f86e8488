// The readers take names below "data\": each input becomes a file there first.
#pragma once

#include "support/recording_device.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace tundra_fuzz {

[[noreturn]] inline void Fail(const std::string& what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
    std::abort();
}

inline void WriteDataFile(const std::string& name, const uint8_t* data, size_t size) {
    static char directory[] = "/tmp/tundra-fuzz-XXXXXX";
    static const bool entered = mkdtemp(directory) &&
                                std::filesystem::create_directory(std::string(directory) + "/data");
    const std::string path = std::string(directory) + "/data/" + name;
    if (!entered || chdir(directory) != 0 ||
        !std::ofstream(path, std::ios::binary)
             .write(reinterpret_cast<const char*>(data), long(size)))
        Fail("cannot write " + path);
}

inline void CheckDeviceClean(const tundra_test::RecordingDevice& device) {
    if (!device.problems().empty()) Fail("device not left clean: " + device.problems().front());
}

}  // namespace tundra_fuzz
