// Loading from a URL moniker and downloading into the temporary file.
#include "launcher/download_text.h"
#include "launcher/launcher.h"

#include "frame/log.h"

#include <wininet.h>

#include <cstring>
#include <cwchar>

namespace {

constexpr DWORD kBindFlags = BINDF_ASYNCHRONOUS | BINDF_PULLDATA;  // 0x81
constexpr ULONG kTransferUnit = 8192;

// Reads the cookies of url into data (size in and out, as InternetGetCookieA),
// HttpOnly cookies included where the platform can give them: a server sends
// a password cookie that way so that no page script sees it. Older platforms
// lack the extended call or the flag; the plain call serves there.
BOOL get_cookies(const char* url, char* data, DWORD* size) noexcept {
    using get_cookie_ex = BOOL(WINAPI*)(LPCSTR, LPCSTR, LPSTR, LPDWORD, DWORD, LPVOID);
    constexpr DWORD kHttpOnly = 0x2000;  // INTERNET_COOKIE_HTTPONLY
    if (HMODULE wininet = GetModuleHandleA("wininet.dll")) {
        const auto ex = reinterpret_cast<get_cookie_ex>(
            reinterpret_cast<void*>(GetProcAddress(wininet, "InternetGetCookieExA")));
        DWORD got = *size;
        if (ex && ex(url, nullptr, data, &got, kHttpOnly, nullptr)) {
            *size = got;
            return TRUE;
        }
        // Cookies that grew since the size was asked: the caller asks again,
        // rather than reading without the HttpOnly ones.
        if (ex && GetLastError() == ERROR_INSUFFICIENT_BUFFER) return FALSE;
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

// One HTTP header of the transfer as text; false when the binding has none.
bool query_header(IWinInetHttpInfo* info, DWORD option, char* out, DWORD size) noexcept {
    DWORD cb = size - 1;
    DWORD index = 0;
    std::memset(out, 0, size);
    if (info->QueryInfo(option, out, &cb, &index, nullptr) != S_OK) return false;
    out[cb < size ? cb : size - 1] = '\0';
    return true;
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
        if (BSTR copy = SysAllocString(name.get())) {
            SysFreeString(sURL);
            sURL = copy;
            LogPrint(0, "Gotten Url: %s\n", gn::acp_text(sURL).c_str());
        }
    }

    // A document of the legacy server is opened by the legacy client from its
    // URL: no download. A null URL has no cookies.
    // Without the legacy client that road would only show an empty window, on
    // every visit while the cookie lasts: the current client opens it instead.
    if (sURL && !gn::is_file_url(sURL) && has_legacy_server_cookie(sURL)) {
        bLegacyStream = LegacyClientInstalled();
        if (!bLegacyStream)
            LogPrint(0, "Morvane 6x is not installed: downloading the document for Morvane 8x");
    }
    if (bLegacyStream) return S_OK;

    gn::com_ptr<IBindStatusCallback> previous;
    RegisterBindStatusCallback(pibc, static_cast<IBindStatusCallback*>(this), previous.put(), 0);

    gn::com_ptr<IStream> stream;
    const HRESULT hr = pimkName->BindToStorage(pibc, nullptr, IID_IStream, stream.put_void());
    stream.reset();
    if (FAILED(hr)) {
        LogPrint(0, "BindToStorage() failed, hresult=%x", static_cast<unsigned>(hr));
        if (nDownloadState == DownloadPending) {
            nDownloadState = DownloadFailed;
            hrError = hr;
            SetError(L"Unknown error");
        }
    }
    return S_OK;
}

STDMETHODIMP MorvaneLauncher::Save(IMoniker*, LPBC, BOOL) { return S_OK; }
STDMETHODIMP MorvaneLauncher::SaveCompleted(IMoniker*, LPBC) { return S_OK; }
STDMETHODIMP MorvaneLauncher::GetCurMoniker(IMoniker**) { return E_NOTIMPL; }

// ---------------------------------------------------------------------------
// IMonikerProp

STDMETHODIMP MorvaneLauncher::PutProperty(MONIKERPROPERTY mkp, LPCWSTR val) {
    if (mkp != MIMETYPEPROP) return S_OK;
    BSTR copy = val ? SysAllocString(val) : nullptr;
    SysFreeString(sMimeType);
    sMimeType = copy;
    return S_OK;
}

// ---------------------------------------------------------------------------
// IBindStatusCallback

STDMETHODIMP MorvaneLauncher::OnStartBinding(DWORD, IBinding* pib) {
    LogPrint(0, "IBindStatusCallback::OnStartBinding() invoked\n");
    pBinding.assign(pib);
    nDownloadState = DownloadPending;
    hrError = S_OK;
    SetError(L"");
    nBytesWritten = 0;
    nProgressMax = 0;
    if (tempFile.Create("DZ")) return S_OK;
    SetError(L"Failed to create temp file");
    return E_FAIL;
}

STDMETHODIMP MorvaneLauncher::GetPriority(LONG*) { return S_OK; }
STDMETHODIMP MorvaneLauncher::OnLowResource(DWORD) { return S_OK; }

STDMETHODIMP MorvaneLauncher::OnProgress(ULONG ulProgress, ULONG ulProgressMax,
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
    return S_OK;
}

STDMETHODIMP MorvaneLauncher::OnStopBinding(HRESULT hresult, LPCWSTR szError) {
    LogPrint(0, "IBindStatusCallback::OnStopBinding() invoked\n");

    // A transfer the binding calls complete may still be an HTTP error page or
    // cut short; that is only visible while the binding is held.
    HRESULT hr = hresult;
    char problem[192] = "";
    if (SUCCEEDED(hr) && tempFile.bCreated) hr = CheckTransfer(problem, sizeof problem);
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
                 static_cast<unsigned>(hr), gn::acp_text(sError).c_str());
        tempFile.Discard();
    }
    NotifySink();
    return S_OK;
}

STDMETHODIMP MorvaneLauncher::GetBindInfo(DWORD* grfBINDF, BINDINFO*) {
    LogPrint(0, "IBindStatusCallback::GetBindInfo() invoked\n");
    if (grfBINDF) *grfBINDF = kBindFlags;
    return S_OK;
}

STDMETHODIMP MorvaneLauncher::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM* pstgmed) {
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

STDMETHODIMP MorvaneLauncher::OnObjectAvailable(REFIID, IUnknown*) { return S_OK; }

// ---------------------------------------------------------------------------
// Helpers

HRESULT MorvaneLauncher::CheckTransfer(char* text, size_t size) noexcept {
    text[0] = '\0';
    gn::com_ptr<IWinInetHttpInfo> info;
    if (pBinding) pBinding->QueryInterface(IID_IWinInetHttpInfo, info.put_void());
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

void MorvaneLauncher::SetError(const wchar_t* text) noexcept {
    BSTR copy = SysAllocString(text ? text : L"");
    if (!copy) return;  // out of memory: the old text stays
    SysFreeString(sError);
    sError = copy;
}

void MorvaneLauncher::AppendError(const wchar_t* text) noexcept {
    if (!text || !*text) return;
    const UINT old_length = SysStringLen(sError);
    const size_t add = std::wcslen(text);
    const UINT blank = old_length ? 1 : 0;
    if (add > 0x3FFFFFFF - old_length - blank) return;
    BSTR joined = SysAllocStringLen(nullptr, static_cast<UINT>(old_length + blank + add));
    if (!joined) return;
    if (old_length) std::memcpy(joined, sError, old_length * sizeof(wchar_t));
    if (blank) joined[old_length] = L' ';
    std::memcpy(joined + old_length + blank, text, add * sizeof(wchar_t));
    SysFreeString(sError);
    sError = joined;
}
