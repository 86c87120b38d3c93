// Asking a server once more why its certificate was refused, without ever
// holding up the thread that asks.
//
// A secure binding that fails on the server's certificate names no reason, so
// the launcher asks the server again (a HEAD request that shows no UI and
// keeps nothing). That request may hang: a TLS handshake that stalls is not
// bounded by WinINet's timeouts, and name resolution has none at all. So the
// request runs on a thread of its own, and the answer comes back as a message
// to a message-only window of the asking thread, or the deadline comes first
// and the check ends without one.
//
// The worker owns what it uses (a copy of the URL, its part of the shared
// answer and a reference to the module, given back as it exits), so the
// asker may go at any time: destroying the check abandons the worker, which
// then finishes on its own and reports to nobody.
//
// A check that passes its deadline has its Internet handles closed (by its
// deadline, or by the next check to start when it was abandoned), which ends
// a request stalled in its handshake where the platform cancels a request
// whose handles close. From then on it no longer counts as live work.
#pragma once

#include "frame/message_window.h"

#include <windows.h>

#include <memory>

namespace gn {

// What the check learnt: whether the server could be asked at all, the
// WinINet error of the request (0 when it went through) and the security
// flags WinINet recorded for it. answered is false at the deadline.
struct certificate_answer {
    bool answered = false;
    bool asked = false;
    unsigned long error = 0;
    unsigned long flags = 0;
};

class certificate_check_owner {
public:
    // Called once, on the thread that started the check, from its window's
    // message. The owner may destroy the check from inside.
    virtual void on_certificate_checked(const certificate_answer& answer) noexcept = 0;

protected:
    ~certificate_check_owner() = default;
};

class certificate_check final : private message_sink {
public:
    // The whole check's time, name resolution included.
    static constexpr DWORD kDeadlineMs = 3000;
    // Checks that may be live at once in the process (started, not answered
    // and not past their deadline), abandoned ones included.
    static constexpr LONG kMostWorkers = 4;
    // Worker threads that may exist at once, those past their deadline
    // included: on a platform that goes on waiting for a stalled handshake
    // after its handles closed (Wine does), a thread keeps the module until
    // the server lets go, and a server that stalls every check holds no
    // more than these.
    static constexpr LONG kMostThreads = 16;

    // Starts asking the server of url (http or https) on a worker thread;
    // owner hears the answer, or of the deadline, within deadline_ms. Null
    // when the check could not start (no window, no thread, out of memory,
    // kMostWorkers live or kMostThreads running): the caller goes on without
    // a reason.
    static std::unique_ptr<certificate_check> start(const wchar_t* url, certificate_check_owner* owner,
                                                    DWORD deadline_ms = kDeadlineMs) noexcept;
    // Abandons a check still running: its owner is not called.
    ~certificate_check();

    struct work;  // shared by the check and its worker thread

    certificate_check() noexcept = default;

private:
    void on_window_message(UINT msg, WPARAM wp) noexcept override;
    void finish(const certificate_answer& answer) noexcept;

    message_window window_;
    certificate_check_owner* owner_ = nullptr;
    work* work_ = nullptr;
    DWORD deadline_ms_ = 0;
};

}  // namespace gn
