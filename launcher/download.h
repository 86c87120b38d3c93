// The launcher's download part: the bind callback a URL moniker reports to,
// the transfer into the temporary file, and the outcome (state, result and
// error text) that the main plugin is told about.
//
// It is an entry of the launcher's interface list: it answers for
// IBindStatusCallback, and its IUnknown is the launcher's.
//
// The callback a browser registered on the bind context before the launcher
// (its progress bar, certificate prompt and login dialog) is kept and told
// about the binding: start, progress and the launcher's outcome. The data
// stays the launcher's, and so do the bind flags. The services the browser's
// UI answers are passed on through ForwardService.
#pragma once

#include "frame/com.h"
#include "launcher/temp_file.h"

#include <urlmon.h>

enum DownloadState : LONG {
    DownloadPending = 0,  // not ended
    DownloadDone = 1,     // file complete
    DownloadFailed = 2,   // failed or aborted
};

class DocumentDownload : public IBindStatusCallback {
public:
    using interface_type = IBindStatusCallback;

    // IBindStatusCallback
    STDMETHODIMP OnStartBinding(DWORD dwReserved, IBinding* pib) override;
    STDMETHODIMP GetPriority(LONG* pnPriority) override;
    STDMETHODIMP OnLowResource(DWORD reserved) override;
    STDMETHODIMP OnProgress(ULONG ulProgress, ULONG ulProgressMax, ULONG ulStatusCode,
                            LPCWSTR szStatusText) override;
    STDMETHODIMP OnStopBinding(HRESULT hresult, LPCWSTR szError) override;
    STDMETHODIMP GetBindInfo(DWORD* grfBINDF, BINDINFO* pbindinfo) override;
    STDMETHODIMP OnDataAvailable(DWORD grfBSCF, DWORD dwSize, FORMATETC* pformatetc,
                                 STGMEDIUM* pstgmed) override;
    STDMETHODIMP OnObjectAvailable(REFIID riid, IUnknown* punk) override;

protected:
    DocumentDownload() noexcept;
    ~DocumentDownload() = default;

    // Keeps the browser's callback that registering the launcher displaced
    // (none: previous is null or the launcher itself).
    void KeepBrowserCallback(gn::com_ptr<IBindStatusCallback> previous) noexcept;
    // QueryService of the registered callback: the services of the browser's
    // UI (IHttpSecurity, IWindowForBindingUI, IAuthenticate) come from the
    // browser's callback; E_NOINTERFACE for anything else or without one.
    HRESULT ForwardService(REFGUID service, REFIID riid, void** ppv) noexcept;

    // Called once the binding has stopped and the outcome is set.
    virtual void OnDownloadEnded() = 0;

    // The binding could not even start (BindToStorage failed with hr): the
    // download fails with it unless the callback already ended it.
    void FailToStart(HRESULT hr) noexcept;
    // Aborts the running binding with error as its text; the stopped binding
    // deletes the file. Nothing happens when no binding runs.
    void CancelBinding(const wchar_t* error) noexcept;
    bool BindingRunning() const noexcept { return static_cast<bool>(pBinding); }

    // The document: its URL and the MIME type the moniker announced.
    gn::unique_bstr sURL;
    gn::unique_bstr sMimeType;

    // The outcome.
    LONG nDownloadState = DownloadPending;
    HRESULT hrError = S_OK;
    gn::unique_bstr sError;  // never null once constructed, unless out of memory
    TempFile tempFile;

private:
    // Checks a transfer the binding reports as complete: the HTTP status and
    // the announced length. Returns S_OK or the failure, with its text in text.
    HRESULT CheckTransfer(char* text, size_t size) noexcept;
    // Puts the reason a secure transfer failed on its certificate into text,
    // found by asking the server again; text stays as it is for a failure of
    // the secure channel that is no certificate's.
    void DescribeCertificateProblem(HRESULT hr, char* text, size_t size) noexcept;
    // Appends a text to sError after a blank, as a binding's error text is.
    void AppendError(const wchar_t* text) noexcept;
    // Replaces sError with a copy of text.
    void SetError(const wchar_t* text) noexcept;

    gn::com_ptr<IBinding> pBinding;
    gn::com_ptr<IBindStatusCallback> pBrowserCallback;
    bool bBrowserStarted = false;  // the browser's callback saw OnStartBinding
    // The bytes written to the temporary file by this binding and the largest
    // byte count the binding announced through its progress, to catch a
    // transfer cut short.
    ULONGLONG nBytesWritten = 0;
    ULONG nProgressMax = 0;
};
