// Reader for .pk3 archives (plain zip files) through libzip, which checks the
// directory, the local headers, the compressed data and each entry's CRC. On
// top of that every entry is held to a size limit and to its recorded size,
// so a damaged archive gives a BspError naming the entry and the problem.
#pragma once

#include "bsp_file.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct zip;

namespace bsp {

class Pk3Archive {
public:
    // Takes the whole archive; throws BspError if its directory is damaged.
    explicit Pk3Archive(std::vector<uint8_t> bytes);

    // Names of all entries, in directory order.
    std::vector<std::string> names() const { return names_; }
    // Names of the level files (maps/*.bsp), in directory order.
    std::vector<std::string> mapNames() const;
    bool contains(const std::string& name) const;
    // The uncompressed bytes of an entry; throws BspError if it is missing or
    // damaged.
    std::vector<uint8_t> extract(const std::string& name) const;

    // Largest entry accepted, compressed or not.
    static constexpr uint32_t kMaxEntrySize = 256u << 20;

private:
    struct Discard {
        void operator()(zip* archive) const;
    };

    void readDirectory();
    // Where the entry stands in the directory, or -1.
    int64_t find(const std::string& name) const;

    // libzip reads from these bytes for as long as the archive is open.
    std::vector<uint8_t> bytes_;
    std::unique_ptr<zip, Discard> archive_;
    std::vector<std::string> names_;
};

// Reads a whole file; throws BspError naming the file if it cannot.
std::vector<uint8_t> ReadWholeFile(const std::string& path);

}  // namespace bsp
