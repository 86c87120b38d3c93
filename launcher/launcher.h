// MorvaneLauncher: the active-document object that the browser creates for
// every QuorQuery document. Its operations live in files of their own:
//   download.cpp  IPersistMoniker, IMonikerProp, IBindStatusCallback
//   advise.cpp    ILauncherAdvise and the call back to the main plugin
//   client.cpp    choosing the client control and handing the document over
//   view.cpp      IOleObject, IOleDocument(View), in-place and control interfaces
#pragma once

#include "frame/com.h"
#include "frame/dispatch.h"
#include "frame/interfaces.h"
#include "frame/object.h"
#include "frame/window.h"
#include "launcher/temp_file.h"

#include <docobj.h>
#include <exdisp.h>
#include <ocidl.h>
#include <urlmon.h>

#include <string>

enum DownloadState : LONG {
    DownloadPending = 0,  // not ended
    DownloadDone = 1,     // file complete
    DownloadFailed = 2,   // failed or aborted
};

namespace gn {
extern typeinfo_cache launcher_typeinfo;
}

// True when the legacy 6.x client is installed: its server key names a file
// that exists. The one test shared by Load and client selection.
bool LegacyClientInstalled() noexcept;

// State of the windowed-control base, used by the document view.
struct LauncherControlState {
    gn::com_ptr<IOleInPlaceSite> pInPlaceSite;
    gn::com_ptr<IDataAdviseHolder> pDataAdviseHolder;
    gn::com_ptr<IOleAdviseHolder> pOleAdviseHolder;
    gn::com_ptr<IOleClientSite> pClientSite;
    gn::com_ptr<IAdviseSink> pAdviseSink;
    gn::com_ptr<IDispatch> pAmbientDispatch;
    SIZEL sizeNatural{5080, 5080};  // HIMETRIC
    SIZEL sizeExtent{5080, 5080};   // HIMETRIC
    RECT rcPos{};                   // pixels
    HWND hWnd = nullptr;            // the launcher window
    LONG nFreezeEvents = 0;
    bool bNegotiatedWnd = false;
    bool bWndLess = false;
    bool bInPlaceActive = false;
    bool bUIActive = false;
    bool bUsingWindowRgn = false;
    bool bInPlaceSiteEx = false;
    bool bWindowOnly = true;
    bool bRequiresSave = false;
    bool bWasOnceWindowless = false;
    bool bAutoSize = false;
    bool bRecomposeOnResize = true;
    bool bResizeNatural = true;
    bool bDrawFromNatural = false;
    bool bDrawGetDataInHimetric = false;
};

class MorvaneLauncher final : public gn::com_object<MorvaneLauncher>,
                              public gn::dispatch_impl<ILauncher, gn::launcher_typeinfo>,
                              public gn::window_impl<MorvaneLauncher>,
                              public IOleControl,
                              public IOleObject,
                              public IOleInPlaceActiveObject,
                              public IOleInPlaceObjectWindowless,
                              public IOleDocument,
                              public IOleDocumentView,
                              public IPersistMoniker,
                              public IMonikerProp,
                              public IBindStatusCallback,
                              public ILauncherAdvise {
public:
    MorvaneLauncher() noexcept;
    ~MorvaneLauncher() override;

    GN_COM_IUNKNOWN
    static const gn::interface_entry* interfaces();

    // Instance creator of the class table (plain or aggregated).
    static HRESULT create(IUnknown* outer, REFIID riid, void** ppv);

    // IOleControl
    STDMETHODIMP GetControlInfo(CONTROLINFO* pCI) override;
    STDMETHODIMP OnMnemonic(MSG* pMsg) override;
    STDMETHODIMP OnAmbientPropertyChange(DISPID dispID) override;
    STDMETHODIMP FreezeEvents(BOOL bFreeze) override;

    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* pClientSite) override;
    STDMETHODIMP GetClientSite(IOleClientSite** ppClientSite) override;
    STDMETHODIMP SetHostNames(LPCOLESTR szContainerApp, LPCOLESTR szContainerObj) override;
    STDMETHODIMP Close(DWORD dwSaveOption) override;
    STDMETHODIMP SetMoniker(DWORD dwWhichMoniker, IMoniker* pmk) override;
    STDMETHODIMP GetMoniker(DWORD dwAssign, DWORD dwWhichMoniker, IMoniker** ppmk) override;
    STDMETHODIMP InitFromData(IDataObject* pDataObject, BOOL fCreation, DWORD dwReserved) override;
    STDMETHODIMP GetClipboardData(DWORD dwReserved, IDataObject** ppDataObject) override;
    STDMETHODIMP DoVerb(LONG iVerb, LPMSG lpmsg, IOleClientSite* pActiveSite, LONG lindex,
                        HWND hwndParent, LPCRECT lprcPosRect) override;
    STDMETHODIMP EnumVerbs(IEnumOLEVERB** ppEnumOleVerb) override;
    STDMETHODIMP Update() override;
    STDMETHODIMP IsUpToDate() override;
    STDMETHODIMP GetUserClassID(CLSID* pClsid) override;
    STDMETHODIMP GetUserType(DWORD dwFormOfType, LPOLESTR* pszUserType) override;
    STDMETHODIMP SetExtent(DWORD dwDrawAspect, SIZEL* psizel) override;
    STDMETHODIMP GetExtent(DWORD dwDrawAspect, SIZEL* psizel) override;
    STDMETHODIMP Advise(IAdviseSink* pAdvSink, DWORD* pdwConnection) override;
    STDMETHODIMP Unadvise(DWORD dwConnection) override;
    STDMETHODIMP EnumAdvise(IEnumSTATDATA** ppenumAdvise) override;
    STDMETHODIMP GetMiscStatus(DWORD dwAspect, DWORD* pdwStatus) override;
    STDMETHODIMP SetColorScheme(LOGPALETTE* pLogpal) override;

    // IOleWindow (shared by IOleInPlaceActiveObject and IOleInPlaceObjectWindowless)
    STDMETHODIMP GetWindow(HWND* phwnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL fEnterMode) override;

    // IOleInPlaceActiveObject
    STDMETHODIMP TranslateAccelerator(LPMSG lpmsg) override;
    STDMETHODIMP OnFrameWindowActivate(BOOL fActivate) override;
    STDMETHODIMP OnDocWindowActivate(BOOL fActivate) override;
    STDMETHODIMP ResizeBorder(LPCRECT prcBorder, IOleInPlaceUIWindow* pUIWindow,
                              BOOL fFrameWindow) override;
    STDMETHODIMP EnableModeless(BOOL fEnable) override;

    // IOleInPlaceObject / IOleInPlaceObjectWindowless
    STDMETHODIMP InPlaceDeactivate() override;
    STDMETHODIMP UIDeactivate() override;
    STDMETHODIMP SetObjectRects(LPCRECT lprcPosRect, LPCRECT lprcClipRect) override;
    STDMETHODIMP ReactivateAndUndo() override;
    STDMETHODIMP OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam,
                                 LRESULT* plResult) override;
    STDMETHODIMP GetDropTarget(IDropTarget** ppDropTarget) override;

    // IOleDocument
    STDMETHODIMP CreateView(IOleInPlaceSite* pIPSite, IStream* pstm, DWORD dwReserved,
                            IOleDocumentView** ppView) override;
    STDMETHODIMP GetDocMiscStatus(DWORD* pdwStatus) override;
    STDMETHODIMP EnumViews(IEnumOleDocumentViews** ppEnum, IOleDocumentView** ppView) override;

    // IOleDocumentView
    STDMETHODIMP SetInPlaceSite(IOleInPlaceSite* pIPSite) override;
    STDMETHODIMP GetInPlaceSite(IOleInPlaceSite** ppIPSite) override;
    STDMETHODIMP GetDocument(IUnknown** ppunk) override;
    STDMETHODIMP SetRect(LPRECT prcView) override;
    STDMETHODIMP GetRect(LPRECT prcView) override;
    STDMETHODIMP SetRectComplex(LPRECT prcView, LPRECT prcHScroll, LPRECT prcVScroll,
                                LPRECT prcSizeBox) override;
    STDMETHODIMP Show(BOOL fShow) override;
    STDMETHODIMP UIActivate(BOOL fUIActivate) override;
    STDMETHODIMP Open() override;
    STDMETHODIMP CloseView(DWORD dwReserved) override;
    STDMETHODIMP SaveViewState(LPSTREAM pstm) override;
    STDMETHODIMP ApplyViewState(LPSTREAM pstm) override;
    STDMETHODIMP Clone(IOleInPlaceSite* pIPSiteNew, IOleDocumentView** ppViewNew) override;

    // IPersist / IPersistMoniker
    STDMETHODIMP GetClassID(CLSID* pClassID) override;
    STDMETHODIMP IsDirty() override;
    STDMETHODIMP Load(BOOL fFullyAvailable, IMoniker* pimkName, LPBC pibc, DWORD grfMode) override;
    STDMETHODIMP Save(IMoniker* pimkName, LPBC pbc, BOOL fRemember) override;
    STDMETHODIMP SaveCompleted(IMoniker* pimkName, LPBC pibc) override;
    STDMETHODIMP GetCurMoniker(IMoniker** ppimkName) override;

    // IMonikerProp
    STDMETHODIMP PutProperty(MONIKERPROPERTY mkp, LPCWSTR val) override;

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

    // ILauncherAdvise
    STDMETHODIMP Advise(ILauncherEvent* pSink) override;
    STDMETHODIMP Navigate(BSTR URL, VARIANT* Flags, VARIANT* TargetFrameName, VARIANT* PostData,
                          VARIANT* Headers) override;

    // The launcher window.
    static const char* window_property() { return "GN.MorvaneLauncher"; }
    LRESULT on_message(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    void on_final_message();

    // Calls the main plugin back once both the subscription and the end of
    // the download exist, then deletes the temporary file.
    void NotifySink();

    // Read by tests and the document view: the current download state.
    LONG download_state() const noexcept { return nDownloadState; }

private:
    // In-place (and, for some verbs, UI) activation of the view; creates the
    // launcher window the first time.
    HRESULT ActivateView(LONG iVerb);
    void CreateLauncherWindow(HWND parent, const RECT& pos);
    HRESULT InPlaceActivateFromWindow();
    // Aborts a download still running because the document is being closed
    // (closing_call names the browser's call in the log): the main plugin is
    // not called back, and the stopped binding deletes the file.
    void AbortDownload(const char* closing_call);
    // Chooses the client control once and hands the document over to it.
    // 0 when a control was created, -1 otherwise.
    int StartClient();
    int StartCurrentClient();
    int StartLegacyClient();
    // Has a new control host create the client control in the launcher window.
    HRESULT CreateClientControl(const wchar_t* clsid_text);
    // No client control could be created: the launcher window shows a short
    // translated text saying so instead of staying blank.
    void ShowNoClientNotice() noexcept;
    const char* NoticeText() const noexcept;
    void PaintNotice() noexcept;

    // Control base.
    LauncherControlState ctl;

    // Own state, in declaration order.
    gn::com_ptr<IWebBrowser2> pWebBrowser;
    gn::com_ptr<ILauncherEvent> pSink;
    LONG nDownloadState = DownloadPending;
    HRESULT hrError = S_OK;
    BSTR sError = nullptr;
    BSTR sURL = nullptr;
    BSTR sMimeType = nullptr;
    bool bLegacyStream = false;
    TempFile tempFile;
    bool bClientStarted = false;
    bool bHasDocSite = false;
    gn::com_ptr<IOleDocumentSite> pDocSite;
    gn::com_ptr<IOleInPlaceFrame> pInPlaceFrame;
    OLEINPLACEFRAMEINFO frameInfo{};
    gn::com_ptr<IBinding> pBinding;

    // Download bookkeeping beyond the fields above: the bytes written to the
    // temporary file by this binding and the largest byte count the binding
    // announced through its progress, to catch a transfer cut short.
    ULONGLONG nBytesWritten = 0;
    ULONG nProgressMax = 0;

    // Set when no client control could be created: the launcher window then
    // paints sNotice, the translated notice (the English text when empty).
    bool bNoClient = false;
    std::string sNotice;

    // Download helpers (download.cpp).
    // Checks a transfer the binding reports as complete: the HTTP status and
    // the announced length. Returns S_OK or the failure, with its text in text.
    HRESULT CheckTransfer(char* text, size_t size) noexcept;
    // Appends a text to sError after a blank, as a binding's error text is.
    void AppendError(const wchar_t* text) noexcept;
    // Replaces sError with a copy of text.
    void SetError(const wchar_t* text) noexcept;
};
