#include "internal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace platform_linux {

namespace {

constexpr const char* kLogName = "logging.txt";

// The descriptor the program writes its log through, -1 when it has none.
// A line written through the program's own descriptor lands where the
// program has got to and moves it on: its next lines follow instead of
// overwriting it, which a second descriptor of the same file would do.
int ProgramLogDescriptor() {
    struct stat log {};
    if (stat(kLogName, &log) != 0 || !S_ISREG(log.st_mode)) return -1;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        const int descriptor = std::atoi(entry.path().filename().c_str());
        struct stat open {};
        if (fstat(descriptor, &open) != 0 || open.st_dev != log.st_dev ||
            open.st_ino != log.st_ino) {
            continue;
        }
        if ((fcntl(descriptor, F_GETFL) & O_ACCMODE) != O_RDONLY) return descriptor;
    }
    return -1;
}

}  // namespace

void WriteToProgramLog(const std::string& line) {
    const std::string text = line + "\n";
    const int descriptor = ProgramLogDescriptor();
    if (descriptor >= 0 && write(descriptor, text.data(), text.size()) < 0) {
        std::perror(kLogName);
    }
}

}  // namespace platform_linux
