// Placement and results of the version choice dialog, linked directly.
#include <gtest/gtest.h>

#include "launcher/dialog_text.h"

namespace {

const RECT kArea{0, 0, 1024, 740};

struct CentreCase {
    const char* what;
    RECT centre;
    LONG w, h;
    LONG x, y;
};

TEST(DialogText, CentresAndKeepsInsideTheArea) {
    const CentreCase cases[] = {
        {"on the area", kArea, 351, 179, 512 - 175, 370 - 89},
        {"on an owner", {100, 100, 501, 301}, 200, 100, 300 - 100, 200 - 50},
        {"past the right and bottom", {900, 650, 1100, 800}, 351, 179, 1024 - 351, 740 - 179},
        {"past the left and top", {-400, -300, -100, -100}, 351, 179, 0, 0},
        {"exactly fitting", {0, 0, 351, 179}, 351, 179, 0, 0},
        {"wider and taller than the area", {600, 500, 1000, 700}, 1200, 900, 0, 0},
    };
    for (const auto& c : cases) {
        const POINT p = gn::centred_position(c.centre, kArea, c.w, c.h);
        EXPECT_EQ(c.x, p.x) << c.what;
        EXPECT_EQ(c.y, p.y) << c.what;
    }
    // Truncation towards zero in a shifted area: (-7 + 0) / 2 == -3, 5 / 2 == 2.
    const RECT area{-100, -100, 100, 100};
    const POINT p = gn::centred_position(RECT{-7, -7, 0, 0}, area, 5, 5);
    EXPECT_EQ(-5, p.x);
    EXPECT_EQ(-5, p.y);
}

TEST(DialogText, UsesOnlyVisibleUnminimisedCentres) {
    EXPECT_TRUE(gn::is_usable_centre(WS_VISIBLE | WS_OVERLAPPEDWINDOW));
    EXPECT_FALSE(gn::is_usable_centre(WS_OVERLAPPEDWINDOW));
    EXPECT_FALSE(gn::is_usable_centre(WS_VISIBLE | WS_MINIMIZE));
}

TEST(DialogText, CommandResults) {
    EXPECT_EQ(8, gn::version_choice_result(IDOK, true, false));
    EXPECT_EQ(8, gn::version_choice_result(IDOK, true, true));
    EXPECT_EQ(6, gn::version_choice_result(IDOK, false, true));
    EXPECT_EQ(2, gn::version_choice_result(IDOK, false, false));
    for (UINT id = 2; id <= 7; ++id) EXPECT_EQ(2, gn::version_choice_result(id, true, false)) << id;
    for (UINT id : {0u, 8u, 5201u, 5202u, 0xFFFFu}) EXPECT_EQ(0, gn::version_choice_result(id, true, false)) << id;
}

}  // namespace
