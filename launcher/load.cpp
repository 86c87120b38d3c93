// Loading from a URL moniker: the document's URL and MIME type, the legacy
// server's documents, and the start of the download.
#include "launcher/acp_text.h"
#include "launcher/download/download_text.h"
#include "launcher/launcher.h"

#include "frame/log.h"

#include <wininet.h>

#include <utility>

namespace {

using get_cookie_ex = BOOL(WINAPI*)(LPCSTR, LPCSTR, LPSTR, LPDWORD, DWORD, LPVOID);

// The extended cookie call, where the platform has it. wininet stays loaded
// as long as the module (its plain cookie call is imported), so the call is
// looked up once.
get_cookie_ex extended_cookie_call() noexcept {
    static const get_cookie_ex ex = [] {
        HMODULE wininet = GetModuleHandleA("wininet.dll");
        return wininet ? reinterpret_cast<get_cookie_ex>(
                             reinterpret_cast<void*>(GetProcAddress(wininet, "InternetGetCookieExA")))
                       : nullptr;
    }();
    return ex;
}

// Reads the cookies of url into data (size in and out, as InternetGetCookieA),
// HttpOnly cookies included where the platform can give them: a server sends
// a password cookie that way so that no page script sees it. Older platforms
// lack the extended call or the flag; the plain call serves there.
BOOL get_cookies(const char* url, char* data, DWORD* size) noexcept {
    constexpr DWORD kHttpOnly = 0x2000;  // INTERNET_COOKIE_HTTPONLY
    if (const get_cookie_ex ex = extended_cookie_call()) {
        DWORD got = *size;
        if (ex(url, nullptr, data, &got, kHttpOnly, nullptr)) {
            *size = got;
            return TRUE;
        }
        // Cookies that grew since the size was asked: the caller asks again,
        // rather than reading without the HttpOnly ones. No cookie at all:
        // the plain call, which sees only some of them, has none either.
        const DWORD error = GetLastError();
        if (error == ERROR_INSUFFICIENT_BUFFER || error == ERROR_NO_MORE_ITEMS) return FALSE;
    }
    return InternetGetCookieA(url, nullptr, data, size);
}

// Logs the cookie text (values masked) and tests it for a legacy-server cookie.
bool is_legacy_cookie_text(const char* cookies) noexcept {
    // The cookie values (the legacy password among them) never reach the log.
    if (IsLogOpen()) {
        const size_t masked_size = gn::mask_cookies(cookies, nullptr, 0) + 1;
        gn::char_buffer masked(masked_size);
        if (masked) gn::mask_cookies(cookies, masked.get(), masked_size);
        LogPrint(0, "Got cookie: %s", masked ? masked.get() : "");
    }

    if (!gn::has_legacy_cookie(cookies)) return false;
    LogPrint(0, "** 6x DZY stream detected\n");
    return true;
}

// Tests the browser's cookies of url for a cookie of the legacy server.
bool has_legacy_server_cookie(const wchar_t* url) noexcept {
    const gn::acp_text address(url);
    // Most addresses have few cookies: they are read at once into a buffer
    // of the stack, and only more than it holds are asked for their size.
    char few[4096];
    DWORD few_size = sizeof few - 1;
    if (get_cookies(address.c_str(), few, &few_size)) {
        few[few_size < sizeof few ? few_size : sizeof few - 1] = '\0';
        return is_legacy_cookie_text(few);
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
    // Another thread of the browser can add cookies between the size query
    // and the read: a read that finds its buffer short is made again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD size = 0;
        get_cookies(address.c_str(), nullptr, &size);
        if (size == 0) return false;

        gn::char_buffer cookies(size + 1);
        if (!cookies) return false;
        DWORD got = size;
        if (get_cookies(address.c_str(), cookies.get(), &got)) {
            cookies.get()[size] = '\0';
            return is_legacy_cookie_text(cookies.get());
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
    }
    return false;
}

}  // namespace

// ---------------------------------------------------------------------------
// IPersistMoniker

STDMETHODIMP MorvaneLauncher::GetClassID(CLSID* pClassID) {
    RETURN_HR_IF(E_FAIL, !pClassID);
    *pClassID = CLSID_MorvaneLauncher;
    return S_OK;
}

STDMETHODIMP MorvaneLauncher::IsDirty() { return S_FALSE; }

STDMETHODIMP MorvaneLauncher::Load(BOOL, IMoniker* pimkName, LPBC pibc, DWORD) {
    LogPrint(0, "IPersistMoniker::Load() invoked");
    bLegacyStream = false;
    RETURN_HR_IF(E_FAIL, !pimkName);

    gn::unique_cotaskmem<wchar_t> name;
    if (SUCCEEDED(pimkName->GetDisplayName(nullptr, nullptr, name.put())) && name.get()) {
        if (auto copy = gn::unique_bstr::copy_of(name.get())) {
            sURL = std::move(copy);
            if (IsLogOpen()) LogPrint(0, "Gotten Url: %s\n", gn::acp_text(sURL.get()).c_str());
        }
    }

    // A document of the legacy server is opened by the legacy client from its
    // URL: no download. A null URL has no cookies.
    // Without the legacy client that road would only show an empty window, on
    // every visit while the cookie lasts: the current client opens it instead.
    // The cookies then change nothing but the log; without a log they are
    // read only where the legacy client is registered, the cheaper question
    // (the cookie store searches the platform's cache for every read). Its
    // file, perhaps on a share that does not answer, is looked for only once
    // a legacy cookie says the legacy client is wanted.
    if (sURL && !gn::is_file_url(sURL.get()) && (IsLogOpen() || LegacyClientRegistered()) &&
        has_legacy_server_cookie(sURL.get())) {
        // A legacy control the administrator's settings refuse counts as not installed.
        bLegacyStream = LegacyClientInstalled() &&
                        AskClientPolicy(gn::CLSID_Legacy6xControl) == gn::addon_outcome::allowed;
        if (!bLegacyStream)
            LogPrint(0, "Morvane 6x is not installed: downloading the document for Morvane 8x");
    }
    if (bLegacyStream) return S_OK;

    // A refresh or a Load from inside any callback supersedes the running
    // transfer: only the latest one reaches the plugin. The browser's callback
    // it kept is taken first: cancelling lets go of it.
    const gn::com_ptr<DownloadTransfer> superseded = pTransfer;
    gn::com_ptr<IBindStatusCallback> kept_browser(superseded ? superseded->BrowserCallback() : nullptr);
    if (!StartTransfer()) return S_OK;
    const gn::com_ptr<DownloadTransfer> transfer = pTransfer;
    IBindStatusCallback* const callback = static_cast<IBindStatusCallback*>(transfer.get());

    gn::com_ptr<IBindStatusCallback> previous;
    RegisterBindStatusCallback(pibc, callback, previous.put(), 0);
    IBindStatusCallback* const earlier =
        superseded ? static_cast<IBindStatusCallback*>(superseded.get()) : nullptr;
    if (previous && earlier && gn::same_object(previous.get(), earlier)) {
        // A second Load on the same bind context finds the earlier transfer
        // registered there, and the platform's record of that registration is
        // what the earlier binding reports through: registering over it would
        // hand that binding's last calls (its abort) to the new transfer. The
        // earlier registration is put back and revoked, with the earlier
        // binding still reporting to its own transfer, and the new one made
        // afresh. The browser's callback is the one the earlier transfer kept.
        RegisterBindStatusCallback(pibc, earlier, nullptr, 0);
        RevokeBindStatusCallback(pibc, earlier);
        RegisterBindStatusCallback(pibc, callback, nullptr, 0);
        previous = std::move(kept_browser);
    }
    if (previous && gn::same_object(previous.get(), static_cast<IBindStatusCallback*>(this)))
        previous.reset();
    transfer->KeepBrowserCallback(std::move(previous), pibc);

    gn::com_ptr<IStream> stream;
    const HRESULT hr = pimkName->BindToStorage(pibc, nullptr, IID_IStream, stream.put_void());
    stream.reset();
    if (FAILED(hr)) {
        LogPrint(0, "BindToStorage() failed, hresult=%x", static_cast<unsigned>(hr));
        if (transfer.get() == pTransfer.get()) FailToStart(hr);
    }
    return S_OK;
}

// IServiceProvider: the browser's UI services for the binding.
STDMETHODIMP MorvaneLauncher::QueryService(REFGUID guidService, REFIID riid, void** ppv) {
    if (const gn::com_ptr<DownloadTransfer> transfer = pTransfer)
        return transfer->QueryService(guidService, riid, ppv);
    if (ppv) *ppv = nullptr;
    return ppv ? E_NOINTERFACE : E_POINTER;
}

STDMETHODIMP MorvaneLauncher::Save(IMoniker*, LPBC, BOOL) { return S_OK; }
STDMETHODIMP MorvaneLauncher::SaveCompleted(IMoniker*, LPBC) { return S_OK; }
STDMETHODIMP MorvaneLauncher::GetCurMoniker(IMoniker**) { return E_NOTIMPL; }

// ---------------------------------------------------------------------------
// IMonikerProp

STDMETHODIMP MorvaneLauncher::PutProperty(MONIKERPROPERTY mkp, LPCWSTR val) {
    if (mkp != MIMETYPEPROP) return S_OK;
    sMimeType = gn::unique_bstr::copy_of(val);
    return S_OK;
}

