// The one bounds check every binary reader relies on (common/byte_reader.h).
#include "common/byte_reader.h"

#include <gtest/gtest.h>

namespace {

TEST(ByteReader, AReadPastTheEndGivesZerosAndFailsTheReaderForGood) {
    const uint8_t bytes[] = {1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0};
    ByteReader reader(bytes, 6);  // the bytes after the sixth are not its own
    EXPECT_EQ(reader.u32(), 1u);
    EXPECT_EQ(reader.u32(), 0u);  // two of its four bytes are left
    EXPECT_FALSE(reader.ok());
    EXPECT_EQ(reader.seek(4).u16(), 0u);  // a failed reader stays failed
    EXPECT_FALSE(ByteReader(bytes, 6).skip(4).skip(3).ok());
}

}  // namespace
