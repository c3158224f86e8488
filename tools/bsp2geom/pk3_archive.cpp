#include "pk3_archive.h"

#include <zlib.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace bsp {
namespace {

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr size_t kEndSize = 22;
constexpr size_t kCentralSize = 46;
constexpr size_t kLocalSize = 30;
constexpr size_t kMaxCommentSize = 0xffff;
constexpr uint16_t kStored = 0;
constexpr uint16_t kDeflated = 8;
constexpr uint16_t kEncryptedFlag = 1;

uint16_t Read16(const uint8_t* at) { return uint16_t(at[0] | at[1] << 8); }
uint32_t Read32(const uint8_t* at) {
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 |
           uint32_t(at[3]) << 24;
}

template <typename... Parts>
[[noreturn]] void Fail(const Parts&... parts) {
    std::ostringstream message;
    message << "archive: ";
    (message << ... << parts);
    throw BspError(message.str());
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           std::equal(tail.rbegin(), tail.rend(), text.rbegin(),
                      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

std::vector<uint8_t> Inflate(const uint8_t* data, uint32_t compressedSize, uint32_t size,
                             const std::string& name) {
    std::vector<uint8_t> out(size);
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) Fail("entry '", name, "': inflate init failed");
    stream.next_in = const_cast<uint8_t*>(data);
    stream.avail_in = compressedSize;
    stream.next_out = out.data();
    stream.avail_out = size;
    int result = inflate(&stream, Z_FINISH);
    uLong produced = stream.total_out;
    inflateEnd(&stream);
    if (result != Z_STREAM_END || produced != size)
        Fail("entry '", name, "': compressed data is damaged (inflate gave ", produced,
             " of ", size, " bytes)");
    return out;
}

}  // namespace

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) throw BspError("cannot open '" + path + "'");
    std::streamoff size = file.tellg();
    if (size < 0 || uint64_t(size) > (1ull << 31)) throw BspError("cannot read '" + path + "'");
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    file.seekg(0);
    if (!file.read(reinterpret_cast<char*>(bytes.data()), size))
        throw BspError("cannot read '" + path + "'");
    return bytes;
}

Pk3Archive::Pk3Archive(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {
    readDirectory();
}

size_t Pk3Archive::findEndOfDirectory() const {
    if (bytes_.size() < kEndSize) Fail("file is too short to be a zip archive");
    size_t last = bytes_.size() - kEndSize;
    size_t first = last > kMaxCommentSize ? last - kMaxCommentSize : 0;
    for (size_t at = last + 1; at-- > first;)
        if (Read32(&bytes_[at]) == kEndSignature) return at;
    Fail("no end-of-directory record (not a zip archive)");
}

void Pk3Archive::readDirectory() {
    const uint8_t* end = &bytes_[findEndOfDirectory()];
    uint16_t count = Read16(end + 10);
    uint32_t directorySize = Read32(end + 12);
    uint32_t directoryOffset = Read32(end + 16);
    if (Read16(end + 4) != 0 || Read16(end + 6) != 0 || Read16(end + 8) != count)
        Fail("multi-disk archives are not supported");
    if (uint64_t(directoryOffset) + directorySize > bytes_.size())
        Fail("central directory (offset ", directoryOffset, ", size ", directorySize,
             ") lies outside the file (", bytes_.size(), " bytes)");
    size_t at = directoryOffset;
    size_t directoryEnd = size_t(directoryOffset) + directorySize;
    entries_.reserve(count);
    for (uint16_t i = 0; i < count; ++i) {
        if (at + kCentralSize > directoryEnd) Fail("central directory entry ", i, " is truncated");
        const uint8_t* header = &bytes_[at];
        if (Read32(header) != kCentralSignature)
            Fail("central directory entry ", i, " has a bad signature");
        size_t nameLength = Read16(header + 28);
        size_t recordSize = kCentralSize + nameLength + Read16(header + 30) + Read16(header + 32);
        if (at + recordSize > directoryEnd) Fail("central directory entry ", i, " is truncated");
        Entry entry;
        entry.name.assign(reinterpret_cast<const char*>(header + kCentralSize), nameLength);
        if (Read16(header + 8) & kEncryptedFlag) Fail("entry '", entry.name, "' is encrypted");
        entry.method = Read16(header + 10);
        entry.crc = Read32(header + 16);
        entry.compressedSize = Read32(header + 20);
        entry.size = Read32(header + 24);
        entry.localHeaderOffset = Read32(header + 42);
        if (entry.compressedSize > kMaxEntrySize || entry.size > kMaxEntrySize)
            Fail("entry '", entry.name, "' is too large (", entry.size, " bytes, ",
                 entry.compressedSize, " compressed)");
        entries_.push_back(entry);
        at += recordSize;
    }
}

std::vector<std::string> Pk3Archive::names() const {
    std::vector<std::string> result;
    for (const Entry& entry : entries_) result.push_back(entry.name);
    return result;
}

std::vector<std::string> Pk3Archive::mapNames() const {
    std::vector<std::string> result;
    for (const Entry& entry : entries_)
        if (entry.name.compare(0, 5, "maps/") == 0 && EndsWith(entry.name, ".bsp"))
            result.push_back(entry.name);
    return result;
}

bool Pk3Archive::contains(const std::string& name) const { return find(name) != nullptr; }

const Pk3Archive::Entry* Pk3Archive::find(const std::string& name) const {
    for (const Entry& entry : entries_)
        if (entry.name == name) return &entry;
    return nullptr;
}

// Where the entry's data starts, after its local header; checked to lie,
// with the compressed size, inside the file.
size_t Pk3Archive::dataOffset(const Entry& entry) const {
    uint64_t header = entry.localHeaderOffset;
    if (header + kLocalSize > bytes_.size())
        Fail("entry '", entry.name, "': local header offset ", header, " lies outside the file");
    const uint8_t* local = &bytes_[size_t(header)];
    if (Read32(local) != kLocalSignature)
        Fail("entry '", entry.name, "': local header has a bad signature");
    uint64_t data = header + kLocalSize + Read16(local + 26) + Read16(local + 28);
    if (data + entry.compressedSize > bytes_.size())
        Fail("entry '", entry.name, "': data (offset ", data, ", ", entry.compressedSize,
             " bytes) lies outside the file");
    return size_t(data);
}

std::vector<uint8_t> Pk3Archive::extract(const std::string& name) const {
    const Entry* entry = find(name);
    if (!entry) Fail("no entry '", name, "'");
    const uint8_t* data = bytes_.data() + dataOffset(*entry);
    std::vector<uint8_t> out;
    if (entry->method == kStored) {
        if (entry->compressedSize != entry->size)
            Fail("entry '", name, "': stored entry with different sizes (", entry->size,
                 " and ", entry->compressedSize, ")");
        out.assign(data, data + entry->size);
    } else if (entry->method == kDeflated) {
        out = Inflate(data, entry->compressedSize, entry->size, name);
    } else {
        Fail("entry '", name, "': compression method ", entry->method, " is not supported");
    }
    uint32_t crc = uint32_t(crc32(0L, out.data(), uInt(out.size())));
    if (crc != entry->crc) Fail("entry '", name, "': CRC mismatch (data is damaged)");
    return out;
}

}  // namespace bsp
