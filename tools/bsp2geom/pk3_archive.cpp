#include "pk3_archive.h"

#include "common/input_file.h"
#include "common/message_text.h"

#include <zip.h>

#include <algorithm>

namespace bsp {
namespace {

// Larger files are not levels or archives the converter could hold.
constexpr uint64_t kMaxFileSize = uint64_t(1) << 31;

template <typename... Parts>
[[noreturn]] void Fail(const Parts&... parts) {
    throw BspError(MessageText("archive: ", parts...));
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           std::equal(tail.rbegin(), tail.rend(), text.rbegin(), [](char a, char b) {
               return a == std::tolower(static_cast<unsigned char>(b));
           });
}

// Reads exactly `size` bytes, then on to the end of the entry: libzip checks
// the CRC only when the data runs out, and an entry that gives more than it
// recorded must not be cut off quietly.
std::vector<uint8_t> ReadEntry(zip_file_t* file, uint64_t size, const std::string& name) {
    std::vector<uint8_t> out(size);
    zip_int64_t got = size == 0 ? 0 : zip_fread(file, out.data(), size);
    uint8_t extra = 0;
    zip_int64_t more = got < 0 ? 0 : zip_fread(file, &extra, 1);
    if (got < 0 || more < 0)
        Fail("entry '", name, "' is damaged (libzip: ", zip_file_strerror(file), ")");
    if (more != 0) Fail("entry '", name, "' is damaged (it holds more than its ", size, " bytes)");
    if (uint64_t(got) != size)
        Fail("entry '", name, "' is damaged (it holds ", got, " of its ", size, " bytes)");
    return out;
}

}  // namespace

void Pk3Archive::Discard::operator()(zip* archive) const { zip_discard(archive); }

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
    std::vector<uint8_t> bytes;
    const WholeFile outcome = ::ReadWholeFile(path, kMaxFileSize, bytes);
    if (outcome == WholeFile::CannotOpen) throw BspError("cannot open '" + path + "'");
    if (outcome != WholeFile::Read) throw BspError("cannot read '" + path + "'");
    return bytes;
}

Pk3Archive::Pk3Archive(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes_.data(), bytes_.size(), 0, &error);
    // ZIP_CHECKCONS: every entry's local header must match its directory
    // record, and its data must end before the directory.
    if (source) archive_.reset(zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error));
    if (!archive_) {
        std::string reason = zip_error_strerror(&error);
        zip_error_fini(&error);
        zip_source_free(source);
        Fail("damaged or not a zip archive (libzip: ", reason, ")");
    }
    readDirectory();
}

void Pk3Archive::readDirectory() {
    const zip_int64_t count = zip_get_num_entries(archive_.get(), 0);
    for (zip_int64_t index = 0; index < count; ++index) {
        zip_stat_t entry;
        if (zip_stat_index(archive_.get(), uint64_t(index), ZIP_FL_ENC_RAW, &entry) != 0)
            Fail("entry ", index, " cannot be read (libzip: ", zip_strerror(archive_.get()), ")");
        names_.emplace_back(entry.name);
        if (entry.size > kMaxEntrySize || entry.comp_size > kMaxEntrySize)
            Fail("entry '", entry.name, "' is too large (", entry.size, " bytes, ", entry.comp_size,
                 " compressed)");
    }
}

std::vector<std::string> Pk3Archive::mapNames() const {
    std::vector<std::string> result;
    for (const std::string& name : names_)
        if (name.compare(0, 5, "maps/") == 0 && EndsWith(name, ".bsp")) result.push_back(name);
    return result;
}

bool Pk3Archive::contains(const std::string& name) const { return find(name) >= 0; }

int64_t Pk3Archive::find(const std::string& name) const {
    auto found = std::find(names_.begin(), names_.end(), name);
    return found == names_.end() ? -1 : found - names_.begin();
}

std::vector<uint8_t> Pk3Archive::extract(const std::string& name) const {
    const int64_t index = find(name);
    if (index < 0) Fail("no entry '", name, "'");
    zip_stat_t entry;
    if (zip_stat_index(archive_.get(), uint64_t(index), ZIP_FL_ENC_RAW, &entry) != 0)
        Fail("entry '", name, "' cannot be read (libzip: ", zip_strerror(archive_.get()), ")");
    std::unique_ptr<zip_file_t, decltype(&zip_fclose)> file(
        zip_fopen_index(archive_.get(), uint64_t(index), 0), zip_fclose);
    if (!file)
        Fail("entry '", name, "' cannot be read (libzip: ", zip_strerror(archive_.get()), ")");
    return ReadEntry(file.get(), entry.size, name);
}

}  // namespace bsp
