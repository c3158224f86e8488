// The multimedia timer: milliseconds of a monotonic clock, wrapping at 2^32
// like timeGetTime on Windows.
#include "win32.h"

#include <ctime>

DWORD WINAPI timeGetTime() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t milliseconds = static_cast<uint64_t>(now.tv_sec) * 1000u +
                            static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<DWORD>(milliseconds);  // keeps the low 32 bits
}
