// The triangle lists a batch's lists, strips and fans are drawn as.
#include "platform/linux/gl/batcher.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(DrawBatcher, ListsStripsAndFansBecomeTrianglesWithTheirWinding) {
    struct Row {
        gl_d3d8::BatchedDraw draw;
        std::vector<GLuint> indices;
    };
    const Row rows[] = {
        {{D3DPT_TRIANGLELIST, 4, 2}, {4, 5, 6, 7, 8, 9}},
        // Every second triangle of a strip runs the other way round.
        {{D3DPT_TRIANGLESTRIP, 10, 3}, {10, 11, 12, 12, 11, 13, 12, 13, 14}},
        {{D3DPT_TRIANGLEFAN, 0, 3}, {0, 1, 2, 0, 2, 3, 0, 3, 4}},
    };
    for (const Row& row : rows) {
        std::vector<GLuint> indices;
        gl_d3d8::AppendTriangleIndices(row.draw, indices);
        EXPECT_EQ(indices, row.indices) << "primitive type " << row.draw.type;
    }
}

}  // namespace
