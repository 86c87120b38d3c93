#include "launcher/view/no_client_notice.h"

#include "frame/log.h"
#include "frame/translation.h"
#include "launcher/view/dialog_text.h"
#include "launcher/view/screen_dpi.h"

#include <vector>

namespace {

// The English text is also the key of its translation.
const char kNoClientText[] =
    "This document cannot be shown: no Veltrix client control could be started on this "
    "computer.";
const char kBlockedText[] =
    "This document cannot be shown: the administrator has blocked the Veltrix client control on "
    "this computer.";

constexpr UINT kDpiChanged = 0x02E0;             // WM_DPICHANGED
constexpr UINT kDpiChangedAfterParent = 0x02E3;  // WM_DPICHANGED_AFTERPARENT

}  // namespace

NoClientNotice::~NoClientNotice() {
    // Normally gone with its window already; else it goes now, or at least
    // stops calling this object.
    if (hwnd() && !DestroyWindow(hwnd())) unsubclass_window();
}

void NoClientNotice::show(HWND parent, reason why) noexcept {
    if (why == blocked)
        LogPrint(0, "The client control is blocked: showing a notice in the launcher window");
    else
        LogPrint(0, "No client control could be created: showing a notice in the launcher window");
    shown_ = true;
    english_ = why == blocked ? kBlockedText : kNoClientText;
    try {
        std::vector<std::string> texts = {english_};
        g_translation.Translate(texts);
        text_ = texts[0];
    } catch (const std::exception&) {
        text_.clear();  // the English text is shown
    }
    if (!parent) return;
    SetWindowTextA(parent, text());
    create_control(parent);
}

const char* NoClientNotice::text() const noexcept {
    return !text_.empty() ? text_.c_str() : english_ ? english_ : kNoClientText;
}

void NoClientNotice::create_control(HWND parent) noexcept {
    if (!parent) return;
    if (hwnd()) {
        SetWindowTextA(hwnd(), text());
    } else {
        HWND control =
            CreateWindowExA(0, "STATIC", text(), WS_CHILD | WS_VISIBLE | SS_CENTER | SS_NOPREFIX, 0, 0,
                            0, 0, parent, nullptr, _Module.module_instance(), nullptr);
        if (control && !subclass_window(control)) DestroyWindow(control);
    }
    lay_out(gn::window_dpi(parent));
}

void NoClientNotice::lay_out(UINT dpi) noexcept {
    if (!hwnd()) return;
    gn::unique_hfont font(gn::create_gui_font(dpi));
    const HGDIOBJ shown = font ? font.get() : GetStockObject(DEFAULT_GUI_FONT);
    SendMessageA(hwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(shown), FALSE);
    font_ = std::move(font);  // the control no longer uses the old one
    RECT client{};
    GetClientRect(GetParent(hwnd()), &client);
    const RECT r = gn::notice_rect(client, dpi);
    SetWindowPos(hwnd(), nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(hwnd(), nullptr, TRUE);
}

bool NoClientNotice::on_parent_message(HWND parent, UINT msg, WPARAM wp, LPARAM lp,
                                       LRESULT& result) noexcept {
    switch (msg) {
    case WM_CREATE:  // a window made again after a deactivation shows it again
        create_control(parent);
        return false;
    case WM_SIZE:
    case kDpiChangedAfterParent:
        lay_out(gn::window_dpi(parent));
        return false;
    case kDpiChanged:  // a top-level window: the new dpi comes with the message
        lay_out(LOWORD(wp));
        return false;
    case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lp) != hwnd()) return false;
        // The notice lies on the window's own background.
        SetTextColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_WINDOW));
        result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
        return true;
    default:
        return false;
    }
}
