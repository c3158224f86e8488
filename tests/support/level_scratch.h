// A fresh working directory with a data/ folder for tests that load level
// files. The viewer opens "data\name" relative to the working directory, and
// tests may run in parallel, so each test gets its own directory and works
// there until the object goes away.
#pragma once

#include "tools/common/world_writer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

class LevelScratch {
public:
    LevelScratch() {
        char pattern[] = "/tmp/tundra-level-XXXXXX";
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
    ~LevelScratch() {
        if (root_.empty()) return;
        std::filesystem::current_path(previous_);
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    LevelScratch(const LevelScratch&) = delete;
    LevelScratch& operator=(const LevelScratch&) = delete;

    // Writes data/<name> and returns the name to hand to the reader.
    std::string write(const tundra_formats::GeomLevel& level,
                      const tundra_formats::GeomWriteOptions& options = {},
                      const std::string& name = "world.geom") const {
        EXPECT_TRUE(tundra_formats::WriteWorldGeom((root_ / "data" / name).string(), level, options));
        return name;
    }

    const std::filesystem::path& root() const { return root_; }

private:
    std::filesystem::path root_;
    std::filesystem::path previous_;
};
