#include "launcher/view/dialog_text.h"

#include <algorithm>
#include <initializer_list>

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

bool tab_stays_inside(int stops, int focus_stop, bool backward) noexcept {
    if (stops <= 0) return false;
    if (focus_stop < 0 || focus_stop >= stops) return true;  // the dialog manager finds a stop
    return backward ? focus_stop > 0 : focus_stop < stops - 1;
}

LONG scale_for_dpi(LONG value, UINT dpi, UINT from_dpi) noexcept {
    if (from_dpi == 0) return value;
    const long long scaled = static_cast<long long>(value) * dpi;
    const long long half = from_dpi / 2;
    return static_cast<LONG>(scaled >= 0 ? (scaled + half) / from_dpi : (scaled - half) / from_dpi);
}

RECT notice_rect(const RECT& client, UINT dpi) noexcept {
    const LONG margin = scale_for_dpi(16, dpi);
    RECT r{client.left + margin, client.top + margin, client.right - margin, client.bottom - margin};
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    return r;
}

namespace {

LONG width_of(const RECT& r) { return r.right - r.left; }
LONG height_of(const RECT& r) { return r.bottom - r.top; }
void move_down(RECT& r, LONG dy) {
    r.top += dy;
    r.bottom += dy;
}

}  // namespace

VersionDialogLayout fit_version_dialog(const VersionDialogLayout& laid, const VersionDialogNeeds& needs,
                                       LONG margin, SIZE max_client) {
    VersionDialogLayout out = laid;

    // Width: the template's, or what the widest line needs, within the screen.
    const LONG old_button = std::max(width_of(laid.ok), width_of(laid.cancel));
    const LONG button = std::max(old_button, needs.button_width);
    const LONG gap = laid.cancel.left - laid.ok.right;
    LONG wanted = laid.client.cx;
    wanted = std::max(wanted, laid.open_8x.left + needs.open_8x_width + margin);
    wanted = std::max(wanted, laid.open_6x.left + needs.open_6x_width + margin);
    wanted = std::max(wanted, 2 * margin + 2 * button + gap);
    const LONG width = std::max(laid.client.cx, std::min(wanted, max_client.cx));
    const LONG dx = width - laid.client.cx;
    out.client.cx = width;

    // The prompt widens with the dialog and grows downwards to hold its text.
    out.prompt.right += dx;
    const LONG prompt_height =
        std::max(height_of(laid.prompt),
                 needs.prompt_height ? needs.prompt_height(width_of(out.prompt)) : 0);
    const LONG room = std::max(LONG{0}, max_client.cy - laid.client.cy);
    const LONG dy = std::min(prompt_height - height_of(laid.prompt), room);
    out.prompt.bottom += dy;

    // The radio buttons reach the right margin, never past the client area.
    for (RECT* radio : {&out.open_8x, &out.open_6x}) {
        radio->right = std::max(radio->left, width - margin);
        move_down(*radio, dy);
    }

    // The push buttons: one width for both, the pair centred as before.
    if (dx != 0 || button != width_of(laid.ok) || button != width_of(laid.cancel)) {
        const LONG pair = 2 * button + gap;
        const LONG left = std::max(margin, (laid.ok.left + laid.cancel.right + dx - pair) / 2);
        out.ok.left = left;
        out.ok.right = left + button;
        out.cancel.left = out.ok.right + gap;
        out.cancel.right = out.cancel.left + button;
    }
    move_down(out.ok, dy);
    move_down(out.cancel, dy);
    out.client.cy += dy;
    return out;
}

}  // namespace gn
