// The switches of the GL Direct3D 8, read from the environment once, when
// the program first calls Direct3DCreate8, and copied into each device.
#pragma once

#include <string>

namespace gl_d3d8 {

struct Options {
    // Consecutive triangle draws under unchanged state go to GL as one
    // (off with TUNDRA_NO_BATCH=1).
    bool batching = true;
    // The window serves as the back buffer where its surface matches it
    // (off with TUNDRA_NO_DIRECT=1).
    bool directDrawing = true;
    // The fault plan: TUNDRA_FAULT ("LockRect:3,CreateTexture:1") and the
    // file TUNDRA_FAULT_COUNTS names (see tundra_testing's fault plan).
    std::string faults;
    std::string faultCountsFile;
};

// Reads the options from the environment and starts the fault plan they
// name; only the first call in a process does anything (Direct3DCreate8).
void LoadOptions();
// The options of this process, as loaded and as the test hooks changed them
// since; each device copies them when it is made.
Options& ProcessOptions();

}  // namespace gl_d3d8
