// The switches of the GL Direct3D 8, read from the environment once, when
// the program first calls Direct3DCreate8, and copied into each device.
#pragma once

namespace gl_d3d8 {

struct Options {
    // Consecutive triangle draws under unchanged state go to GL as one
    // (off with TUNDRA_NO_BATCH=1).
    bool batching = true;
    // The window serves as the back buffer where its surface matches it
    // (off with TUNDRA_NO_DIRECT=1).
    bool directDrawing = true;
};

// Reads the options from the environment; only the first call in a process
// does anything (Direct3DCreate8).
void LoadOptions();
// The options of this process, as loaded and as tests changed them since;
// each device copies them when it is made.
Options& ProcessOptions();

}  // namespace gl_d3d8
