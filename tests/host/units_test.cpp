#include <gtest/gtest.h>

#include <climits>

#include "host/units_text.h"

// The screen conversions used for the hosted control's extent.
TEST(HostUnits, ConvertsAt96Dpi) {
    EXPECT_EQ(2646, gn::pixels_to_himetric(100, 96));
    EXPECT_EQ(100, gn::himetric_to_pixels(2646, 96));
    EXPECT_EQ(7938, gn::pixels_to_himetric(300, 96));
    EXPECT_EQ(5292, gn::pixels_to_himetric(200, 96));
    EXPECT_EQ(0, gn::pixels_to_himetric(0, 96));
    EXPECT_EQ(0, gn::himetric_to_pixels(0, 96));
}

TEST(HostUnits, RoundsToNearestAndKeepsOtherResolutions) {
    EXPECT_EQ(2540, gn::pixels_to_himetric(120, 120));
    EXPECT_EQ(120, gn::himetric_to_pixels(2540, 120));
    // (1 * 2540 + 48) / 96 = 26; (13 * 96 + 1270) / 2540 = 0
    EXPECT_EQ(26, gn::pixels_to_himetric(1, 96));
    EXPECT_EQ(0, gn::himetric_to_pixels(13, 96));
    EXPECT_EQ(1, gn::himetric_to_pixels(14, 96));
}

TEST(HostUnits, HostileValuesNeitherTrapNorWrap) {
    // A resolution of 0 would divide by zero: it counts as 96.
    EXPECT_EQ(2646, gn::pixels_to_himetric(100, 0));
    EXPECT_EQ(100, gn::himetric_to_pixels(2646, -5));
    // A control's extent near the 32-bit limit clamps instead of overflowing.
    EXPECT_EQ(LONG_MAX, gn::pixels_to_himetric(LONG_MAX, 96));
    EXPECT_GT(gn::himetric_to_pixels(LONG_MAX, 96), 0);
    EXPECT_LT(gn::himetric_to_pixels(LONG_MIN, 96), 0);
}
