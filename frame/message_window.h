// A message-only window that hands its posted messages and timers to an
// object of the thread that made it: the way work is put off to a later
// message of the thread's own loop, or brought back to the thread from
// another one (a worker posts to hwnd()).
//
//     class Foo : public gn::message_sink {
//         void on_window_message(UINT msg, WPARAM wp) noexcept override;
//         gn::message_window window_;   // window_.create(this) on the thread
//     };
//
// The sink may destroy the window from inside on_window_message.
#pragma once

#include "frame/window.h"

namespace gn {

class message_sink {
public:
    // A message at or above WM_APP posted to the window, or WM_TIMER (wp is
    // the timer's id).
    virtual void on_window_message(UINT msg, WPARAM wp) noexcept = 0;

protected:
    ~message_sink() = default;
};

class message_window final : public window_impl<message_window> {
public:
    message_window() noexcept = default;
    ~message_window() { destroy(); }

    // Makes the window on the calling thread; false when it could not.
    bool create(message_sink* sink) noexcept;
    void destroy() noexcept;

    bool post(UINT msg, WPARAM wp = 0) const noexcept {
        return hwnd() && PostMessageA(hwnd(), msg, wp, 0);
    }
    bool set_timer(UINT_PTR id, UINT ms) const noexcept { return hwnd() && SetTimer(hwnd(), id, ms, nullptr); }
    void kill_timer(UINT_PTR id) const noexcept {
        if (hwnd()) KillTimer(hwnd(), id);
    }

    static const char* window_property() { return "GN.MessageWindow"; }
    LRESULT on_message(UINT msg, WPARAM wp, LPARAM lp, bool& handled);

private:
    message_sink* sink_ = nullptr;
};

}  // namespace gn
