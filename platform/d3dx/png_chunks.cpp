// stb_image 2.27 copies each IDAT chunk into its buffer with memcpy, and
// for an empty first IDAT that buffer is still a null pointer: undefined
// behaviour even for 0 bytes. Empty IDAT chunks carry nothing, so they are
// taken out before stb_image sees the file.
// It also grows that buffer to each IDAT's stated length before reading it,
// so a few hundred bytes that claim a gigabyte of image data have it ask
// for the gigabyte: such a chunk is refused first.
#include "image.h"

#include "common/byte_reader.h"

#include <algorithm>

namespace tundra_d3dx {

namespace {

const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
const size_t kChunkOverhead = 12;  // length, type, CRC

bool IsImageData(const uint8_t* chunk) {
    return chunk[4] == 'I' && chunk[5] == 'D' && chunk[6] == 'A' && chunk[7] == 'T';
}

bool IsEmptyImageData(const uint8_t* chunk) {
    return ByteReader(chunk, kChunkOverhead).u32BigEndian() == 0 && IsImageData(chunk);
}

bool IsPng(const uint8_t* data, size_t size) {
    return size >= sizeof kPngSignature && std::equal(kPngSignature, kPngSignature + 8, data);
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
    if (!IsPng(data, size)) return kept;
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

std::string PngProblemForStb(const uint8_t* data, size_t size) {
    if (!IsPng(data, size)) return "";
    size_t end = sizeof kPngSignature;
    ForEachChunk(data, size, [&](size_t at, size_t bytes) { end = at + bytes; });
    // The first chunk that is not complete: its type follows its length.
    if (size - end < 8 || !IsImageData(data + end)) return "";
    return "an image data chunk runs past the end of the file";
}

}  // namespace tundra_d3dx
