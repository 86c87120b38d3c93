// Pure rules of the version choice dialog: where it goes on the screen and
// which result a command gives.
#pragma once

#include <windows.h>

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

}  // namespace gn
