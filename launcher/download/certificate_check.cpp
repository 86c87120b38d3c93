// The certificate re-check on a worker thread, answered through a
// message-only window of the asking thread.
#include "launcher/download/certificate_check.h"

#include "frame/com.h"
#include "frame/log.h"

#include <wininet.h>

#include <new>

namespace gn {

namespace {

constexpr UINT kAnswerMessage = WM_APP + 1;
constexpr UINT_PTR kDeadlineTimer = 1;

}  // namespace

// Shared by the check and its worker; freed by whichever lets go last. The
// fields after refs are guarded by g_lock.
struct certificate_check::work {
    LONG refs = 2;
    HWND reply_to = nullptr;  // cleared when the check is abandoned or over
    unique_bstr url;
    DWORD timeout = 0;
    ULONGLONG started = 0;      // GetTickCount64() at the start
    HMODULE module = nullptr;   // the worker's own reference to this module
    certificate_answer answer;  // written by the worker
    bool done = false;          // the worker has its answer
    bool cut = false;           // past its deadline: its handles are closed
    // The request's handles, while the worker holds them; whoever comes
    // first after the deadline closes them (cut_off), which ends a request
    // waiting on a stalled handshake where the platform allows it.
    HINTERNET session = nullptr;
    HINTERNET connection = nullptr;
    HINTERNET request = nullptr;
    work* next = nullptr;  // the process's workers still running

    void release() noexcept {
        if (InterlockedDecrement(&refs) == 0) delete this;
    }
    // Past the deadline; g_lock held.
    void cut_off() noexcept;
    // Asks the server; false when it cannot be asked or the deadline came first.
    bool ask(DWORD* error, DWORD* flags) noexcept;
    static DWORD WINAPI run(void* parameter);
};

namespace {

// The workers still running in the process, and what they share.
critical_section g_lock;
certificate_check::work* g_running = nullptr;

}  // namespace

void certificate_check::work::cut_off() noexcept {
    cut = true;
    for (HINTERNET* handle : {&request, &connection, &session}) {
        if (*handle) InternetCloseHandle(*handle);
        *handle = nullptr;
    }
}

// Asks the server of an http(s) url once more, for its certificate only: a
// HEAD request that sends no cookies, writes no cache and shows no UI. The
// handles are made under the lock, so that a deadline that has come never
// finds one half made; only the request's sending runs without it.
bool certificate_check::work::ask(DWORD* error, DWORD* flags) noexcept {
    *error = 0;
    *flags = 0;
    wchar_t host[256];
    wchar_t object[2048];
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = ARRAYSIZE(host);
    parts.lpszUrlPath = object;
    parts.dwUrlPathLength = ARRAYSIZE(object);
    if (!url || !InternetCrackUrlW(url.get(), 0, 0, &parts)) return false;
    if (parts.nScheme != INTERNET_SCHEME_HTTPS && parts.nScheme != INTERNET_SCHEME_HTTP) return false;
    if (!object[0]) lstrcpyW(object, L"/");

    HINTERNET opened = InternetOpenW(L"GNLauncher", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!opened) return false;
    // Nobody waits past the deadline; the worker should not either.
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_RECEIVE_TIMEOUT})
        InternetSetOptionW(opened, option, &timeout, sizeof timeout);
    HINTERNET sending = nullptr;
    {
        cs_lock hold(g_lock);
        session = opened;
        if (cut) return false;  // closed with the others at the end
        connection =
            InternetConnectW(session, host, parts.nPort, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
        if (!connection) return false;
        DWORD request_flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                              INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTH;
        if (parts.nScheme == INTERNET_SCHEME_HTTPS) request_flags |= INTERNET_FLAG_SECURE;
        request =
            HttpOpenRequestW(connection, L"HEAD", object, nullptr, nullptr, nullptr, request_flags, 0);
        if (!request) return false;
        sending = request;
    }
    const DWORD sent_error = HttpSendRequestW(sending, nullptr, 0, nullptr, 0) ? 0 : GetLastError();
    cs_lock hold(g_lock);
    if (cut) return false;  // cut off: the handles are gone
    *error = sent_error;
    DWORD size = sizeof *flags;
    if (!InternetQueryOptionW(request, INTERNET_OPTION_SECURITY_FLAGS, flags, &size)) *flags = 0;
    return true;
}

DWORD WINAPI certificate_check::work::run(void* parameter) {
    auto* self = static_cast<work*>(parameter);
    const HMODULE module = self->module;
    certificate_answer answer;
    DWORD error = 0;
    DWORD flags = 0;
    answer.asked = self->ask(&error, &flags);
    answer.answered = true;
    answer.error = error;
    answer.flags = flags;
    {
        cs_lock hold(g_lock);
        self->answer = answer;
        self->done = true;
        self->cut_off();  // its own handles, unless the deadline closed them
        if (self->reply_to) PostMessageA(self->reply_to, kAnswerMessage, 0, 0);
        for (work** link = &g_running; *link; link = &(*link)->next) {
            if (*link == self) {
                *link = self->next;
                break;
            }
        }
    }
    self->release();
    // The module stays loaded until this thread is out of it.
    FreeLibraryAndExitThread(module, 0);
    return 0;
}

std::unique_ptr<certificate_check> certificate_check::start(const wchar_t* url,
                                                            certificate_check_owner* owner,
                                                            DWORD deadline_ms) noexcept {
    std::unique_ptr<certificate_check> check(new (std::nothrow) certificate_check);
    std::unique_ptr<work> shared(new (std::nothrow) work);
    if (!check || !shared || !url) return nullptr;
    shared->url = unique_bstr::copy_of(url);
    shared->timeout = deadline_ms;
    check->deadline_ms_ = deadline_ms;
    if (!shared->url) return nullptr;

    if (!check->window_.create(check.get()) || !check->window_.set_timer(kDeadlineTimer, deadline_ms))
        return nullptr;
    shared->reply_to = check->window_.hwnd();

    cs_lock hold(g_lock);
    // Work past its deadline is cut off here at the latest (an abandoned
    // check has no timer of its own); only the rest counts as live.
    const ULONGLONG now = GetTickCount64();
    LONG live = 0;
    LONG threads = 0;
    for (work* running = g_running; running; running = running->next) {
        ++threads;
        if (running->done || running->cut) continue;
        if (now - running->started >= running->timeout)
            running->cut_off();
        else
            ++live;
    }
    if (live >= kMostWorkers || threads >= kMostThreads) {
        LogPrint(0, "Certificate check: %ld checks still running, the server is not asked",
                 static_cast<long>(live >= kMostWorkers ? live : threads));
        return nullptr;
    }
    HANDLE thread = nullptr;
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&work::run),
                           &shared->module)) {
        shared->started = now;
        thread = CreateThread(nullptr, 0, &work::run, shared.get(), 0, nullptr);
        if (!thread) FreeLibrary(shared->module);
    }
    if (!thread) return nullptr;
    CloseHandle(thread);
    shared->next = g_running;
    g_running = shared.get();
    check->owner_ = owner;
    check->work_ = shared.release();
    return check;
}

certificate_check::~certificate_check() {
    if (work* shared = work_) {
        work_ = nullptr;
        {
            cs_lock hold(g_lock);
            shared->reply_to = nullptr;  // the worker reports to nobody now
        }
        shared->release();
    }
    owner_ = nullptr;
}

void certificate_check::on_window_message(UINT msg, WPARAM wp) noexcept {
    certificate_answer answer;
    if (msg == kAnswerMessage) {
        if (!work_) return;
        cs_lock hold(g_lock);
        answer = work_->answer;
    } else if (msg == WM_TIMER && wp == kDeadlineTimer) {
        LogPrint(0, "Certificate check: no answer within %lu ms",
                 static_cast<unsigned long>(deadline_ms_));
    } else {
        return;
    }
    finish(answer);
}

void certificate_check::finish(const certificate_answer& answer) noexcept {
    window_.kill_timer(kDeadlineTimer);
    if (work* shared = work_) {
        work_ = nullptr;
        {
            cs_lock hold(g_lock);
            shared->reply_to = nullptr;
            if (!shared->done) shared->cut_off();  // the deadline came first
        }
        shared->release();
    }
    // Last: the owner may destroy this check from inside.
    if (certificate_check_owner* owner = owner_) {
        owner_ = nullptr;
        owner->on_certificate_checked(answer);
    }
}

}  // namespace gn
