// A scratch working directory that also writes levels into data/.
#pragma once

#include "support/scratch_dir.h"
#include "tools/common/world_writer.h"

class LevelScratch : public ScratchDir {
public:
    // Writes data/<name> and returns the name to hand to the reader.
    std::string write(const tundra_formats::GeomLevel& level,
                      const tundra_formats::GeomWriteOptions& options = {},
                      const std::string& name = "world.geom") const {
        EXPECT_TRUE(
            tundra_formats::WriteWorldGeom((root() / "data" / name).string(), level, options));
        return name;
    }
};