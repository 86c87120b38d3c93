#include "viewer/document_site.h"

#include <exdisp.h>

#include "viewer/web_browser.h"

namespace gnviewer {

namespace {
// {0002DF05-0000-0000-C000-000000000046} the browser application service
const GUID kSidWebBrowserApp = {0x0002DF05, 0x0000, 0x0000,
                                {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
}  // namespace

// ---------------------------------------------------------------------------
FrameObject::~FrameObject() {
    if (active_) active_->Release();
}

STDMETHODIMP FrameObject::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleWindow) ||
        IsEqualIID(riid, IID_IOleInPlaceUIWindow) || IsEqualIID(riid, IID_IOleInPlaceFrame)) {
        *ppv = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) FrameObject::Release() {
    const ULONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return left;
}

STDMETHODIMP FrameObject::GetWindow(HWND* phwnd) {
    if (!phwnd) return E_POINTER;
    *phwnd = host_ ? host_->frame_window() : nullptr;
    return *phwnd ? S_OK : E_FAIL;
}

STDMETHODIMP FrameObject::SetBorderSpace(LPCBORDERWIDTHS widths) {
    if (!widths) return S_OK;  // no tools: nothing to give back
    const bool none = !widths->left && !widths->top && !widths->right && !widths->bottom;
    return none ? S_OK : INPLACE_E_NOTOOLSPACE;
}

STDMETHODIMP FrameObject::SetActiveObject(IOleInPlaceActiveObject* active, LPCOLESTR) {
    if (active) active->AddRef();
    IOleInPlaceActiveObject* old = active_;
    active_ = active;
    if (old) old->Release();
    return S_OK;
}

STDMETHODIMP FrameObject::SetStatusText(LPCOLESTR text) {
    if (host_) host_->status_text(text ? text : L"", "SetStatusText");
    return S_OK;
}

// ---------------------------------------------------------------------------
DocumentSite::DocumentSite(ViewerHost* host, FrameObject* frame, ViewerBrowser* browser)
    : host_(host), frame_(frame), browser_(browser) {
    frame_->AddRef();
    browser_->AddRef();
}

DocumentSite::~DocumentSite() { detach(); }

void DocumentSite::detach() {
    host_ = nullptr;
    if (frame_) frame_->Release();
    if (browser_) browser_->Release();
    frame_ = nullptr;
    browser_ = nullptr;
}

STDMETHODIMP DocumentSite::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite))
        *ppv = static_cast<IOleClientSite*>(this);
    else if (IsEqualIID(riid, IID_IOleDocumentSite))
        *ppv = static_cast<IOleDocumentSite*>(this);
    else if (IsEqualIID(riid, IID_IOleInPlaceSite) || IsEqualIID(riid, IID_IOleInPlaceSiteEx) ||
             IsEqualIID(riid, IID_IOleWindow))
        *ppv = static_cast<IOleInPlaceSiteEx*>(this);
    else if (IsEqualIID(riid, IID_IOleControlSite))
        *ppv = static_cast<IOleControlSite*>(this);
    else if (IsEqualIID(riid, IID_IServiceProvider))
        *ppv = static_cast<IServiceProvider*>(this);
    else if (IsEqualIID(riid, IID_IDispatch))
        *ppv = static_cast<IDispatch*>(this);
    if (!*ppv) return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) DocumentSite::Release() {
    const ULONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return left;
}

STDMETHODIMP DocumentSite::GetContainer(IOleContainer** pp) {
    if (pp) *pp = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP DocumentSite::ActivateMe(IOleDocumentView* view) {
    if (!host_) return E_UNEXPECTED;
    host_->record().add("activate_me");
    return host_->activate_me(view);
}

STDMETHODIMP DocumentSite::GetWindow(HWND* phwnd) {
    if (!phwnd) return E_POINTER;
    *phwnd = host_ ? host_->document_window() : nullptr;
    return *phwnd ? S_OK : E_FAIL;
}

STDMETHODIMP DocumentSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                            LPRECT pos, LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
    if (!frame || !doc || !pos || !clip || !info) return E_POINTER;
    *frame = nullptr;
    *doc = nullptr;  // like the browser shell: a frame, no UI window
    if (!host_ || !frame_) return E_UNEXPECTED;
    *frame = frame_;
    frame_->AddRef();
    *pos = host_->view_rect();
    *clip = *pos;
    info->fMDIApp = FALSE;
    info->hwndFrame = host_->frame_window();
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
}

STDMETHODIMP DocumentSite::QueryService(REFGUID sid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (browser_ && (IsEqualGUID(sid, kSidWebBrowserApp) || IsEqualGUID(sid, IID_IWebBrowserApp)))
        return browser_->QueryInterface(riid, ppv);
    return E_NOINTERFACE;
}

}  // namespace gnviewer
