// The notice a launcher window shows when no client control could be
// created, or the administrator's settings refuse it, instead of staying
// blank: a short translated text in a static text control (screen readers
// read its text), set in a font for the window's resolution. The object
// owns the control, which it subclasses to learn when the control goes with
// its window, and the control's font.
#pragma once

#include "frame/com.h"
#include "frame/window.h"

#include <windows.h>

#include <string>

class NoClientNotice final : public gn::window_impl<NoClientNotice> {
public:
    NoClientNotice() noexcept = default;
    ~NoClientNotice();

    enum reason { failed, blocked };

    // Logs it, translates the text for the reason and, when parent is a
    // window, shows it there (in the window's title too). The notice is shown
    // from then on.
    void show(HWND parent, reason why = failed) noexcept;
    bool shown() const noexcept { return shown_; }
    // The messages of the parent window while the notice is shown: makes the
    // control again in a window made again, lays it out for the window's size
    // and resolution, and colours it. True when the message is answered (in
    // result).
    bool on_parent_message(HWND parent, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) noexcept;

    // The control's own window: every message goes on to its class; at its
    // end the font goes too.
    static const char* window_property() { return "GN.NoClientNotice"; }
    LRESULT on_message(UINT, WPARAM, LPARAM, bool&) noexcept { return 0; }
    void on_final_message() noexcept { font_.reset(); }

private:
    const char* text() const noexcept;
    void create_control(HWND parent) noexcept;
    void lay_out(UINT dpi) noexcept;

    bool shown_ = false;
    const char* english_ = nullptr;
    std::string text_;  // translated; the English text is shown when empty
    gn::unique_hfont font_;
};
