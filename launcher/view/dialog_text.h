// Pure rules of the version choice dialog: where it goes on the screen and
// which result a command gives.
#pragma once

#include <windows.h>

#include <functional>

namespace gn {

// Results of the version choice dialog.
enum VersionChoice : int {
    VersionChoiceCancel = 2,  // open nothing
    VersionChoice6x = 6,      // the legacy 6.x client
    VersionChoice8x = 8,      // the current 8.x client
};

// Top-left corner of a w × h dialog centred on the centre rectangle and then
// kept inside area: the left and top edges win over the right and bottom ones.
POINT centred_position(const RECT& centre, const RECT& area, LONG w, LONG h) noexcept;

// Whether a window with these styles can be centred on: visible and not minimised.
bool is_usable_centre(LONG style) noexcept;

// The result a command ends the dialog with, or 0 when the command is not one
// of the dialog's (ids 1 to 7 are; only IDOK looks at the radio buttons).
int version_choice_result(UINT id, bool open_8x_checked, bool open_6x_checked) noexcept;

// Whether Tab (Shift+Tab when backward) moves the focus to another of a
// window's stops rather than out of it: not when there are none, nor from
// the last stop forwards or the first one backwards. focus_stop is the index
// of the stop that holds the focus, -1 when the focus is on none of them.
bool tab_stays_inside(int stops, int focus_stop, bool backward) noexcept;

// The resolution that window sizes in pixels are written for.
constexpr UINT kDefaultDpi = 96;

// value (pixels or a font height) made for from_dpi, at dpi; rounded to the
// nearest pixel, halves away from zero.
LONG scale_for_dpi(LONG value, UINT dpi, UINT from_dpi = kDefaultDpi) noexcept;

// Where the launcher window's notice text lies in a client area at dpi: a
// margin of 16 pixels at 96 dpi all round (empty when the area is smaller).
RECT notice_rect(const RECT& client, UINT dpi) noexcept;

// The version choice dialog's client size and controls, in pixels of its
// client area.
struct VersionDialogLayout {
    SIZE client;
    RECT prompt, open_8x, open_6x, ok, cancel;
};

// What the dialog's texts need, measured in its own font, in pixels.
struct VersionDialogNeeds {
    LONG open_8x_width;  // a radio button: its mark, the gap and the text on one line
    LONG open_6x_width;
    LONG button_width;  // the wider of OK and Cancel, text and padding
    // The height the prompt needs to show its whole text, wrapped at width.
    std::function<LONG(LONG width)> prompt_height;
};

// The layout that shows every text whole: from the template's layout laid,
// the dialog grows to the right for the radio buttons and the push buttons,
// and downwards for the prompt, never past max_client (the work area less the
// frame, where the longest texts are cut); the radio buttons end at the right
// margin, the push buttons keep their common width and stay centred, and
// everything below the prompt moves down with it.
VersionDialogLayout fit_version_dialog(const VersionDialogLayout& laid, const VersionDialogNeeds& needs,
                                       LONG margin, SIZE max_client);

}  // namespace gn
