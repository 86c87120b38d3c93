#include "viewer/container/site.h"

namespace gncontainer {

// ---------------------------------------------------------------------------
void Frame::called(const char* what) {
    if (host_) host_->on_call(std::string(kind_ == kind::frame ? "Frame." : "UIWindow.") + what);
}

STDMETHODIMP Frame::GetWindow(HWND* phwnd) {
    if (!phwnd) return E_POINTER;
    *phwnd = !host_ ? nullptr : kind_ == kind::frame ? host_->frame_window() : host_->document_window();
    return *phwnd ? S_OK : E_FAIL;
}

STDMETHODIMP Frame::SetBorderSpace(LPCBORDERWIDTHS widths) {
    called("SetBorderSpace");
    if (!widths) return S_OK;  // no tools: nothing to give back
    const bool none = !widths->left && !widths->top && !widths->right && !widths->bottom;
    return none ? S_OK : INPLACE_E_NOTOOLSPACE;
}

STDMETHODIMP Frame::SetActiveObject(IOleInPlaceActiveObject* active, LPCOLESTR) {
    called("SetActiveObject");
    active_.assign(active);
    return S_OK;
}

STDMETHODIMP Frame::SetStatusText(LPCOLESTR text) {
    if (host_) host_->status_text(text ? text : L"", "SetStatusText");
    return S_OK;
}

// ---------------------------------------------------------------------------
void Site::detach() {
    host_ = nullptr;
    frame_.reset();
    if (ui_window_) ui_window_->detach();
    ui_window_.reset();
    browser_.reset();
}

STDMETHODIMP Site::QueryInterface(REFIID riid, void** ppv) {
    const bool optional = IsEqualIID(riid, IID_IOleDocumentSite) ||
                          IsEqualIID(riid, IID_IServiceProvider) || IsEqualIID(riid, IID_IDispatch);
    if (optional && host_ && !host_->offers(riid)) {
        if (ppv) *ppv = nullptr;
        return ppv ? E_NOINTERFACE : E_POINTER;
    }
    return implements::QueryInterface(riid, ppv);
}

STDMETHODIMP Site::ActivateMe(IOleDocumentView* view) {
    if (!host_) return E_UNEXPECTED;
    host_->on_call("ActivateMe");
    return host_->activate_me(view);
}

STDMETHODIMP Site::GetWindow(HWND* phwnd) {
    if (!phwnd) return E_POINTER;
    *phwnd = host_ ? host_->document_window() : nullptr;
    return *phwnd ? S_OK : E_FAIL;
}

STDMETHODIMP Site::CanInPlaceActivate() {
    called("CanInPlaceActivate");
    return host_ ? host_->can_in_place_activate() : E_UNEXPECTED;
}

STDMETHODIMP Site::OnUIActivate() {
    called("OnUIActivate");
    return host_ ? host_->on_ui_activate() : S_OK;
}

STDMETHODIMP Site::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos,
                                    LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
    called("GetWindowContext");
    if (!frame || !doc || !pos || !clip || !info) return E_POINTER;
    *frame = nullptr;
    *doc = nullptr;  // like the browser shell: a frame and, unless asked, no UI window
    if (!host_ || !frame_) return E_UNEXPECTED;
    if (host_->ui_window() && !ui_window_) ui_window_ = gn::make<Frame>(host_, Frame::kind::ui_window);
    RETURN_IF_FAILED(frame_.copy_to(frame));
    if (host_->ui_window()) ui_window_.copy_to(doc);
    *pos = host_->view_rect();
    *clip = *pos;
    info->fMDIApp = FALSE;
    info->hwndFrame = host_->frame_window();
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
}

STDMETHODIMP Site::QueryService(REFGUID sid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (browser_ && (IsEqualGUID(sid, kSidWebBrowserApp) || IsEqualGUID(sid, IID_IWebBrowserApp)))
        return browser_->QueryInterface(riid, ppv);
    return E_NOINTERFACE;
}

}  // namespace gncontainer
