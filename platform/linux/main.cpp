// The Linux process entry: tunes the allocator and starts a scripted or
// recorded flight, then runs the Windows entry point with the command line
// joined as Windows would hand it over.
#include "flight.h"
#include "internal.h"
#include "win32.h"

#include <malloc.h>

#include <cstdio>
#include <fstream>
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

// The last non-empty line of the file ("" when there is none).
std::string LastLine(const char* path) {
    std::ifstream file(path);
    std::string line, last;
    while (std::getline(file, line))
        if (!line.empty()) last = line;
    return last;
}

// A program that ends before its window ever shows leaves nothing on screen
// and only an exit status: say why where a user looks. When
// WinMain returns, the log on disk ends with what start-up flushed; the
// shutdown's own lines mostly still wait in the stream's buffer.
void ReportEndWithoutWindow() {
    if (platform_linux::AnyWindowEverShown()) return;
    const std::string last = LastLine("logging.txt");
    if (last.empty())
        std::fprintf(stderr,
                     "Tundra ended without showing its window; logging.txt holds no line\n");
    else
        std::fprintf(stderr,
                     "Tundra ended without showing its window; the last line of logging.txt: "
                     "\"%s\"\n",
                     last.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    TuneAllocator();
    std::string commandLine = JoinArguments(argc, argv);
    platform_linux::StartFlight();
    const int status = WinMain(GetModuleHandleA(nullptr), nullptr, &commandLine[0], SW_SHOWDEFAULT);
    platform_linux::EndFlight();
    ReportEndWithoutWindow();
    return status;
}
