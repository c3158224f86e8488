// stb_image 2.27 copies each IDAT chunk into its buffer with memcpy, and
// for an empty first IDAT that buffer is still a null pointer: undefined
// behaviour even for 0 bytes. Empty IDAT chunks carry nothing, so they are
// taken out before stb_image sees the file.
#include "image.h"

#include "platform/byte_reader.h"

#include <algorithm>

namespace tundra_d3dx {

namespace {

const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
const size_t kChunkOverhead = 12;  // length, type, CRC

bool IsEmptyImageData(const uint8_t* chunk) {
    return ByteReader(chunk, kChunkOverhead).u32BigEndian() == 0 && chunk[4] == 'I' &&
           chunk[5] == 'D' && chunk[6] == 'A' && chunk[7] == 'T';
}

// Calls visit(offset, wholeChunkBytes) for every complete chunk; stops at the
// first one that runs past the end (stb_image reports that itself).
template <typename Visit>
void ForEachChunk(const uint8_t* data, size_t size, Visit visit) {
    ByteReader lengths(data, size);
    size_t at = sizeof kPngSignature;
    while (size - at >= kChunkOverhead) {
        const uint64_t bytes = uint64_t(lengths.seek(at).u32BigEndian()) + kChunkOverhead;
        if (bytes > size - at) return;
        visit(at, size_t(bytes));
        at += size_t(bytes);
    }
}

}  // namespace

std::vector<uint8_t> WithoutEmptyImageData(const uint8_t* data, size_t size) {
    std::vector<uint8_t> kept;
    if (size < sizeof kPngSignature || !std::equal(kPngSignature, kPngSignature + 8, data))
        return kept;
    bool found = false;
    ForEachChunk(data, size,
                 [&](size_t at, size_t) { found = found || IsEmptyImageData(data + at); });
    if (!found) return kept;
    kept.assign(data, data + sizeof kPngSignature);
    size_t end = sizeof kPngSignature;
    ForEachChunk(data, size, [&](size_t at, size_t bytes) {
        if (!IsEmptyImageData(data + at)) kept.insert(kept.end(), data + at, data + at + bytes);
        end = at + bytes;
    });
    kept.insert(kept.end(), data + end, data + size);  // an incomplete last chunk stays
    return kept;
}

}  // namespace tundra_d3dx
