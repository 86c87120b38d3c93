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

// The workers running in the process, abandoned ones included.
LONG g_workers = 0;

// Asks the server of an http(s) url once more, for its certificate only: a
// HEAD request that sends no cookies, writes no cache and shows no UI. False
// when the url cannot be asked at all.
bool ask_server_certificate(const wchar_t* url, DWORD timeout, DWORD* error, DWORD* flags) noexcept {
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
    if (!url || !InternetCrackUrlW(url, 0, 0, &parts)) return false;
    if (parts.nScheme != INTERNET_SCHEME_HTTPS && parts.nScheme != INTERNET_SCHEME_HTTP) return false;
    if (!object[0]) lstrcpyW(object, L"/");

    unique_hinternet session(
        InternetOpenW(L"GNLauncher", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) return false;
    // Nobody waits past the deadline; the worker should not either.
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_RECEIVE_TIMEOUT})
        InternetSetOptionW(session.get(), option, &timeout, sizeof timeout);
    unique_hinternet connection(InternetConnectW(session.get(), host, parts.nPort, nullptr, nullptr,
                                                 INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) return false;
    DWORD request_flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                          INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTH;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS) request_flags |= INTERNET_FLAG_SECURE;
    unique_hinternet request(HttpOpenRequestW(connection.get(), L"HEAD", object, nullptr, nullptr,
                                              nullptr, request_flags, 0));
    if (!request) return false;
    if (!HttpSendRequestW(request.get(), nullptr, 0, nullptr, 0)) *error = GetLastError();
    DWORD size = sizeof *flags;
    if (!InternetQueryOptionW(request.get(), INTERNET_OPTION_SECURITY_FLAGS, flags, &size)) *flags = 0;
    return true;
}

}  // namespace

// Shared by the check and its worker; freed by whichever lets go last.
struct certificate_check::work {
    LONG refs = 2;
    critical_section lock;
    HWND reply_to = nullptr;  // cleared, under the lock, when the check is abandoned
    unique_bstr url;
    DWORD timeout = 0;
    HMODULE module = nullptr;   // the worker's own reference to this module
    certificate_answer answer;  // written by the worker, read under the lock

    void release() noexcept {
        if (InterlockedDecrement(&refs) == 0) delete this;
    }

    static DWORD WINAPI run(void* parameter) {
        auto* self = static_cast<work*>(parameter);
        const HMODULE module = self->module;
        certificate_answer answer;
        DWORD error = 0;
        DWORD flags = 0;
        answer.asked = ask_server_certificate(self->url.get(), self->timeout, &error, &flags);
        answer.answered = true;
        answer.error = error;
        answer.flags = flags;
        {
            cs_lock hold(self->lock);
            self->answer = answer;
            if (self->reply_to) PostMessageA(self->reply_to, kAnswerMessage, 0, 0);
        }
        self->release();
        InterlockedDecrement(&g_workers);
        // The module stays loaded until this thread is out of it.
        FreeLibraryAndExitThread(module, 0);
        return 0;
    }
};

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
    if (InterlockedIncrement(&g_workers) > kMostWorkers) {
        InterlockedDecrement(&g_workers);
        LogPrint(0, "Certificate check: %ld checks still running, the server is not asked",
                 static_cast<long>(kMostWorkers));
        return nullptr;
    }
    HANDLE thread = nullptr;
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&work::run),
                           &shared->module)) {
        thread = CreateThread(nullptr, 0, &work::run, shared.get(), 0, nullptr);
        if (!thread) FreeLibrary(shared->module);
    }
    if (!thread) {
        InterlockedDecrement(&g_workers);
        return nullptr;
    }
    CloseHandle(thread);
    check->owner_ = owner;
    check->work_ = shared.release();
    return check;
}

certificate_check::~certificate_check() {
    if (work* shared = work_) {
        work_ = nullptr;
        {
            cs_lock hold(shared->lock);
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
        cs_lock hold(work_->lock);
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
            cs_lock hold(shared->lock);
            shared->reply_to = nullptr;
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
