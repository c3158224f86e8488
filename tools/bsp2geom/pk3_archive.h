// Reader for .pk3 archives (plain zip files, stored or deflated entries).
// The central directory is checked entry by entry against the file size, and
// every extracted entry against its recorded sizes and CRC, so a damaged
// archive gives a BspError naming the entry and the problem.
#pragma once

#include "bsp_file.h"

#include <cstdint>
#include <string>
#include <vector>

namespace bsp {

class Pk3Archive {
public:
    // Takes the whole archive; throws BspError if its directory is damaged.
    explicit Pk3Archive(std::vector<uint8_t> bytes);
    virtual ~Pk3Archive() = default;

    // Names of all entries, in directory order.
    std::vector<std::string> names() const;
    // Names of the level files (maps/*.bsp), in directory order.
    std::vector<std::string> mapNames() const;
    bool contains(const std::string& name) const;
    // The uncompressed bytes of an entry; throws BspError if it is missing or
    // damaged.
    std::vector<uint8_t> extract(const std::string& name) const;

    // Largest entry accepted, compressed or not.
    static constexpr uint32_t kMaxEntrySize = 256u << 20;

private:
    struct Entry {
        std::string name;
        uint16_t method;
        uint32_t crc;
        uint32_t compressedSize;
        uint32_t size;
        uint32_t localHeaderOffset;
    };

    void readDirectory();
    size_t findEndOfDirectory() const;
    const Entry* find(const std::string& name) const;
    size_t dataOffset(const Entry& entry) const;

    std::vector<uint8_t> bytes_;
    std::vector<Entry> entries_;
};

// Reads a whole file; throws BspError naming the file if it cannot.
std::vector<uint8_t> ReadWholeFile(const std::string& path);

}  // namespace bsp
