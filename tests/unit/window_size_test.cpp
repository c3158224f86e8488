#include "app/main.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

namespace {

TEST(OuterWindowSizeTest, ScaledSizeTruncatesTowardZero) {
    EXPECT_EQ(600, OuterWindowExtent(800, 0.75f));
    EXPECT_EQ(450, OuterWindowExtent(600, 0.75f));
    EXPECT_EQ(800, OuterWindowExtent(801, 0.999f));
    EXPECT_EQ(512, OuterWindowExtent(1024, 0.5f));
    EXPECT_EQ(-399, OuterWindowExtent(-799, 0.5f));  // toward zero, not down
}

TEST(OuterWindowSizeTest, NonsenseScalingStaysInRange) {
    EXPECT_EQ(0, OuterWindowExtent(800, std::nanf("")));
    EXPECT_EQ(INT_MAX, OuterWindowExtent(800, std::numeric_limits<float>::infinity()));
    EXPECT_EQ(INT_MAX, OuterWindowExtent(INT_MAX, 1e30f));
    EXPECT_EQ(INT_MIN, OuterWindowExtent(INT_MIN, 2.0f));
    EXPECT_EQ(0, OuterWindowExtent(0, 1e30f));
}

TEST(AspectRatioTest, RealDivisionOfTheScreenSize) {
    EXPECT_NEAR(1.333333f, AspectRatio(800, 600), 1e-6f);
    EXPECT_FLOAT_EQ(1.6f, AspectRatio(1280, 800));
}

}  // namespace
