// The launcher as an active document: activation, its one view, the
// in-place and control interfaces, and the launcher window.
#include "launcher/launcher.h"

// IOleControl
STDMETHODIMP MorvaneLauncher::GetControlInfo(CONTROLINFO*) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::OnMnemonic(MSG*) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::OnAmbientPropertyChange(DISPID) { return S_OK; }
STDMETHODIMP MorvaneLauncher::FreezeEvents(BOOL bFreeze) {
    if (bFreeze)
        ++ctl.nFreezeEvents;
    else
        --ctl.nFreezeEvents;
    return S_OK;
}

// IOleObject
STDMETHODIMP MorvaneLauncher::SetClientSite(IOleClientSite*) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::GetClientSite(IOleClientSite** pp) { return ctl.pClientSite.copy_to(pp); }
STDMETHODIMP MorvaneLauncher::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }
STDMETHODIMP MorvaneLauncher::Close(DWORD) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::GetMoniker(DWORD, DWORD, IMoniker**) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::GetClipboardData(DWORD, IDataObject**) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::DoVerb(LONG, LPMSG, IOleClientSite*, LONG, HWND, LPCRECT) {
    return E_NOTIMPL;
}
STDMETHODIMP MorvaneLauncher::EnumVerbs(IEnumOLEVERB**) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::Update() { return S_OK; }
STDMETHODIMP MorvaneLauncher::IsUpToDate() { return S_OK; }
STDMETHODIMP MorvaneLauncher::GetUserClassID(CLSID* pClsid) {
    RETURN_HR_IF(E_POINTER, !pClsid);
    *pClsid = CLSID_MorvaneLauncher;
    return S_OK;
}
STDMETHODIMP MorvaneLauncher::GetUserType(DWORD, LPOLESTR*) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::SetExtent(DWORD, SIZEL*) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::GetExtent(DWORD, SIZEL*) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::Advise(IAdviseSink*, DWORD*) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::Unadvise(DWORD) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::EnumAdvise(IEnumSTATDATA**) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::GetMiscStatus(DWORD, DWORD*) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

// IOleWindow
STDMETHODIMP MorvaneLauncher::GetWindow(HWND* phwnd) {
    RETURN_HR_IF(E_POINTER, !phwnd);
    *phwnd = ctl.hWnd;
    return ctl.hWnd ? S_OK : E_UNEXPECTED;
}
STDMETHODIMP MorvaneLauncher::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

// IOleInPlaceActiveObject
STDMETHODIMP MorvaneLauncher::TranslateAccelerator(LPMSG) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::OnFrameWindowActivate(BOOL) { return S_OK; }
STDMETHODIMP MorvaneLauncher::OnDocWindowActivate(BOOL) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }
STDMETHODIMP MorvaneLauncher::EnableModeless(BOOL) { return S_OK; }

// IOleInPlaceObject / IOleInPlaceObjectWindowless
STDMETHODIMP MorvaneLauncher::InPlaceDeactivate() { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::UIDeactivate() { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::SetObjectRects(LPCRECT, LPCRECT) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::ReactivateAndUndo() { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::OnWindowMessage(UINT, WPARAM, LPARAM, LRESULT*) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::GetDropTarget(IDropTarget**) { return E_NOTIMPL; }

// IOleDocument
STDMETHODIMP MorvaneLauncher::CreateView(IOleInPlaceSite*, IStream*, DWORD, IOleDocumentView**) {
    return E_NOTIMPL;
}
STDMETHODIMP MorvaneLauncher::GetDocMiscStatus(DWORD*) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::EnumViews(IEnumOleDocumentViews**, IOleDocumentView**) {
    return E_NOTIMPL;
}

// IOleDocumentView
STDMETHODIMP MorvaneLauncher::SetInPlaceSite(IOleInPlaceSite*) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::GetInPlaceSite(IOleInPlaceSite**) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::GetDocument(IUnknown**) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::SetRect(LPRECT) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::GetRect(LPRECT) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::SetRectComplex(LPRECT, LPRECT, LPRECT, LPRECT) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::Show(BOOL) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::UIActivate(BOOL) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::Open() { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::CloseView(DWORD) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::SaveViewState(LPSTREAM) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::ApplyViewState(LPSTREAM) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::Clone(IOleInPlaceSite*, IOleDocumentView**) { return E_NOTIMPL; }

LRESULT MorvaneLauncher::on_message(UINT, WPARAM, LPARAM, bool& handled) {
    handled = false;
    return 0;
}
