// MorvaneLauncher: the active-document object that the browser creates for
// every QuorQuery document. It is made of two parts and the files that use them:
//   download/download.h/.cpp       DocumentDownload: IBindStatusCallback, the transfer
//                                  and its outcome
//   view/document_view.h/.cpp      DocumentView: the view's sites, place and in-place
//                                  activation
//   load.cpp                       IPersistMoniker, IMonikerProp: the document's URL and type
//   view/view.cpp                  IOleObject, IOleDocument(View), in-place and control
//                                  interfaces, and the launcher window
//   view/no_client_notice.h/.cpp   what the window shows when no client control starts
//   advise.cpp                     ILauncherAdvise and the call back to the main plugin
//   client.cpp                     choosing the client control and handing the document over
#pragma once

#include "frame/com.h"
#include "frame/dispatch.h"
#include "frame/interfaces.h"
#include "frame/object.h"
#include "frame/window.h"
#include "launcher/addon_policy.h"
#include "launcher/download/download.h"
#include "launcher/view/document_view.h"
#include "launcher/view/no_client_notice.h"

#include <docobj.h>
#include <exdisp.h>
#include <ocidl.h>
#include <urlmon.h>

#include <string>

namespace gn {
extern typeinfo_cache launcher_typeinfo;
}

// What the administrator's settings say now about creating a client control:
// the legacy control or the main plugin, each the other's only replacement.
// Logs a block, a replacement and every setting ignored as malformed.
gn::addon_outcome AskClientPolicy(REFCLSID clsid) noexcept;

// True when the legacy 6.x client is installed: its server key names a file
// that exists. The one test shared by Load and client selection.
bool LegacyClientInstalled() noexcept;
// True when the legacy client's server key names a path, without looking for
// the file (which may lie on a network share): a quick local question.
bool LegacyClientRegistered() noexcept;

class MorvaneLauncher final
    : public gn::implements<MorvaneLauncher, gn::aggregatable,
                            gn::dispatch_impl<ILauncher, gn::launcher_typeinfo>,
                            gn::alias<IDispatch, ILauncher>, IOleControl, IOleObject,
                            IOleInPlaceObjectWindowless,
                            gn::alias<IOleInPlaceObject, IOleInPlaceObjectWindowless>,
                            gn::alias<IOleWindow, IOleInPlaceObjectWindowless>,
                            IOleInPlaceActiveObject, IPersistMoniker, IMonikerProp,
                            DocumentDownload, IOleDocument, IOleDocumentView, ILauncherAdvise,
                            IServiceProvider>,
      public DocumentView {
public:
    MorvaneLauncher() noexcept;
    ~MorvaneLauncher() override;

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

    // IServiceProvider (asked by the binding on the registered callback)
    STDMETHODIMP QueryService(REFGUID guidService, REFIID riid, void** ppv) override;

    // IMonikerProp
    STDMETHODIMP PutProperty(MONIKERPROPERTY mkp, LPCWSTR val) override;

    // ILauncherAdvise
    STDMETHODIMP Advise(ILauncherEvent* pSink) override;
    STDMETHODIMP Navigate(BSTR URL, VARIANT* Flags, VARIANT* TargetFrameName, VARIANT* PostData,
                          VARIANT* Headers) override;

    // The launcher window.
    static const char* window_property() { return "GN.MorvaneLauncher"; }
    LRESULT on_message(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    void on_final_message() {}

    // Calls the main plugin back once both the subscription and the end of
    // the download exist, then deletes the temporary file.
    void NotifySink();

private:
    // DocumentDownload
    void OnDownloadEnded() override { NotifySink(); }
    // DocumentView
    IOleInPlaceActiveObject* ActiveObject() noexcept override { return this; }
    void CreateViewWindow(HWND parent, const RECT& pos) noexcept override;

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
    HRESULT CreateClientControl(REFCLSID clsid);

    // Own state.
    gn::com_ptr<IWebBrowser2> pWebBrowser;
    gn::com_ptr<ILauncherEvent> pSink;
    bool bLegacyStream = false;
    bool bClientStarted = false;

    // Shown in the launcher window when no client control could be created.
    NoClientNotice notice;
};
