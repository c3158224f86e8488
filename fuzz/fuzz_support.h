// Shared by the fuzz targets: the readers take file names below "data\", so
// each input is written to a file in a private working directory first.
#pragma once

#include "support/recording_device.h"

#include <cstdint>
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

// Enters a fresh directory with a data/ folder, once per process.
inline void EnterScratchDirectory() {
    static const bool entered = [] {
        char pattern[] = "/tmp/tundra-fuzz-XXXXXX";
        const char* made = mkdtemp(pattern);
        if (!made) Fail("cannot make a scratch directory");
        std::filesystem::create_directory(std::filesystem::path(made) / "data");
        std::filesystem::current_path(made);
        return true;
    }();
    (void)entered;
}

// Writes data/<name> with exactly these bytes.
inline void WriteDataFile(const std::string& name, const uint8_t* data, size_t size) {
    EnterScratchDirectory();
    std::ofstream file("data/" + name, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    if (!file.good()) Fail("cannot write data/" + name);
}

// Everything the code under test created must be released and unlocked.
inline void CheckDeviceClean(const tundra_test::RecordingDevice& device) {
    for (const auto& list : {device.leaks(), device.referenceErrors(), device.stillLocked()})
        if (!list.empty()) Fail("device not left clean: " + list.front());
}

}  // namespace tundra_fuzz
