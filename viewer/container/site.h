// A browser's side of an active document: one site object (client site,
// document site, in-place site, control site, service provider and ambient
// properties, as browsers have it) and the frame objects handed out through
// GetWindowContext. Both report to a Host and ask it what to answer.
#pragma once

#include <windows.h>
#include <docobj.h>
#include <ocidl.h>

#include <string>

#include "frame/object.h"
#include "viewer/container/host.h"
#include "viewer/container/web_browser.h"

namespace gncontainer {

// The top-level frame (IOleInPlaceFrame) or, as a second kind, the document's
// UI window: status text and the active object (held).
class Frame final
    : public gn::implements<Frame, gn::no_lock, IOleInPlaceFrame,
                            gn::alias<IOleWindow, IOleInPlaceFrame>,
                            gn::alias<IOleInPlaceUIWindow, IOleInPlaceFrame>> {
public:
    enum class kind { frame, ui_window };
    Frame(Host* host, kind k) : host_(host), kind_(k) {}
    void detach() { host_ = nullptr; }
    IOleInPlaceActiveObject* active_object() const { return active_.get(); }

    STDMETHODIMP GetWindow(HWND* phwnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS widths) override;
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* active, LPCOLESTR) override;
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
    STDMETHODIMP SetStatusText(LPCOLESTR text) override;
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

private:
    void called(const char* what);
    Host* host_;
    kind kind_;
    gn::com_ptr<IOleInPlaceActiveObject> active_;
};

class Site final
    : public gn::implements<Site, gn::no_lock, IOleClientSite, IOleDocumentSite, IOleInPlaceSiteEx,
                            gn::alias<IOleInPlaceSite, IOleInPlaceSiteEx>,
                            gn::alias<IOleWindow, IOleInPlaceSiteEx>, IOleControlSite,
                            IServiceProvider, IDispatch> {
public:
    // Holds the frame and the browser object until detach().
    Site(Host* host, gn::com_ptr<Frame> frame, gn::com_ptr<WebBrowser> browser)
        : host_(host), frame_(std::move(frame)), browser_(std::move(browser)) {}
    // Stops calling the host and drops the frame objects and the browser.
    void detach();

    // The interfaces the host does not offer are refused.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP GetContainer(IOleContainer** pp) override {
        if (pp) *pp = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return called("ShowObject"), S_OK; }
    STDMETHODIMP OnShowWindow(BOOL show) override {
        return called(show ? "OnShowWindow(TRUE)" : "OnShowWindow(FALSE)"), S_OK;
    }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
    // IOleDocumentSite
    STDMETHODIMP ActivateMe(IOleDocumentView* view) override;
    // IOleWindow
    STDMETHODIMP GetWindow(HWND* phwnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    // IOleInPlaceSite(Ex)
    STDMETHODIMP CanInPlaceActivate() override;
    STDMETHODIMP OnInPlaceActivate() override { return called("OnInPlaceActivate"), S_OK; }
    STDMETHODIMP OnUIActivate() override;
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos,
                                  LPRECT clip, LPOLEINPLACEFRAMEINFO info) override;
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return called("OnUIDeactivate"), S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return called("OnInPlaceDeactivate"), S_OK; }
    STDMETHODIMP DiscardUndoState() override { return S_OK; }
    STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }
    STDMETHODIMP OnInPlaceActivateEx(BOOL* no_redraw, DWORD) override {
        if (no_redraw) *no_redraw = FALSE;
        return OnInPlaceActivate();
    }
    STDMETHODIMP OnInPlaceDeactivateEx(BOOL) override { return OnInPlaceDeactivate(); }
    STDMETHODIMP RequestUIActivate() override { return S_OK; }
    // IOleControlSite
    STDMETHODIMP OnControlInfoChanged() override { return S_OK; }
    STDMETHODIMP LockInPlaceActive(BOOL) override { return S_OK; }
    STDMETHODIMP GetExtendedControl(IDispatch** pp) override {
        if (pp) *pp = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP TransformCoords(POINTL*, POINTF*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAccelerator(MSG*, DWORD modifiers) override {
        called("TranslateAccelerator(" + std::to_string(modifiers) + ")");
        return S_FALSE;
    }
    STDMETHODIMP OnFocus(BOOL) override { return S_OK; }
    STDMETHODIMP ShowPropertyFrame() override { return E_NOTIMPL; }
    // IServiceProvider: SID_SWebBrowserApp (and IWebBrowserApp) give the browser object.
    STDMETHODIMP QueryService(REFGUID sid, REFIID riid, void** ppv) override;
    // IDispatch: ambient properties; none are answered.
    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        if (n) *n = 0;
        return n ? S_OK : E_POINTER;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    ~Site() override { detach(); }
    void called(const std::string& what) { if (host_) host_->on_call(what); }

    Host* host_;
    gn::com_ptr<Frame> frame_;
    gn::com_ptr<Frame> ui_window_;  // made on the first GetWindowContext that hands one out
    gn::com_ptr<WebBrowser> browser_;
};

}  // namespace gncontainer
