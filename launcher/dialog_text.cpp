#include "launcher/dialog_text.h"

namespace gn {

POINT centred_position(const RECT& centre, const RECT& area, LONG w, LONG h) noexcept {
    // Signed divisions, truncating towards zero.
    LONG x = (centre.left + centre.right) / 2 - w / 2;
    LONG y = (centre.top + centre.bottom) / 2 - h / 2;
    // Right and bottom first, then left and top, so that a dialog larger than
    // the area still shows its caption and its left edge.
    if (x + w > area.right) x = area.right - w;
    if (x < area.left) x = area.left;
    if (y + h > area.bottom) y = area.bottom - h;
    if (y < area.top) y = area.top;
    return POINT{x, y};
}

bool is_usable_centre(LONG style) noexcept {
    return (style & WS_VISIBLE) != 0 && (style & WS_MINIMIZE) == 0;
}

int version_choice_result(UINT id, bool open_8x_checked, bool open_6x_checked) noexcept {
    if (id < IDOK || id > 7) return 0;
    if (id != IDOK) return VersionChoiceCancel;
    if (open_8x_checked) return VersionChoice8x;
    if (open_6x_checked) return VersionChoice6x;
    return VersionChoiceCancel;
}

}  // namespace gn
