// A fresh working directory with a data/ folder, entered for the lifetime of
// the object: the viewer reads "data\name" and writes "logging.txt" there.
#pragma once

#include <gtest/gtest.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

class ScratchDir {
public:
    ScratchDir() : previous_(std::filesystem::current_path()) {
        char pattern[] = "/tmp/tundra-scratch-XXXXXX";
        root_ = mkdtemp(pattern) ? pattern : "";
        if (root_.empty()) {
            ADD_FAILURE() << "cannot make a scratch directory";
            return;
        }
        std::filesystem::create_directory(root_ / "data");
        std::filesystem::current_path(root_);
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::current_path(previous_);
        if (!root_.empty()) std::filesystem::remove_all(root_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& root() const { return root_; }
    void writeData(const std::string& name, const std::string& bytes) const {
        std::ofstream file(root_ / "data" / name, std::ios::binary | std::ios::trunc);
        EXPECT_TRUE(file << bytes) << "cannot write data/" << name;
    }
    // A file below the root ("" when it is missing or not a regular file).
    std::string read(const std::string& relativePath) const {
        if (!std::filesystem::is_regular_file(root_ / relativePath)) return "";
        std::ifstream file(root_ / relativePath, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

private:
    std::filesystem::path root_, previous_;
};