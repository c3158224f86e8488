// The data tools refuse bad arguments with a message and a failing status.
#include "support/scratch_dir.h"
#include "support/tool_runner.h"

namespace {

// The command, part of what it prints, its status (0: any failing one).
TEST(ToolArguments, BadArgumentsAreRefusedWithAMessage) {
    ScratchDir dir;
    const std::tuple<const char*, const char*, int> rows[] = {
        {"mklevel --bogus", "mklevel: unknown option --bogus\n(try mklevel --help)\n", 0},
        {"mklevel --luxel-size 3", "--luxel-size needs", 0},
        {"mklevel --luxel-size 65", "--luxel-size needs", 0},
        {"mklevel a.geom b.geom", "mklevel: more than one output file given", 0},
        {"mklevel --luxel-size 64 /nonexistent-dir/world.geom", "mklevel: cannot write", 0},
        {"mkfont --size 3", "mkfont: --size must be", 2},
        {"mkfont --size 513", "mkfont: --size must be", 2},
        {"mkfont --size 1x", "mkfont: --size must be", 2},
        {"mkfont --size 4294967312", "mkfont: --size must be", 2},  // 2^32 + 16 as an int: 16
        {"mkfont --size", "mkfont: --size needs a value", 2},
        {"mkfont --frob", "mkfont: unknown argument", 2},
        {"mkfont --font data/none.ttf", "mkfont: cannot open font", 1},
        {"mkfont --output /no/such/dir/f", "mkfont: cannot write", 1},
        {"mktexture --size 300", "--size needs a power of two", 0},
        {"mktexture --size 4", "--size needs a power of two", 0},
        {"mktexture --size", "--size needs a power of two", 0},
        {"mktexture --size 8192", "--size needs a power", 0},
        {"mktexture --seed 4294967296", "--seed needs", 0},
        {"mktexture --colour red", "unknown option --colour", 0},
        {"mktexture a.bmp b.bmp", "more than one output", 0},
        {"mktexture /nonexistent-dir/m.bmp", "cannot open", 0},
        {"bsp2geom --patch-level 4x a.pk3 maps/a.bsp w.geom", "needs a whole number", 0},
        {"bsp2geom --keep-sky a.pk3 maps/a.bsp w.geom", "bsp2geom: cannot open 'a.pk3'", 0}};
    for (const auto& [command, message, expected] : rows) {
        std::string output;
        const int status = tundra_test::RunTool(command, output);
        EXPECT_TRUE(expected ? status == expected : status != 0) << command << ": " << status;
        EXPECT_NE(output.find(message), std::string::npos) << command << ": " << output;
    }
}

}  // namespace
