// The launcher's download. Every binding is a transfer of its own
// (DownloadTransfer): its bind callback, temporary file, byte count, state and
// reason. A transfer tells its owner, the launcher, its one outcome through
// one call, and holds only a weak link back to it: the binding never keeps
// the launcher alive. A new Load supersedes the running transfer, which is
// aborted and deletes its own file; only the latest transfer reaches the
// launcher.
//
// DocumentDownload is an entry of the launcher's interface list: it answers
// for IBindStatusCallback (a caller that drives the launcher's own callback
// gets a fresh transfer at each OnStartBinding), and it keeps the outcome of
// the current transfer in the launcher's fields.
//
// The callback a browser registered on the bind context before the launcher
// (its progress bar, certificate prompt and login dialog) is kept by the
// transfer and told about its binding: start, progress and outcome. The data
// stays the launcher's, and so do the bind flags. The services the browser's
// UI answers are passed on.
#pragma once

#include "frame/com.h"
#include "frame/object.h"
#include "launcher/download/certificate_check.h"
#include "launcher/download/temp_file.h"

#include <urlmon.h>

#include <memory>

enum DownloadState : LONG {
    DownloadPending = 0,  // not ended
    DownloadDone = 1,     // file complete
    DownloadFailed = 2,   // failed or aborted
};

class DownloadTransfer;

// Told once when a transfer it owns has ended.
class TransferOwner {
public:
    virtual void OnTransferEnded(DownloadTransfer* transfer) noexcept = 0;

protected:
    ~TransferOwner() = default;
};

class DownloadTransfer final
    : public gn::implements<DownloadTransfer, IBindStatusCallback, IServiceProvider>,
      private gn::certificate_check_owner {
public:
    // A transfer for the document at url with the MIME type the browser
    // announced (either may be null); empty when out of memory.
    static gn::com_ptr<DownloadTransfer> make(TransferOwner* owner, const wchar_t* url,
                                              const wchar_t* mime) noexcept;

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

    // IServiceProvider: the services of the browser's UI (IHttpSecurity,
    // IWindowForBindingUI, IAuthenticate) come from the browser's callback;
    // E_NOINTERFACE for anything else or without one.
    STDMETHODIMP QueryService(REFGUID guidService, REFIID riid, void** ppv) override;

    // Keeps the browser's callback that registering this transfer displaced
    // (none: previous is null or the launcher's own).
    // The bind context it was registered on is kept too while the binding
    // may run: a binding that ended gives it back as the browser left it.
    void KeepBrowserCallback(gn::com_ptr<IBindStatusCallback> previous, IBindCtx* context) noexcept;
    IBindStatusCallback* BrowserCallback() const noexcept { return pBrowserCallback.get(); }

    // The binding could not even start (BindToStorage failed with hr): the
    // transfer fails with it unless its binding already ended it. The owner
    // is not called.
    void FailToStart(HRESULT hr) noexcept;
    // Aborts the running binding with error as its text; the stopped binding
    // reports the failure to the owner and deletes the file. The binding is
    // held until it stops, and however it stops the transfer has failed: a
    // platform that ignores the abort still ends it as aborted.
    void Abort(const wchar_t* error) noexcept;
    // Superseded or dropped: the owner never hears of this transfer again, a
    // running binding is aborted and the file is deleted (unless the plugin
    // is being handed it: the hand-over deletes it when the call returns).
    void Cancel() noexcept;
    // The binding runs and was not asked to abort, or it has stopped and the
    // reason for its refused certificate is being asked for.
    bool Running() const noexcept { return (pBinding && !bAborted) || pCheck; }

    // The hand-over to the main plugin: its file is kept while the plugin is
    // called and deleted when the outermost call returned (a plugin may
    // subscribe again from inside its call and be handed the file again).
    void BeginHandOver() noexcept { ++nHandingOver; }
    void EndHandOver() noexcept;

    // The outcome.
    LONG State() const noexcept { return nState; }
    HRESULT Result() const noexcept { return hrResult; }
    BSTR Error() const noexcept { return sError.get(); }
    const wchar_t* Path() const noexcept { return file.path; }

    // Made only through make().
    DownloadTransfer() noexcept;
    ~DownloadTransfer() override = default;

private:
    // Checks a transfer the binding reports as complete: the HTTP status, a
    // web page where a document was announced, and the announced length.
    // Returns S_OK or the failure, with its text in text.
    HRESULT CheckTransfer(char* text, size_t size) noexcept;
    // The reason a secure transfer failed on its certificate, as the server
    // answered when asked again, goes into the error text; nothing is added
    // for a failure of the secure channel that is no certificate's.
    void ExplainCertificate(HRESULT hr, const gn::certificate_answer& answer) noexcept;
    void on_certificate_checked(const gn::certificate_answer& answer) noexcept override;
    // The binding's outcome is known (hr, the text in sError): the file is
    // closed and checked, the state set, the owner told, then the browser.
    void Finish(HRESULT hr) noexcept;
    // A write to the file failed: the transfer fails with the reason and its
    // binding is aborted (the binding keeps a callback that failed a read
    // until it is aborted).
    void FailWrite() noexcept;
    // Tells the browser's callback that the binding stopped, once per start.
    // A binding that ended first gives its bind context back: the browser's
    // callback registered there again (or none), so that a refresh on that
    // context finds it. One still running keeps reporting through the
    // registration; a new Load on the context takes that over itself.
    void StopBrowser(HRESULT hr) noexcept;
    void AppendError(const wchar_t* text) noexcept;
    void SetError(const wchar_t* text) noexcept;

    TransferOwner* pOwner = nullptr;  // weak: the owner cancels its transfers when it goes
    gn::unique_bstr sURL;
    gn::unique_bstr sMimeType;
    gn::com_ptr<IBinding> pBinding;
    std::unique_ptr<gn::certificate_check> pCheck;  // while the reason is asked for
    gn::com_ptr<IBindStatusCallback> pBrowserCallback;
    gn::com_ptr<IBindCtx> pBindContext;  // where Load registered this transfer
    bool bBrowserStarted = false;        // the browser's callback saw OnStartBinding
    TempFile file;
    LONG nState = DownloadPending;
    HRESULT hrResult = S_OK;
    gn::unique_bstr sError;
    bool bStarted = false;    // OnStartBinding came
    bool bEnded = false;      // OnStopBinding came (or the binding never started)
    bool bCancelled = false;  // superseded or dropped
    bool bAborted = false;    // its binding was asked to abort (Abort)
    int nHandingOver = 0;     // hand-over calls to the plugin under way
    bool bWriteFailed = false;
    // The bytes written to the file and the largest byte count the binding
    // announced through its progress, to catch a transfer cut short; the
    // furthest progress step, to name a failure that came without a text.
    ULONGLONG nBytesWritten = 0;
    ULONG nProgressMax = 0;
    ULONG nFurthestStatus = 0;
};

class DocumentDownload : public IBindStatusCallback, public TransferOwner {
public:
    using interface_type = IBindStatusCallback;

    // IBindStatusCallback: a caller driving the launcher's own callback gets
    // a transfer of its own at OnStartBinding; the rest goes to it.
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

    // Called once the current transfer has ended and its outcome is set.
    virtual void OnDownloadEnded() = 0;

    // Starts a new transfer for sURL and sMimeType: the running one is
    // superseded (aborted, its file deleted) and the outcome is pending again.
    // False when out of memory (the download then failed).
    bool StartTransfer() noexcept;
    // Drops the current transfer: aborted if it runs, its file deleted.
    void DropTransfer() noexcept;
    // The binding could not even start (BindToStorage failed with hr).
    void FailToStart(HRESULT hr) noexcept;
    // Aborts the running binding with error as its text; the stopped binding
    // deletes the file. Nothing happens when no binding runs.
    void CancelBinding(const wchar_t* error) noexcept;
    bool BindingRunning() const noexcept { return pTransfer && pTransfer->Running(); }

    // The document: its URL and the MIME type the moniker announced.
    gn::unique_bstr sURL;
    gn::unique_bstr sMimeType;

    // The current transfer and its outcome, as the launcher reports it.
    gn::com_ptr<DownloadTransfer> pTransfer;
    LONG nDownloadState = DownloadPending;
    HRESULT hrError = S_OK;
    gn::unique_bstr sError;  // never null once constructed, unless out of memory

private:
    // TransferOwner
    void OnTransferEnded(DownloadTransfer* transfer) noexcept override;
    void TakeOutcome(DownloadTransfer* transfer) noexcept;
};
