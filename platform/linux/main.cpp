// The Linux process entry: tunes the allocator, then runs the Windows entry
// point with the command line joined as Windows would hand it over.
#include "win32.h"

#include <malloc.h>

#include <string>

namespace {

// llvmpipe allocates and frees multi-megabyte buffers every frame; with
// glibc's defaults each becomes a fresh mapping, which slows rendering several
// times. Keeping such blocks on the heap avoids that.
void TuneAllocator() {
    // 32 MiB is the largest mmap threshold glibc accepts on 64-bit systems.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
}

std::string JoinArguments(int argc, char** argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) line += ' ';
        line += argv[i];
    }
    return line;
}

}  // namespace

int main(int argc, char** argv) {
    TuneAllocator();
    std::string commandLine = JoinArguments(argc, argv);
    return WinMain(GetModuleHandleA(nullptr), nullptr, &commandLine[0], SW_SHOWDEFAULT);
}
