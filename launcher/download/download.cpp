// The download part: a transfer per binding, into a temporary file of its own,
// and the launcher's view of the current one.
#include "launcher/download/download.h"

#include "frame/log.h"
#include "launcher/acp_text.h"
#include "launcher/download/download_text.h"

#include <wininet.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <utility>

namespace {

constexpr DWORD kBindFlags = BINDF_ASYNCHRONOUS | BINDF_PULLDATA;  // 0x81
constexpr ULONG kTransferUnit = 8192;

// One HTTP header of the transfer as text; false when the binding has none.
bool query_header(IWinInetHttpInfo* info, DWORD option, char* out, DWORD size) noexcept {
    DWORD cb = size - 1;
    DWORD index = 0;
    std::memset(out, 0, size);
    if (info->QueryInfo(option, out, &cb, &index, nullptr) != S_OK) return false;
    out[cb < size ? cb : size - 1] = '\0';
    return true;
}

// Every instance of a header the answer may repeat, joined by ", " into one
// value as HTTP allows (cut when out is too small); false when it has none.
bool query_header_list(IWinInetHttpInfo* info, DWORD option, char* out, DWORD size) noexcept {
    out[0] = '\0';
    bool found = false;
    size_t used = 0;
    for (DWORD index = 0, instance = 0; instance < 16; ++instance) {
        char value[256] = "";
        DWORD cb = sizeof value - 1;
        const DWORD asked = index;
        if (info->QueryInfo(option, value, &cb, &index, nullptr) != S_OK) break;
        value[cb < sizeof value ? cb : sizeof value - 1] = '\0';
        const int n = std::snprintf(out + used, size - used, found ? ", %s" : "%s", value);
        found = true;
        if (n < 0 || static_cast<size_t>(n) >= size - used || index == asked) break;
        used += static_cast<size_t>(n);
    }
    return found;
}

}  // namespace

// ---------------------------------------------------------------------------
// DownloadTransfer

DownloadTransfer::DownloadTransfer() noexcept : sError(gn::unique_bstr::copy_of(L"")) {}

gn::com_ptr<DownloadTransfer> DownloadTransfer::make(TransferOwner* owner, const wchar_t* url,
                                                     const wchar_t* mime) noexcept {
    gn::com_ptr<DownloadTransfer> transfer = gn::make<DownloadTransfer>();
    if (!transfer || !transfer->sError) return nullptr;
    transfer->pOwner = owner;
    transfer->sURL = gn::unique_bstr::copy_of(url);
    transfer->sMimeType = gn::unique_bstr::copy_of(mime);
    if ((url && !transfer->sURL) || (mime && !transfer->sMimeType)) return nullptr;
    return transfer;
}

STDMETHODIMP DownloadTransfer::OnStartBinding(DWORD, IBinding* pib) {
    LogPrint(0, "IBindStatusCallback::OnStartBinding() invoked\n");
    // One binding per transfer; a transfer superseded before its binding
    // began refuses it.
    if (bCancelled || bStarted || bEnded) return E_ABORT;
    bStarted = true;
    pBinding.assign(pib);
    if (!file.Create(L"DZ")) {
        SetError(L"Failed to create temp file");
        return E_FAIL;  // the binding ends here, unseen by the browser's callback
    }
    if (gn::com_ptr<IBindStatusCallback> browser = pBrowserCallback) {
        bBrowserStarted = true;
        browser->OnStartBinding(0, pib);
    }
    // Superseded from inside the browser's callback: the binding was aborted
    // there if it could be; one without a binding is refused.
    return bCancelled && !pib ? E_ABORT : S_OK;
}

STDMETHODIMP DownloadTransfer::GetPriority(LONG*) { return S_OK; }
STDMETHODIMP DownloadTransfer::OnLowResource(DWORD) { return S_OK; }

STDMETHODIMP DownloadTransfer::OnProgress(ULONG ulProgress, ULONG ulProgressMax, ULONG ulStatusCode,
                                          LPCWSTR szStatusText) {
    switch (ulStatusCode) {
    case BINDSTATUS_BEGINDOWNLOADDATA:
    case BINDSTATUS_DOWNLOADINGDATA:
    case BINDSTATUS_ENDDOWNLOADDATA:
        if (ulProgressMax > nProgressMax) nProgressMax = ulProgressMax;
        break;
    default:
        break;
    }
    if (ulStatusCode <= BINDSTATUS_SENDINGREQUEST && ulStatusCode > nFurthestStatus &&
        ulStatusCode != BINDSTATUS_REDIRECTING)
        nFurthestStatus = ulStatusCode;
    if (IsLogOpen()) {
        LogPrint(0, "IBindStatusCallback::OnProgress(): %d of %d, status=%d: %s\n",
                 static_cast<int>(ulProgress), static_cast<int>(ulProgressMax),
                 static_cast<int>(ulStatusCode), gn::acp_text(szStatusText).c_str());
    }
    if (gn::com_ptr<IBindStatusCallback> browser = pBrowserCallback)
        browser->OnProgress(ulProgress, ulProgressMax, ulStatusCode, szStatusText);
    return S_OK;
}

STDMETHODIMP DownloadTransfer::OnStopBinding(HRESULT hresult, LPCWSTR szError) {
    LogPrint(0, "IBindStatusCallback::OnStopBinding() invoked\n");
    if (bEnded) return S_OK;  // a binding stops once
    bEnded = true;
    const gn::com_ptr<DownloadTransfer> self(this);  // the owner may let go of it

    HRESULT hr = hresult;
    if (bWriteFailed) {
        hr = hrResult;  // the write's failure, with its text already set
    } else {
        // A transfer the binding calls complete may still be an HTTP error
        // page, a web page or cut short; that is only visible while the
        // binding is held. A binding that was aborted has failed, even when
        // the platform ignored the abort and stopped it as a success.
        const bool given_up = bCancelled || bAborted;
        char problem[192] = "";
        if (SUCCEEDED(hr) && file.bCreated && !given_up) hr = CheckTransfer(problem, sizeof problem);
        if (SUCCEEDED(hr) && (!file.bCreated || given_up)) hr = given_up ? E_ABORT : E_FAIL;
        AppendError(szError);
        AppendError(gn::wide_text(problem).c_str());
    }
    pBinding.reset();

    // A refused certificate: its reason is asked for off this thread, and the
    // transfer ends when the answer or the deadline comes. The file has
    // nothing to keep meanwhile.
    if (!bWriteFailed && !bCancelled && gn::is_secure_channel_failure(hr)) {
        hrResult = hr;
        pCheck = gn::certificate_check::start(sURL.get(), this);
        if (pCheck) {
            file.Discard();
            return S_OK;
        }
        ExplainCertificate(hr, gn::certificate_answer{});
    }
    Finish(hr);
    return S_OK;
}

void DownloadTransfer::on_certificate_checked(const gn::certificate_answer& answer) noexcept {
    const gn::com_ptr<DownloadTransfer> self(this);
    // Destroyed last: this runs inside a message of its window.
    const std::unique_ptr<gn::certificate_check> check = std::move(pCheck);
    ExplainCertificate(hrResult, answer);
    Finish(hrResult);
}

void DownloadTransfer::ExplainCertificate(HRESULT hr, const gn::certificate_answer& answer) noexcept {
    const char* reason = answer.asked ? gn::certificate_reason(answer.error, answer.flags) : nullptr;
    LogPrint(0, "Certificate check: %s, error=%lu, security flags=%lx, reason=%s",
             !answer.answered ? "no answer"
             : answer.asked   ? "server asked"
                              : "server not asked",
             answer.error, answer.flags, reason ? reason : "none");
    // A refused certificate always says so; another failure of the secure
    // channel only when the check found a certificate problem.
    char problem[192] = "";
    if (hr == INET_E_INVALID_CERTIFICATE || reason)
        gn::format_certificate_error(problem, sizeof problem, reason);
    AppendError(gn::wide_text(problem).c_str());
}

void DownloadTransfer::Finish(HRESULT hr) noexcept {
    const gn::com_ptr<DownloadTransfer> self(this);
    // The document counts as downloaded only once its last buffered bytes
    // are on disk and the file closed without error.
    if (!file.Close() && SUCCEEDED(hr) && file.bCreated) {
        FailWrite();
        hr = hrResult;
    }
    hrResult = hr;
    if (FAILED(hr) && sError.length() == 0) {
        SetError(gn::wide_text(gn::failure_text(hr, nFurthestStatus)).c_str());
    }

    if (SUCCEEDED(hr)) {
        nState = DownloadDone;
        LogPrint(0, "OnStopBinding: Data downloaded successfully");
    } else {
        nState = DownloadFailed;
        LogPrint(0, "OnStopBinding: Data download aborted, hresult=%x, error=%s",
                 static_cast<unsigned>(hr), gn::acp_text(sError.get()).c_str());
        file.Discard();
    }
    if (bCancelled && !nHandingOver) file.Discard();
    // The main plugin hears first (and its file is deleted when its call
    // returned); the browser's callback learns last that its binding stopped.
    if (TransferOwner* owner = pOwner) {
        pOwner = nullptr;  // one outcome per transfer
        owner->OnTransferEnded(this);
    }
    StopBrowser(hrResult);
}

STDMETHODIMP DownloadTransfer::GetBindInfo(DWORD* grfBINDF, BINDINFO*) {
    LogPrint(0, "IBindStatusCallback::GetBindInfo() invoked\n");
    if (grfBINDF) *grfBINDF = kBindFlags;
    return S_OK;
}

STDMETHODIMP DownloadTransfer::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM* pstgmed) {
    LogPrint(0, "IBindStatusCallback::OnDataAvailable() invoked\n");
    if (!pstgmed || pstgmed->tymed != TYMED_ISTREAM || !pstgmed->pstm) return S_OK;
    // Data of a binding that this transfer gave up is not read.
    if (bCancelled || bWriteFailed || bEnded) return S_OK;

    char buffer[kTransferUnit];
    for (;;) {
        ULONG count = 0;
        const HRESULT hr = pstgmed->pstm->Read(buffer, kTransferUnit, &count);
        if (count > kTransferUnit) count = kTransferUnit;  // never trust a count past the buffer
        if (!file.file && !file.nWriteError) {
            LogPrint(0, "Failed to write temp file");
            return E_FAIL;
        }
        // A block counts only once the runtime has taken it.
        if (count != 0 && !file.Write(buffer, count)) {
            const bool bound = static_cast<bool>(pBinding);
            FailWrite();
            // An aborted binding releases this callback; one that cannot be
            // aborted (no binding) is told through the result.
            return bound ? S_OK : E_FAIL;
        }
        nBytesWritten += count;
        // E_PENDING (more later), any failure, S_FALSE (the end) and a read
        // that brought nothing all end this notification.
        if (hr != S_OK || count == 0) return S_OK;
    }
}

STDMETHODIMP DownloadTransfer::OnObjectAvailable(REFIID, IUnknown*) { return S_OK; }

STDMETHODIMP DownloadTransfer::QueryService(REFGUID service, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    const gn::com_ptr<IBindStatusCallback> browser = pBrowserCallback;
    if (!browser ||
        !(IsEqualGUID(service, IID_IHttpSecurity) || IsEqualGUID(service, IID_IWindowForBindingUI) ||
          IsEqualGUID(service, IID_IAuthenticate)))
        return E_NOINTERFACE;
    if (gn::com_ptr<IServiceProvider> services = browser.try_query<IServiceProvider>()) {
        if (SUCCEEDED(services->QueryService(service, riid, ppv)) && *ppv) return S_OK;
        *ppv = nullptr;
    }
    return browser->QueryInterface(riid, ppv);
}

void DownloadTransfer::KeepBrowserCallback(gn::com_ptr<IBindStatusCallback> previous,
                                           IBindCtx* context) noexcept {
    bBrowserStarted = false;
    pBrowserCallback = std::move(previous);
    pBindContext.assign(context);
}

void DownloadTransfer::FailToStart(HRESULT hr) noexcept {
    if (bEnded || nState != DownloadPending) return;
    bEnded = true;
    pBinding.reset();  // a binding that never got going is nothing to abort later
    pOwner = nullptr;
    nState = DownloadFailed;
    hrResult = hr;
    SetError(L"Unknown error");
    file.Discard();
    StopBrowser(hr);
}

void DownloadTransfer::Abort(const wchar_t* error) noexcept {
    if (pCheck) {
        // The binding has stopped already; the reason is no longer waited for.
        const gn::com_ptr<DownloadTransfer> self(this);
        pCheck.reset();
        SetError(error);
        Finish(hrResult);
        return;
    }
    if (!pBinding || bAborted) return;  // one abort per binding
    SetError(error);
    bAborted = true;
    const gn::com_ptr<IBinding> binding = pBinding;  // its stop may come inside
    binding->Abort();
}

void DownloadTransfer::Cancel() noexcept {
    const gn::com_ptr<DownloadTransfer> self(this);
    pOwner = nullptr;
    bCancelled = true;
    gn::com_ptr<IBinding> binding = std::move(pBinding);
    if (binding && !bAborted) {
        LogPrint(0, "Download superseded or dropped: aborting its binding");
        binding->Abort();  // its OnStopBinding may run inside
    }
    if (!bStarted) bEnded = true;  // its binding never began: none will
    pCheck.reset();                // a certificate check still running reports to nobody
    if (!nHandingOver) file.Discard();
    // A transfer that had ended tells the browser its own outcome.
    StopBrowser(nState == DownloadPending ? E_ABORT : hrResult);
}

void DownloadTransfer::EndHandOver() noexcept {
    if (nHandingOver > 0 && --nHandingOver > 0) return;  // an outer call still reads it
    file.Discard();
}

void DownloadTransfer::FailWrite() noexcept {
    const int error = file.nWriteError ? file.nWriteError : EIO;
    const gn::acp_text shown(file.path);
    LogPrint(0, "Failed to write temp file: %s\n", shown.c_str());
    LogPrint(0, "Failed to write temp file");
    bWriteFailed = true;
    hrResult = static_cast<HRESULT>(gn::write_failure_result(error));
    char text[96];
    std::snprintf(text, sizeof text, "Failed to write temp file: %s", gn::write_failure_reason(error));
    SetError(gn::wide_text(text).c_str());
    file.Close();
    // The binding keeps a callback whose read failed until it is aborted.
    if (gn::com_ptr<IBinding> binding = std::move(pBinding)) binding->Abort();
}

void DownloadTransfer::StopBrowser(HRESULT hr) noexcept {
    gn::com_ptr<IBindStatusCallback> browser = std::move(pBrowserCallback);
    const gn::com_ptr<IBindCtx> context = std::move(pBindContext);
    const bool started = bBrowserStarted;
    bBrowserStarted = false;
    IBindStatusCallback* const self = this;
    if (context && bEnded && browser) {
        gn::com_ptr<IBindStatusCallback> displaced;
        RegisterBindStatusCallback(context.get(), browser.get(), displaced.put(), 0);
        // Registered over by someone else since: theirs stays.
        if (displaced && !gn::same_object(displaced.get(), self))
            RegisterBindStatusCallback(context.get(), displaced.get(), nullptr, 0);
    } else if (context && bEnded) {
        RevokeBindStatusCallback(context.get(), self);
    }
    if (browser && started) browser->OnStopBinding(hr, sError.get());
}

// ---------------------------------------------------------------------------
// Helpers

HRESULT DownloadTransfer::CheckTransfer(char* text, size_t size) noexcept {
    text[0] = '\0';
    const gn::com_ptr<IWinInetHttpInfo> info = pBinding.try_query<IWinInetHttpInfo>();
    if (!info) {
        // Not HTTP: the protocol's own size, when it gave one.
        const ULONGLONG expected = gn::announced_size(nBytesWritten, nProgressMax);
        if (nBytesWritten < expected) {
            gn::format_incomplete(text, size, nBytesWritten, expected);
            return INET_E_DOWNLOAD_FAILURE;
        }
        return S_OK;
    }

    // Only a 2xx answer carries the whole document. Anything else that
    // reaches here is an error page, a redirect the platform did not follow
    // (no Location, or one to another scheme), a 304 with no body at all, an
    // answer without content (204, 205) or a part of the document (206).
    DWORD status = 0;
    DWORD cb = sizeof status;
    DWORD index = 0;
    if (info->QueryInfo(HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &cb, &index,
                        nullptr) == S_OK &&
        !gn::is_document_status(status)) {
        char reason[128];
        if (!query_header(info.get(), HTTP_QUERY_STATUS_TEXT, reason, sizeof reason)) reason[0] = '\0';
        gn::format_http_error(text, size, status, reason);
        return gn::http_status_result(status);
    }
    // A sign-in page after a session ran out, or an error page sent with 200,
    // where the browser announced a document.
    char type[128];
    if (gn::is_document_type(sMimeType.get()) &&
        query_header(info.get(), HTTP_QUERY_CONTENT_TYPE, type, sizeof type) &&
        gn::is_web_page_type(type)) {
        std::snprintf(text, size,
                      "The server sent a web page instead of the document (a sign-in may be needed)");
        return INET_E_DOWNLOAD_FAILURE;
    }

    // The framing the answer announced against the bytes that came: a length
    // announced for encoded content does not count decoded bytes.
    char header[64];
    const bool encoded = query_header(info.get(), HTTP_QUERY_CONTENT_ENCODING, header, sizeof header) &&
                         header[0] && _stricmp(header, "identity") != 0;
    char coding[256];
    char length[256];
    const bool has_coding =
        query_header_list(info.get(), HTTP_QUERY_TRANSFER_ENCODING, coding, sizeof coding);
    const bool has_length =
        query_header_list(info.get(), HTTP_QUERY_CONTENT_LENGTH, length, sizeof length);
    const auto framing = static_cast<HRESULT>(
        gn::check_http_framing(has_coding ? coding : nullptr, has_length ? length : nullptr, encoded,
                               nBytesWritten, text, size));
    if (FAILED(framing)) return framing;
    // No body at all (a server that closed inside its headers gives a 200
    // too): nothing a client could open.
    if (nBytesWritten == 0) {
        std::snprintf(text, size, "Empty document");
        return INET_E_DATA_NOT_AVAILABLE;
    }
    return framing;
}

void DownloadTransfer::SetError(const wchar_t* text) noexcept {
    auto copy = gn::unique_bstr::copy_of(text ? text : L"");
    if (copy) sError = std::move(copy);  // out of memory: the old text stays
}

void DownloadTransfer::AppendError(const wchar_t* text) noexcept {
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

// ---------------------------------------------------------------------------
// DocumentDownload: the launcher's view of its current transfer

DocumentDownload::DocumentDownload() noexcept : sError(gn::unique_bstr::copy_of(L"")) {}

bool DocumentDownload::StartTransfer() noexcept {
    DropTransfer();
    nDownloadState = DownloadPending;
    hrError = S_OK;
    if (auto empty = gn::unique_bstr::copy_of(L"")) sError = std::move(empty);
    pTransfer = DownloadTransfer::make(this, sURL.get(), sMimeType.get());
    if (pTransfer) return true;
    nDownloadState = DownloadFailed;
    hrError = E_OUTOFMEMORY;
    if (auto text = gn::unique_bstr::copy_of(L"Out of memory")) sError = std::move(text);
    return false;
}

void DocumentDownload::DropTransfer() noexcept {
    if (gn::com_ptr<DownloadTransfer> old = std::move(pTransfer)) old->Cancel();
}

void DocumentDownload::FailToStart(HRESULT hr) noexcept {
    if (!pTransfer) return;
    pTransfer->FailToStart(hr);
    TakeOutcome(pTransfer.get());
}

void DocumentDownload::CancelBinding(const wchar_t* error) noexcept {
    if (gn::com_ptr<DownloadTransfer> transfer = pTransfer) transfer->Abort(error);
}

void DocumentDownload::TakeOutcome(DownloadTransfer* transfer) noexcept {
    nDownloadState = transfer->State();
    hrError = transfer->Result();
    if (auto copy = gn::unique_bstr::copy_of(transfer->Error() ? transfer->Error() : L""))
        sError = std::move(copy);
}

void DocumentDownload::OnTransferEnded(DownloadTransfer* transfer) noexcept {
    if (transfer != pTransfer.get()) return;  // only the latest transfer counts
    TakeOutcome(transfer);
    OnDownloadEnded();
}

STDMETHODIMP DocumentDownload::OnStartBinding(DWORD dwReserved, IBinding* pib) {
    if (!StartTransfer()) return E_OUTOFMEMORY;
    const gn::com_ptr<DownloadTransfer> transfer = pTransfer;
    return transfer->OnStartBinding(dwReserved, pib);
}

STDMETHODIMP DocumentDownload::GetPriority(LONG*) { return S_OK; }
STDMETHODIMP DocumentDownload::OnLowResource(DWORD) { return S_OK; }

STDMETHODIMP DocumentDownload::OnProgress(ULONG ulProgress, ULONG ulProgressMax, ULONG ulStatusCode,
                                          LPCWSTR szStatusText) {
    const gn::com_ptr<DownloadTransfer> transfer = pTransfer;
    return transfer ? transfer->OnProgress(ulProgress, ulProgressMax, ulStatusCode, szStatusText) : S_OK;
}

STDMETHODIMP DocumentDownload::OnStopBinding(HRESULT hresult, LPCWSTR szError) {
    const gn::com_ptr<DownloadTransfer> transfer = pTransfer;
    if (!transfer) {
        LogPrint(0, "IBindStatusCallback::OnStopBinding() invoked\n");
        return S_OK;
    }
    return transfer->OnStopBinding(hresult, szError);
}

STDMETHODIMP DocumentDownload::GetBindInfo(DWORD* grfBINDF, BINDINFO*) {
    LogPrint(0, "IBindStatusCallback::GetBindInfo() invoked\n");
    if (grfBINDF) *grfBINDF = kBindFlags;
    return S_OK;
}

STDMETHODIMP DocumentDownload::OnDataAvailable(DWORD grfBSCF, DWORD dwSize, FORMATETC* pformatetc,
                                               STGMEDIUM* pstgmed) {
    const gn::com_ptr<DownloadTransfer> transfer = pTransfer;
    if (!transfer) {
        LogPrint(0, "IBindStatusCallback::OnDataAvailable() invoked\n");
        LogPrint(0, "Failed to write temp file");
        return E_FAIL;
    }
    return transfer->OnDataAvailable(grfBSCF, dwSize, pformatetc, pstgmed);
}

STDMETHODIMP DocumentDownload::OnObjectAvailable(REFIID, IUnknown*) { return S_OK; }
