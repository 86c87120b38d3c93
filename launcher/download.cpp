// The download part: the bind callback and the transfer into the temporary file.
#include "launcher/download.h"

#include "frame/log.h"
#include "launcher/acp_text.h"
#include "launcher/download_text.h"

#include <wininet.h>

#include <cstring>
#include <cwchar>
#include <utility>

namespace {

constexpr DWORD kBindFlags = BINDF_ASYNCHRONOUS | BINDF_PULLDATA;  // 0x81
constexpr ULONG kTransferUnit = 8192;
constexpr DWORD kCertificateCheckTimeoutMs = 5000;

// One HTTP header of the transfer as text; false when the binding has none.
bool query_header(IWinInetHttpInfo* info, DWORD option, char* out, DWORD size) noexcept {
    DWORD cb = size - 1;
    DWORD index = 0;
    std::memset(out, 0, size);
    if (info->QueryInfo(option, out, &cb, &index, nullptr) != S_OK) return false;
    out[cb < size ? cb : size - 1] = '\0';
    return true;
}

using unique_hinternet = gn::unique_any<HINTERNET, BOOL, InternetCloseHandle>;

// Asks the server of an http(s) url once more, for its certificate only: a
// HEAD request that sends no cookies, writes no cache and shows no UI. Gives
// the WinINet error of the request (0 when it went through) and the security
// flags WinINet recorded for it. False when the url cannot be asked at all.
bool ask_server_certificate(const wchar_t* url, DWORD* error, DWORD* flags) noexcept {
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

    unique_hinternet session(InternetOpenW(L"GNLauncher", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) return false;
    // The browser's thread waits for this: a server that stalls is given up soon.
    DWORD timeout = kCertificateCheckTimeoutMs;
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

DocumentDownload::DocumentDownload() noexcept : sError(gn::unique_bstr::copy_of(L"")) {}

// ---------------------------------------------------------------------------
// IBindStatusCallback

STDMETHODIMP DocumentDownload::OnStartBinding(DWORD, IBinding* pib) {
    LogPrint(0, "IBindStatusCallback::OnStartBinding() invoked\n");
    pBinding.assign(pib);
    nDownloadState = DownloadPending;
    hrError = S_OK;
    SetError(L"");
    nBytesWritten = 0;
    nProgressMax = 0;
    if (!tempFile.Create("DZ")) {
        SetError(L"Failed to create temp file");
        pBrowserCallback.reset();  // the binding ends here, unseen by the browser
        return E_FAIL;
    }
    if (pBrowserCallback) {
        pBrowserCallback->OnStartBinding(0, pib);
        bBrowserStarted = true;
    }
    return S_OK;
}

STDMETHODIMP DocumentDownload::GetPriority(LONG*) { return S_OK; }
STDMETHODIMP DocumentDownload::OnLowResource(DWORD) { return S_OK; }

STDMETHODIMP DocumentDownload::OnProgress(ULONG ulProgress, ULONG ulProgressMax,
                                         ULONG ulStatusCode, LPCWSTR szStatusText) {
    switch (ulStatusCode) {
    case BINDSTATUS_BEGINDOWNLOADDATA:
    case BINDSTATUS_DOWNLOADINGDATA:
    case BINDSTATUS_ENDDOWNLOADDATA:
        if (ulProgressMax > nProgressMax) nProgressMax = ulProgressMax;
        break;
    default:
        break;
    }
    if (IsLogOpen()) {
        LogPrint(0, "IBindStatusCallback::OnProgress(): %d of %d, status=%d: %s\n",
                 static_cast<int>(ulProgress), static_cast<int>(ulProgressMax),
                 static_cast<int>(ulStatusCode), gn::acp_text(szStatusText).c_str());
    }
    if (pBrowserCallback) pBrowserCallback->OnProgress(ulProgress, ulProgressMax, ulStatusCode, szStatusText);
    return S_OK;
}

STDMETHODIMP DocumentDownload::OnStopBinding(HRESULT hresult, LPCWSTR szError) {
    LogPrint(0, "IBindStatusCallback::OnStopBinding() invoked\n");

    // A transfer the binding calls complete may still be an HTTP error page or
    // cut short; that is only visible while the binding is held.
    HRESULT hr = hresult;
    char problem[192] = "";
    if (SUCCEEDED(hr) && tempFile.bCreated) hr = CheckTransfer(problem, sizeof problem);
    if (gn::is_secure_channel_failure(hr)) DescribeCertificateProblem(hr, problem, sizeof problem);
    pBinding.reset();

    if (SUCCEEDED(hr) && !tempFile.bCreated) hr = E_FAIL;  // nothing to hand over
    hrError = hr;
    AppendError(szError);
    if (problem[0]) {
        wchar_t wide[sizeof problem];
        if (!MultiByteToWideChar(CP_ACP, 0, problem, -1, wide, sizeof problem)) wide[0] = L'\0';
        wide[sizeof problem - 1] = L'\0';
        AppendError(wide);
    }
    tempFile.Close();

    if (SUCCEEDED(hr)) {
        nDownloadState = DownloadDone;
        LogPrint(0, "OnStopBinding: Data downloaded successfully");
    } else {
        nDownloadState = DownloadFailed;
        LogPrint(0, "OnStopBinding: Data download aborted, hresult=%x, error=%s",
                 static_cast<unsigned>(hr), gn::acp_text(sError.get()).c_str());
        tempFile.Discard();
    }
    // The browser learns the launcher's outcome, an HTTP error page included.
    if (gn::com_ptr<IBindStatusCallback> browser = std::move(pBrowserCallback)) {
        if (bBrowserStarted) browser->OnStopBinding(hr, sError.get());
    }
    bBrowserStarted = false;
    OnDownloadEnded();
    return S_OK;
}

STDMETHODIMP DocumentDownload::GetBindInfo(DWORD* grfBINDF, BINDINFO*) {
    LogPrint(0, "IBindStatusCallback::GetBindInfo() invoked\n");
    if (grfBINDF) *grfBINDF = kBindFlags;
    return S_OK;
}

STDMETHODIMP DocumentDownload::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM* pstgmed) {
    LogPrint(0, "IBindStatusCallback::OnDataAvailable() invoked\n");
    if (!pstgmed || pstgmed->tymed != TYMED_ISTREAM || !pstgmed->pstm) return S_OK;

    char buffer[kTransferUnit];
    for (;;) {
        ULONG count = 0;
        const HRESULT hr = pstgmed->pstm->Read(buffer, kTransferUnit, &count);
        if (count > kTransferUnit) count = kTransferUnit;  // never trust a count past the buffer
        if (!tempFile.file) {
            LogPrint(0, "Failed to write temp file");
            return E_FAIL;
        }
        if (count != 0 && std::fwrite(buffer, count, 1, tempFile.file) != 1) {
            LogPrint(0, "Failed to write temp file: %s\n", tempFile.path);
            LogPrint(0, "Failed to write temp file");
            return E_FAIL;
        }
        nBytesWritten += count;
        // E_PENDING (more later), any failure, S_FALSE (the end) and a read
        // that brought nothing all end this notification.
        if (hr != S_OK || count == 0) return S_OK;
    }
}

STDMETHODIMP DocumentDownload::OnObjectAvailable(REFIID, IUnknown*) { return S_OK; }

// ---------------------------------------------------------------------------
// Helpers

HRESULT DocumentDownload::CheckTransfer(char* text, size_t size) noexcept {
    text[0] = '\0';
    const gn::com_ptr<IWinInetHttpInfo> info = pBinding.try_query<IWinInetHttpInfo>();
    if (!info) {
        // Not HTTP: the protocol's own size, when it gave one.
        if (nProgressMax > 0 && nBytesWritten < nProgressMax) {
            gn::format_incomplete(text, size, nBytesWritten, nProgressMax);
            return INET_E_DOWNLOAD_FAILURE;
        }
        return S_OK;
    }

    // Only a 2xx answer carries the document. Anything else that reaches
    // here is an error page, a redirect the platform did not follow (no
    // Location, or one to another scheme) or a 304 with no body at all.
    DWORD status = 0;
    DWORD cb = sizeof status;
    DWORD index = 0;
    if (info->QueryInfo(HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &cb, &index,
                        nullptr) == S_OK &&
        !gn::is_document_status(status)) {
        char reason[128];
        if (!query_header(info.get(), HTTP_QUERY_STATUS_TEXT, reason, sizeof reason))
            reason[0] = '\0';
        gn::format_http_error(text, size, status, reason);
        return gn::http_status_result(status);
    }

    // A length announced for encoded content does not count decoded bytes,
    // and a length that does not parse is no length at all: the progress
    // maximum then holds the same nonsense, so it is not asked either.
    char header[64];
    const bool encoded = query_header(info.get(), HTTP_QUERY_CONTENT_ENCODING, header,
                                      sizeof header) &&
                         header[0] && _stricmp(header, "identity") != 0;
    ULONGLONG expected = 0;
    if (encoded || !query_header(info.get(), HTTP_QUERY_CONTENT_LENGTH, header, sizeof header) ||
        !gn::parse_content_length(header, &expected))
        return S_OK;
    if (nBytesWritten < expected) {
        gn::format_incomplete(text, size, nBytesWritten, expected);
        return INET_E_DOWNLOAD_FAILURE;
    }
    return S_OK;
}

void DocumentDownload::DescribeCertificateProblem(HRESULT hr, char* text, size_t size) noexcept {
    // The binding names no reason (its error text is empty and it answers no
    // security option), so the server's certificate is asked for once more.
    DWORD error = 0;
    DWORD flags = 0;
    const bool asked = ask_server_certificate(sURL.get(), &error, &flags);
    const char* reason = asked ? gn::certificate_reason(error, flags) : nullptr;
    LogPrint(0, "Certificate check: %s, error=%lu, security flags=%lx, reason=%s",
             asked ? "server asked" : "server not asked", static_cast<unsigned long>(error),
             static_cast<unsigned long>(flags), reason ? reason : "none");
    // A refused certificate always says so; another failure of the secure
    // channel only when the check found a certificate problem.
    if (hr == INET_E_INVALID_CERTIFICATE || reason) gn::format_certificate_error(text, size, reason);
}

void DocumentDownload::KeepBrowserCallback(gn::com_ptr<IBindStatusCallback> previous) noexcept {
    bBrowserStarted = false;
    pBrowserCallback.reset();
    // A second Load on the same bind context finds the launcher itself.
    if (previous && !gn::same_object(previous.get(), static_cast<IBindStatusCallback*>(this)))
        pBrowserCallback = std::move(previous);
}

HRESULT DocumentDownload::ForwardService(REFGUID service, REFIID riid, void** ppv) noexcept {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!pBrowserCallback ||
        !(IsEqualGUID(service, IID_IHttpSecurity) || IsEqualGUID(service, IID_IWindowForBindingUI) ||
          IsEqualGUID(service, IID_IAuthenticate)))
        return E_NOINTERFACE;
    if (gn::com_ptr<IServiceProvider> services = pBrowserCallback.try_query<IServiceProvider>()) {
        if (SUCCEEDED(services->QueryService(service, riid, ppv)) && *ppv) return S_OK;
        *ppv = nullptr;
    }
    return pBrowserCallback->QueryInterface(riid, ppv);
}

void DocumentDownload::FailToStart(HRESULT hr) noexcept {
    pBrowserCallback.reset();
    bBrowserStarted = false;
    if (nDownloadState != DownloadPending) return;
    nDownloadState = DownloadFailed;
    hrError = hr;
    SetError(L"Unknown error");
}

void DocumentDownload::CancelBinding(const wchar_t* error) noexcept {
    if (!pBinding) return;
    SetError(error);
    gn::com_ptr<IBinding> binding = std::move(pBinding);  // one abort per binding
    binding->Abort();
}

void DocumentDownload::SetError(const wchar_t* text) noexcept {
    auto copy = gn::unique_bstr::copy_of(text ? text : L"");
    if (copy) sError = std::move(copy);  // out of memory: the old text stays
}

void DocumentDownload::AppendError(const wchar_t* text) noexcept {
    if (!text || !*text) return;
    const UINT old_length = sError.length();
    const size_t add = std::wcslen(text);
    const UINT blank = old_length ? 1 : 0;
    if (add > 0x3FFFFFFF - old_length - blank) return;
    gn::unique_bstr joined(SysAllocStringLen(nullptr, static_cast<UINT>(old_length + blank + add)));
    if (!joined) return;
    if (old_length) std::memcpy(joined.get(), sError.get(), old_length * sizeof(wchar_t));
    if (blank) joined.get()[old_length] = L' ';
    std::memcpy(joined.get() + old_length + blank, text, add * sizeof(wchar_t));
    sError = std::move(joined);
}
