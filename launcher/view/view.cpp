// The launcher as an active document: activation, its one view, the
// in-place and control interfaces, and the launcher window.
#include "launcher/launcher.h"

#include "frame/log.h"
#include "launcher/view/dialog_text.h"

#include <cstdio>

namespace {

// One flag for each thread: a SetRect that arrives on a thread while another
// one runs there (moving the window sends messages that may come back as a
// SetRect) returns at once. Each browser tab runs its own thread, and the
// views of other threads move on regardless. The flag is a slot of the
// system's own thread storage, taken when the module loads and given back when
// it unloads: a thread keeps nothing of the module's that its end would have
// to free (the module takes no thread notifications).
class thread_flag {
public:
    thread_flag() noexcept : slot_(TlsAlloc()) {}
    ~thread_flag() {
        if (slot_ != TLS_OUT_OF_INDEXES) TlsFree(slot_);
    }
    thread_flag(const thread_flag&) = delete;
    thread_flag& operator=(const thread_flag&) = delete;
    explicit operator bool() const noexcept {
        return slot_ != TLS_OUT_OF_INDEXES && TlsGetValue(slot_) != nullptr;
    }
    void set(bool on) noexcept {
        if (slot_ != TLS_OUT_OF_INDEXES) TlsSetValue(slot_, on ? this : nullptr);
    }

private:
    DWORD slot_;
};
thread_flag inSetRect;

bool is_tab_key(const MSG* msg) {
    return msg && (msg->message == WM_KEYDOWN || msg->message == WM_KEYUP) && msg->wParam == VK_TAB;
}

// Whether a Tab now moves the focus between the window's own tab stops.
bool tab_stays_inside(HWND window) {
    HWND focus = GetFocus();
    while (focus && GetParent(focus) != window) focus = GetParent(focus);
    int stops = 0, focus_stop = -1;
    for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        const LONG style = GetWindowLongA(c, GWL_STYLE);
        if ((style & (WS_TABSTOP | WS_VISIBLE | WS_DISABLED)) != (WS_TABSTOP | WS_VISIBLE)) continue;
        if (c == focus) focus_stop = stops;
        ++stops;
    }
    return gn::tab_stays_inside(stops, focus_stop, GetKeyState(VK_SHIFT) < 0);
}

constexpr UINT kForwardMsg = 0x037F;  // WM_FORWARDMSG

// The launcher window's class, one for each loaded copy of the module (its
// name holds the module's address), removed when the module terminates.
char g_window_class_name[40];
gn::module_window_class<char> g_window_class(g_window_class_name, &MorvaneLauncher::start_window_proc,
                                             CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS);

bool launcher_window_class() {
    static const bool named =
        std::snprintf(g_window_class_name, sizeof g_window_class_name, "GNLauncher:%p",
                      static_cast<void*>(_Module.module_instance())) > 0;
    return named && g_window_class.ensure();
}

}  // namespace

// ---------------------------------------------------------------------------
// IOleControl

STDMETHODIMP MorvaneLauncher::GetControlInfo(CONTROLINFO*) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::OnMnemonic(MSG*) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::OnAmbientPropertyChange(DISPID) { return S_OK; }
STDMETHODIMP MorvaneLauncher::FreezeEvents(BOOL) { return S_OK; }  // the launcher fires no events

// ---------------------------------------------------------------------------
// IOleObject

STDMETHODIMP MorvaneLauncher::SetClientSite(IOleClientSite* pClientSite) {
    if (!pClientSite) AbortDownload("SetClientSite(NULL)");
    SetSites(pClientSite);
    return S_OK;
}

STDMETHODIMP MorvaneLauncher::GetClientSite(IOleClientSite** ppClientSite) {
    return pClientSite.copy_to(ppClientSite);
}

STDMETHODIMP MorvaneLauncher::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

STDMETHODIMP MorvaneLauncher::Close(DWORD) {
    // A browser that closes the document before it has a view never calls
    // CloseView; the download ends here then.
    AbortDownload("IOleObject::Close()");
    if (hWnd && pClientSite) pClientSite->OnShowWindow(FALSE);
    if (bInPlaceActive) RETURN_IF_FAILED(InPlaceDeactivate());
    if (hWnd) DestroyWindow(hWnd);
    // Saving would happen here when asked to and the object had changes; a
    // launcher never has any.
    pInPlaceSite.reset();
    return S_OK;
}

STDMETHODIMP MorvaneLauncher::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::GetMoniker(DWORD, DWORD, IMoniker**) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::GetClipboardData(DWORD, IDataObject**) { return E_NOTIMPL; }

STDMETHODIMP MorvaneLauncher::DoVerb(LONG iVerb, LPMSG, IOleClientSite*, LONG, HWND, LPCRECT) {
    // Only a document site activates the launcher: to any other container
    // the verb is declined.
    RETURN_HR_IF_EXPECTED(E_FAIL, !pDocSite);
    switch (iVerb) {
    case OLEIVERB_SHOW:
    case OLEIVERB_OPEN:
    case OLEIVERB_UIACTIVATE:
    case OLEIVERB_INPLACEACTIVATE: {
        RETURN_HR_IF_EXPECTED(E_FAIL, bUIActive);  // already active: declined
        LogPrint(0, "Activating ActiveDocument server");
        gn::com_ptr<IOleDocumentSite> site = pDocSite;  // held across the call
        return site->ActivateMe(nullptr);
    }
    default:
        return E_FAIL;
    }
}

STDMETHODIMP MorvaneLauncher::EnumVerbs(IEnumOLEVERB** ppEnumOleVerb) {
    RETURN_HR_IF(E_POINTER, !ppEnumOleVerb);
    return OleRegEnumVerbs(CLSID_MorvaneLauncher, ppEnumOleVerb);
}

STDMETHODIMP MorvaneLauncher::Update() { return S_OK; }
STDMETHODIMP MorvaneLauncher::IsUpToDate() { return S_OK; }

STDMETHODIMP MorvaneLauncher::GetUserClassID(CLSID* pClsid) {
    RETURN_HR_IF(E_POINTER, !pClsid);
    *pClsid = CLSID_MorvaneLauncher;
    return S_OK;
}

STDMETHODIMP MorvaneLauncher::GetUserType(DWORD dwFormOfType, LPOLESTR* pszUserType) {
    RETURN_HR_IF(E_POINTER, !pszUserType);
    return OleRegGetUserType(CLSID_MorvaneLauncher, dwFormOfType, pszUserType);
}

STDMETHODIMP MorvaneLauncher::SetExtent(DWORD dwDrawAspect, SIZEL* psizel) {
    RETURN_HR_IF_EXPECTED(DV_E_DVASPECT, dwDrawAspect != DVASPECT_CONTENT);
    RETURN_HR_IF(E_POINTER, !psizel);
    const bool changed = psizel->cx != sizeExtent.cx || psizel->cy != sizeExtent.cy;
    sizeExtent = *psizel;
    // Only the window is told: the launcher keeps no data or view advise sinks.
    if (changed && bInPlaceActive && hWnd) InvalidateRect(hWnd, nullptr, TRUE);
    return S_OK;
}

STDMETHODIMP MorvaneLauncher::GetExtent(DWORD dwDrawAspect, SIZEL* psizel) {
    RETURN_HR_IF_EXPECTED(E_FAIL, dwDrawAspect != DVASPECT_CONTENT);
    RETURN_HR_IF(E_POINTER, !psizel);
    *psizel = sizeExtent;
    return S_OK;
}

STDMETHODIMP MorvaneLauncher::Advise(IAdviseSink* pAdvSink, DWORD* pdwConnection) {
    if (!pOleAdviseHolder) RETURN_IF_FAILED(CreateOleAdviseHolder(pOleAdviseHolder.put()));
    return pOleAdviseHolder->Advise(pAdvSink, pdwConnection);
}

STDMETHODIMP MorvaneLauncher::Unadvise(DWORD dwConnection) {
    RETURN_HR_IF_EXPECTED(E_FAIL, !pOleAdviseHolder);  // no sink was ever advised
    return pOleAdviseHolder->Unadvise(dwConnection);
}

STDMETHODIMP MorvaneLauncher::EnumAdvise(IEnumSTATDATA** ppenumAdvise) {
    RETURN_HR_IF_EXPECTED(E_FAIL, !pOleAdviseHolder);
    return pOleAdviseHolder->EnumAdvise(ppenumAdvise);
}

STDMETHODIMP MorvaneLauncher::GetMiscStatus(DWORD dwAspect, DWORD* pdwStatus) {
    RETURN_HR_IF(E_POINTER, !pdwStatus);
    return OleRegGetMiscStatus(CLSID_MorvaneLauncher, dwAspect, pdwStatus);
}

STDMETHODIMP MorvaneLauncher::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

// ---------------------------------------------------------------------------
// IOleWindow

STDMETHODIMP MorvaneLauncher::GetWindow(HWND* phwnd) {
    RETURN_HR_IF(E_POINTER, !phwnd);
    *phwnd = hWnd;
    return hWnd ? S_OK : E_UNEXPECTED;
}

STDMETHODIMP MorvaneLauncher::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

// ---------------------------------------------------------------------------
// IOleInPlaceActiveObject

STDMETHODIMP MorvaneLauncher::TranslateAccelerator(LPMSG lpmsg) {
    RETURN_HR_IF(E_POINTER, !lpmsg);
    if (is_tab_key(lpmsg) && hWnd) {
        // The hosted control gets the first chance at the Tab key.
        if (SendMessageA(hWnd, kForwardMsg, 0, reinterpret_cast<LPARAM>(lpmsg)) != 0) return S_OK;
        // Then the tab stops in the launcher window, until the focus would wrap
        // around: from the last stop (the first with Shift) Tab leaves the
        // document for the browser, through the site below.
        if (tab_stays_inside(hWnd) && IsDialogMessageA(hWnd, lpmsg)) return S_OK;
    }
    gn::com_ptr<IOleControlSite> site = pClientSite.try_query<IOleControlSite>();
    if (!site) return S_FALSE;
    DWORD modifiers = 0;
    if (GetKeyState(VK_SHIFT) < 0) modifiers |= 1;
    if (GetKeyState(VK_CONTROL) < 0) modifiers |= 2;
    if (GetKeyState(VK_MENU) < 0) modifiers |= 4;
    return site->TranslateAccelerator(lpmsg, modifiers) == S_OK ? S_OK : S_FALSE;
}

STDMETHODIMP MorvaneLauncher::OnFrameWindowActivate(BOOL) { return S_OK; }

STDMETHODIMP MorvaneLauncher::OnDocWindowActivate(BOOL fActivate) {
    if (!fActivate) UIDeactivate();
    return S_OK;
}

STDMETHODIMP MorvaneLauncher::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }
STDMETHODIMP MorvaneLauncher::EnableModeless(BOOL) { return S_OK; }

// ---------------------------------------------------------------------------
// IOleInPlaceObject / IOleInPlaceObjectWindowless

STDMETHODIMP MorvaneLauncher::InPlaceDeactivate() {
    if (!bInPlaceActive) return S_OK;
    UIDeactivate();
    bInPlaceActive = false;
    if (hWnd) DestroyWindow(hWnd);
    if (pInPlaceSite) {
        gn::com_ptr<IOleInPlaceSite> site = pInPlaceSite;
        site->OnInPlaceDeactivate();
    }
    return S_OK;
}

STDMETHODIMP MorvaneLauncher::UIDeactivate() {
    if (!bUIActive) return S_OK;
    bUIActive = false;
    if (gn::com_ptr<IOleInPlaceSite> site = pInPlaceSite) {
        gn::com_ptr<IOleInPlaceFrame> frame;
        gn::com_ptr<IOleInPlaceUIWindow> ui;
        RECT pos{}, clip{};
        OLEINPLACEFRAMEINFO info{};
        info.cb = sizeof info;
        site->GetWindowContext(frame.put(), ui.put(), &pos, &clip, &info);
        if (ui) ui->SetActiveObject(nullptr, nullptr);
        if (frame) frame->SetActiveObject(nullptr, nullptr);
        site->OnUIDeactivate(FALSE);
    }
    return S_OK;
}

STDMETHODIMP MorvaneLauncher::SetObjectRects(LPCRECT lprcPosRect, LPCRECT lprcClipRect) {
    RETURN_HR_IF(E_POINTER, !lprcPosRect || !lprcClipRect);
    PlaceView(*lprcPosRect, *lprcClipRect);
    return S_OK;
}

STDMETHODIMP MorvaneLauncher::ReactivateAndUndo() { return E_NOTIMPL; }

STDMETHODIMP MorvaneLauncher::OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam,
                                              LRESULT* plResult) {
    bool handled = false;
    const LRESULT result = on_message(msg, wParam, lParam, handled);
    if (plResult) *plResult = result;
    return handled ? S_OK : S_FALSE;
}

STDMETHODIMP MorvaneLauncher::GetDropTarget(IDropTarget**) { return E_NOTIMPL; }

// ---------------------------------------------------------------------------
// IOleDocument

STDMETHODIMP MorvaneLauncher::CreateView(IOleInPlaceSite* pIPSite, IStream* pstm, DWORD,
                                         IOleDocumentView** ppView) {
    RETURN_HR_IF(E_POINTER, !ppView);
    *ppView = nullptr;
    RETURN_HR_IF_EXPECTED(E_FAIL, static_cast<bool>(pInPlaceSite));  // one view only
    gn::com_ptr<IOleDocumentView> view(this);                        // the launcher is its own one view
    if (pIPSite) view->SetInPlaceSite(pIPSite);
    if (pstm) view->ApplyViewState(pstm);
    *ppView = view.detach();
    return S_OK;
}

STDMETHODIMP MorvaneLauncher::GetDocMiscStatus(DWORD* pdwStatus) {
    RETURN_HR_IF(E_POINTER, !pdwStatus);
    *pdwStatus = DOCMISC_NOFILESUPPORT;
    return S_OK;
}

STDMETHODIMP MorvaneLauncher::EnumViews(IEnumOleDocumentViews**, IOleDocumentView** ppView) {
    return gn::com_ptr<IOleDocumentView>(this).copy_to(ppView);
}

// ---------------------------------------------------------------------------
// IOleDocumentView

STDMETHODIMP MorvaneLauncher::SetInPlaceSite(IOleInPlaceSite* pIPSite) {
    HRESULT hr = S_OK;
    if (pInPlaceSite) {
        UIActivate(FALSE);
        hr = InPlaceDeactivate();
    }
    if (SUCCEEDED(hr)) {
        hr = S_OK;
        // A null site leaves the held one in place; Close releases it.
        if (pIPSite) pInPlaceSite.assign(pIPSite);
    }
    if (!pIPSite) AbortDownload("SetInPlaceSite(NULL)");
    return hr;
}

void MorvaneLauncher::AbortDownload(const char* closing_call) {
    if (!BindingRunning()) return;
    LogPrint(0,
             "%s called (i.e. closing active document) while file downloading is still in "
             "progress. Aborting the download now.",
             closing_call);
    // The main plugin is not told about a document that is being closed.
    pSink.reset();
    CancelBinding(L"Closing document");
}

STDMETHODIMP MorvaneLauncher::GetInPlaceSite(IOleInPlaceSite** ppIPSite) {
    RETURN_HR_IF(E_FAIL, !ppIPSite);
    return pInPlaceSite.copy_to(ppIPSite);
}

STDMETHODIMP MorvaneLauncher::GetDocument(IUnknown** ppunk) {
    RETURN_HR_IF(E_FAIL, !ppunk);
    return gn::com_ptr<ILauncher>(this).copy_to(ppunk);
}

STDMETHODIMP MorvaneLauncher::SetRect(LPRECT prcView) {
    RETURN_HR_IF(E_POINTER, !prcView);
    if (inSetRect) return S_OK;
    inSetRect.set(true);
    SetObjectRects(prcView, prcView);
    inSetRect.set(false);
    return S_OK;
}

STDMETHODIMP MorvaneLauncher::GetRect(LPRECT prcView) {
    RETURN_HR_IF(E_POINTER, !prcView);
    *prcView = rcPos;
    return S_OK;
}

STDMETHODIMP MorvaneLauncher::SetRectComplex(LPRECT, LPRECT, LPRECT, LPRECT) { return E_NOTIMPL; }

STDMETHODIMP MorvaneLauncher::Show(BOOL fShow) {
    if (fShow) {
        if (bUIActive) return S_OK;
        const HRESULT hr = Activate(Activation::Verb, OLEIVERB_INPLACEACTIVATE);
        if (SUCCEEDED(hr)) StartClient();
        return hr;
    }
    const HRESULT hr = UIActivate(FALSE);
    if (hWnd) ShowWindow(hWnd, SW_HIDE);
    return hr;
}

STDMETHODIMP MorvaneLauncher::UIActivate(BOOL fUIActivate) {
    if (fUIActivate) {
        RETURN_HR_IF(E_UNEXPECTED, !pInPlaceSite);
        if (bUIActive) return S_OK;
        const HRESULT hr = Activate(Activation::Verb, OLEIVERB_UIACTIVATE);
        if (SUCCEEDED(hr)) StartClient();
        return hr;
    }
    return UIDeactivate();
}

STDMETHODIMP MorvaneLauncher::Open() { return E_NOTIMPL; }

STDMETHODIMP MorvaneLauncher::CloseView(DWORD) {
    Show(FALSE);
    SetInPlaceSite(nullptr);
    return S_OK;
}

STDMETHODIMP MorvaneLauncher::SaveViewState(LPSTREAM) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::ApplyViewState(LPSTREAM) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::Clone(IOleInPlaceSite*, IOleDocumentView**) { return E_NOTIMPL; }

// ---------------------------------------------------------------------------
// The launcher window

void MorvaneLauncher::CreateViewWindow(HWND parent, const RECT& pos) noexcept {
    if (!launcher_window_class()) return;
    _Module.add_create_wnd_data(this);
    HWND hwnd = CreateWindowExA(0, g_window_class_name, nullptr,
                                WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, pos.left,
                                pos.top, pos.right - pos.left, pos.bottom - pos.top, parent, nullptr,
                                _Module.module_instance(), nullptr);
    if (!hwnd) _Module.extract_create_wnd_data();  // never reached the window: take it back
}

LRESULT MorvaneLauncher::on_message(UINT msg, WPARAM wp, LPARAM lp, bool& handled) {
    if (notice.shown()) {
        LRESULT result = 0;
        handled = notice.on_parent_message(hWnd, msg, wp, lp, result);
        if (handled) return result;
    }
    if (msg != WM_CREATE) return 0;
    handled = true;
    if (bInPlaceActive && !bUIActive) {
        Activate(Activation::Window, OLEIVERB_UIACTIVATE);
    } else if (bUIActive) {
        HWND focus = GetFocus();
        if (focus != hWnd && !IsChild(hWnd, focus)) SetFocus(hWnd);
    } else {
        SetFocus(hWnd);
    }
    return 0;
}
