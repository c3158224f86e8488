// A 64-bit FNV-1a hash of a frame's colours (alpha ignored), as the fault
// plan's "lose" writes it.
#pragma once

#include <cstdint>
#include <vector>

namespace tundra_hooks {

inline uint64_t FrameHash(const std::vector<uint32_t>& pixels) {
    uint64_t hash = 14695981039346656037ull;
    for (uint32_t pixel : pixels) {
        for (int shift = 0; shift < 24; shift += 8) {
            hash ^= (pixel >> shift) & 0xFFu;
            hash *= 1099511628211ull;
        }
    }
    return hash;
}

}  // namespace tundra_hooks
