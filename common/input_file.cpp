#include "common/input_file.h"

namespace {

std::ios::openmode OpenMode(InputFile::Mode mode) {
    return mode == InputFile::Binary ? std::ios::in | std::ios::binary : std::ios::in;
}

}  // namespace

InputFile::InputFile(const std::string& path, Mode mode) : file_(path, OpenMode(mode)) {
    if (!file_) return;
    file_.seekg(0, std::ios::end);
    size_ = static_cast<std::int64_t>(file_.tellg());
    file_.seekg(0, std::ios::beg);
}

std::int64_t InputFile::read(void* into, std::int64_t count) {
    if (count == 0) return 0;
    file_.read(static_cast<char*>(into), static_cast<std::streamsize>(count));
    return file_.bad() ? -1 : static_cast<std::int64_t>(file_.gcount());
}

WholeFile ReadWholeFile(const std::string& path, std::uint64_t maxSize,
                        std::vector<std::uint8_t>& bytes, InputFile::Mode mode) {
    InputFile file(path, mode);
    if (!file.isOpen() || file.size() < 0) return WholeFile::CannotOpen;
    if (std::uint64_t(file.size()) > maxSize) return WholeFile::TooLarge;
    bytes.resize(static_cast<std::size_t>(file.size()));
    const std::int64_t got = file.read(bytes.data(), file.size());
    if (got < 0 || (mode == InputFile::Binary && got != file.size())) return WholeFile::CannotRead;
    bytes.resize(static_cast<std::size_t>(got));
    return WholeFile::Read;
}
