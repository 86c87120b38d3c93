// Placement and results of the version choice dialog, linked directly.
#include <gtest/gtest.h>

#include "launcher/view/dialog_text.h"

#include <algorithm>
#include <cstdlib>

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

TEST(DialogText, TabLeavesAWindowAtEitherEnd) {
    struct Case {
        int stops, focus;
        bool backward, inside;
    };
    const Case cases[] = {
        {0, -1, false, false}, {0, -1, true, false},  // nothing to stop at
        {3, 0, false, true},   {3, 2, false, false},  // forwards: out from the last
        {3, 2, true, true},    {3, 0, true, false},   // backwards: out from the first
        {1, 0, false, false},  {1, 0, true, false},   // one stop: out either way
        {3, -1, false, true},  {3, 7, true, true},    // focus on no stop: the dialog manager finds one
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.inside, gn::tab_stays_inside(c.stops, c.focus, c.backward))
            << c.stops << " " << c.focus << " " << c.backward;
}

TEST(DialogText, ScalesForDpiAndPlacesTheNotice) {
    EXPECT_EQ(16, gn::scale_for_dpi(16, 96));
    EXPECT_EQ(24, gn::scale_for_dpi(16, 144));
    EXPECT_EQ(32, gn::scale_for_dpi(16, 192));
    EXPECT_EQ(-17, gn::scale_for_dpi(-11, 144));  // -16.5: halves away from zero
    EXPECT_EQ(-11, gn::scale_for_dpi(-22, 96, 192));
    EXPECT_EQ(5, gn::scale_for_dpi(5, 120, 0));  // no resolution to scale from
    const RECT r = gn::notice_rect(RECT{0, 0, 400, 300}, 144);
    const RECT inset{24, 24, 376, 276};
    EXPECT_TRUE(EqualRect(&r, &inset));
    const RECT tiny = gn::notice_rect(RECT{0, 0, 20, 10}, 96);
    EXPECT_TRUE(IsRectEmpty(&tiny));
    EXPECT_GE(tiny.right, tiny.left);
}

// The template at 96 dpi: 403 x 156 pixels, margins of 12.
const gn::VersionDialogLayout kTemplate{
    {403, 156},        {12, 12, 380, 66},   {23, 70, 408, 87},
    {23, 94, 408, 111}, {103, 131, 191, 156}, {212, 131, 300, 156}};

struct FitCase {
    const char* what;
    LONG radio, button, prompt;  // needs: radio and button widths, prompt height
    LONG width, height;                // the client size that comes out
};

TEST(DialogText, FitGrowsForEveryTextAndKeepsTheLayout) {
    const SIZE max_client{1000, 700};
    const FitCase cases[] = {
        {"English", 200, 40, 40, 403, 156},
        {"prompt two lines longer", 200, 40, 80, 403, 156 + 80 - 54},
        {"wider radio button", 500, 40, 40, 23 + 500 + 12, 156},
        {"radio button wider than the screen", 2000, 40, 40, 1000, 156},
        {"prompt taller than the screen", 200, 40, 5000, 403, 700},
        {"wider push buttons", 200, 200, 40, 2 * 12 + 2 * 200 + 21, 156},
    };
    for (const auto& c : cases) {
        gn::VersionDialogNeeds needs{c.radio, c.radio - 10, c.button,
                                     [&](LONG) { return c.prompt; }};
        const gn::VersionDialogLayout fit = gn::fit_version_dialog(kTemplate, needs, 12, max_client);
        EXPECT_EQ(c.width, fit.client.cx) << c.what;
        EXPECT_EQ(c.height, fit.client.cy) << c.what;
        // Everything inside the client area, in its order from top to bottom.
        for (const RECT* r : {&fit.prompt, &fit.open_8x, &fit.open_6x, &fit.ok, &fit.cancel}) {
            EXPECT_GE(r->left, 12) << c.what;
            EXPECT_LE(r->right, fit.client.cx - 12) << c.what;
            EXPECT_LE(r->bottom, fit.client.cy) << c.what;
        }
        EXPECT_LE(fit.prompt.bottom, fit.open_8x.top) << c.what;
        EXPECT_EQ(kTemplate.open_6x.top - kTemplate.open_8x.top, fit.open_6x.top - fit.open_8x.top);
        EXPECT_LE(fit.open_6x.bottom, fit.ok.top) << c.what;
        EXPECT_EQ(fit.client.cy - kTemplate.client.cy + kTemplate.ok.top, fit.ok.top) << c.what;
        // One width for both push buttons, the pair centred, the gap kept.
        EXPECT_EQ(fit.ok.right - fit.ok.left, fit.cancel.right - fit.cancel.left) << c.what;
        EXPECT_GE(fit.ok.right - fit.ok.left, std::max(c.button, LONG{88})) << c.what;
        EXPECT_EQ(21, fit.cancel.left - fit.ok.right) << c.what;
        EXPECT_LE(std::abs(fit.ok.left - (fit.client.cx - fit.cancel.right)), 1) << c.what;
    }
    // English at 96 dpi moves nothing but the radio buttons' right edges.
    gn::VersionDialogNeeds english{200, 200, 40, [](LONG) { return 28L; }};
    const gn::VersionDialogLayout same = gn::fit_version_dialog(kTemplate, english, 12, max_client);
    EXPECT_TRUE(EqualRect(&same.prompt, &kTemplate.prompt));
    EXPECT_TRUE(EqualRect(&same.ok, &kTemplate.ok));
    EXPECT_TRUE(EqualRect(&same.cancel, &kTemplate.cancel));
    EXPECT_EQ(403 - 12, same.open_8x.right);
}

}  // namespace
