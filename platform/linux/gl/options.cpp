#include "options.h"

#include <cstdlib>

namespace gl_d3d8 {

namespace {

bool SwitchedOff(const char* name) {
    const char* value = std::getenv(name);
    return value && value[0] == '1';
}

Options ReadEnvironment() {
    Options options;
    options.batching = !SwitchedOff("TUNDRA_NO_BATCH");
    options.directDrawing = !SwitchedOff("TUNDRA_NO_DIRECT");
    return options;
}

Options g_options;
bool g_loaded = false;

}  // namespace

void LoadOptions() {
    if (g_loaded) return;
    g_loaded = true;
    g_options = ReadEnvironment();
}

Options& ProcessOptions() { return g_options; }

}  // namespace gl_d3d8
