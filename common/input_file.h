// Reading a file whole, or in counted pieces after its size is known: a
// reader weighs what a file claims against what it holds before it
// allocates, and every reader of the program meets an unopenable, oversized
// or unreadable file the same way. Paths are in the form the system's file
// functions take (the platform's NativePath of a "data\name").
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

class InputFile {
public:
    // Text: on Windows each "\r\n" reads as "\n", so fewer bytes than the
    // size may come. Elsewhere the two are the same.
    enum Mode { Binary, Text };

    explicit InputFile(const std::string& path, Mode mode = Binary);

    bool isOpen() const { return file_.is_open(); }
    // Bytes in the file; -1 when it has no end to seek to (a directory on
    // some file systems).
    std::int64_t size() const { return size_; }
    // Up to `count` of the next bytes: how many came (fewer only at the end
    // of the file), or -1 when the file could not be read.
    std::int64_t read(void* into, std::int64_t count);

private:
    std::ifstream file_;
    std::int64_t size_ = -1;
};

enum class WholeFile { Read, CannotOpen, TooLarge, CannotRead };

// Reads the file into `bytes` when it holds at most `maxSize` bytes. A file
// without an end to seek to counts as one that cannot be opened. `bytes` is
// only meaningful after Read.
WholeFile ReadWholeFile(const std::string& path, std::uint64_t maxSize,
                        std::vector<std::uint8_t>& bytes, InputFile::Mode mode = InputFile::Binary);
