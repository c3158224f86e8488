// A fresh working directory with a data/ folder, entered for the lifetime of
// the object. Tests may run in parallel, and the viewer reads "data\name"
// and writes "logging.txt" relative to the working directory.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

class ScratchDir {
public:
    ScratchDir() {
        char pattern[] = "/tmp/tundra-scratch-XXXXXX";
        const char* made = mkdtemp(pattern);
        if (!made) {
            ADD_FAILURE() << "cannot make a scratch directory";
            return;
        }
        root_ = made;
        std::filesystem::create_directory(root_ / "data");
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(root_);
    }
    ~ScratchDir() {
        if (root_.empty()) return;
        std::filesystem::current_path(previous_);
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& root() const { return root_; }

    // Writes data/<name> with exactly these bytes.
    void writeData(const std::string& name, const std::string& bytes) const {
        std::ofstream file(root_ / "data" / name, std::ios::binary | std::ios::trunc);
        file << bytes;
        EXPECT_TRUE(file.good()) << "cannot write data/" << name;
    }

    // The whole content of a file below the root ("" when it is missing or
    // not a regular file).
    std::string read(const std::string& relativePath) const {
        if (!std::filesystem::is_regular_file(root_ / relativePath)) return "";
        std::ifstream file(root_ / relativePath, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

private:
    std::filesystem::path root_;
    std::filesystem::path previous_;
};
