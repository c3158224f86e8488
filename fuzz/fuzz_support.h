// Shared by the fuzz targets: the readers take names below "data\", so each
// input is written to a file in a private working directory first.
#pragma once

#include "support/recording_device.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace tundra_fuzz {

// Stops the run with a message; libFuzzer saves the input that got here.
[[noreturn]] inline void Fail(const std::string& what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
    std::abort();
}

inline void WriteDataFile(const std::string& name, const uint8_t* data, size_t size) {
    static const bool entered = [] {
        char pattern[] = "/tmp/tundra-fuzz-XXXXXX";
        if (!mkdtemp(pattern)) Fail("cannot make a scratch directory");
        std::filesystem::create_directory(std::filesystem::path(pattern) / "data");
        std::filesystem::current_path(pattern);
        return true;
    }();
    std::ofstream file("data/" + name, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    if (!entered || !file.good()) Fail("cannot write data/" + name);
}

// Everything the code under test created must be released and unlocked.
inline void CheckDeviceClean(const tundra_test::RecordingDevice& device) {
    for (const auto& list : {device.leaks(), device.referenceErrors(), device.stillLocked()})
        if (!list.empty()) Fail("device not left clean: " + list.front());
}

}  // namespace tundra_fuzz
