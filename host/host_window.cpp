// The window side of the control host: the taken-over window's messages, the
// in-place site, the control site and the container.
#include "host/ctl_host.h"

#include "host/frame_window.h"
#include "host/screen_units.h"

#include <commctrl.h>

#include <utility>

#ifndef WM_FORWARDMSG
#define WM_FORWARDMSG 0x037F
#endif

namespace {

constexpr UINT kReflectionBase = 0x2000;

// Notification records arrive as pointers in lParam. Inside the process the
// platform hands over records it made itself, as it does to its own controls:
// they are trusted once present, and only their codes are checked.
template <class Record>
const Record* record_at(LPARAM lp) noexcept {
    return reinterpret_cast<const Record*>(lp);
}

// An owner-drawn item's record (draw, measure, delete, compare): for a control
// (wParam, its identifier, not 0 as for a menu), of a known control type,
// naming the same control as wParam.
template <class Record>
const Record* item_record(WPARAM wp, LPARAM lp) noexcept {
    const Record* item = record_at<Record>(lp);
    if (!wp || !item || item->CtlID != wp) return nullptr;
    const UINT type = item->CtlType;
    const bool known = (type >= ODT_LISTBOX && type <= ODT_STATIC) ||
                       (type >= ODT_HEADER && type <= ODT_LISTVIEW);
    return known ? item : nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------
// Messages of the taken-over window

LRESULT CtlHost6x::on_message(UINT msg, WPARAM wp, LPARAM lp, bool& handled) {
    switch (msg) {
    case WM_SIZE:
        return on_size(lp);
    case WM_SETFOCUS:
        on_set_focus();
        return 0;
    case WM_DESTROY:
        // The control lets go of its site; the host lives on until WM_NCDESTROY.
        if (!destroy_reference_) destroy_reference_.assign(controlling_unknown());
        release_all();
        return 0;
    case WM_FORWARDMSG:
        handled = true;
        return on_forward_msg(lp);
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_PARENTNOTIFY:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_DELETEITEM:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC: {
        const HWND child = reflection_target(msg, wp, lp);
        if (!child) return 0;
        handled = true;
        return SendMessageA(child, msg + kReflectionBase, wp, lp);
    }
    default:
        return 0;
    }
}

// After WM_NCDESTROY: the window has been given back; the reference taken on
// WM_DESTROY goes, which frees the host when the control has let go of it.
void CtlHost6x::on_final_message() {
    // Let go at the end of this scope, when nothing here touches the host any more.
    const gn::com_ptr<IUnknown> reference = std::move(destroy_reference_);
}

LRESULT CtlHost6x::on_size(LPARAM lp) noexcept {
    const LONG width = LOWORD(lp);
    const LONG height = HIWORD(lp);
    pos_rect_.right = pos_rect_.left + width;
    pos_rect_.bottom = pos_rect_.top + height;
    extent_pixels_ = SIZEL{width, height};
    extent_himetric_ = gn::screen_pixels_to_himetric(extent_pixels_);
    if (ole_object_) ole_object_->SetExtent(DVASPECT_CONTENT, &extent_himetric_);
    if (in_place_object_) in_place_object_->SetObjectRects(&pos_rect_, &pos_rect_);
    return 0;
}

void CtlHost6x::on_set_focus() noexcept {
    if (release_all_running_) return;
    // Focus makes a control that is not UI-active yet UI-active.
    if (ole_object_ && !ui_active_) {
        if (auto site = gn::try_query<IOleClientSite>(controlling_unknown()))
            ole_object_->DoVerb(OLEIVERB_UIACTIVATE, nullptr, site.get(), 0, hwnd(), &pos_rect_);
    }
    if (!hwnd()) return;  // the control may have closed meanwhile
    if (!IsChild(hwnd(), ::GetFocus())) {
        if (HWND child = ::GetWindow(hwnd(), GW_CHILD)) ::SetFocus(child);
    }
}

LRESULT CtlHost6x::on_forward_msg(LPARAM lp) noexcept {
    auto* key = const_cast<MSG*>(record_at<MSG>(lp));
    if (!key || !control_) return 0;
    auto active = gn::try_query<IOleInPlaceActiveObject>(control_.get());
    if (!active) return 0;
    return active->TranslateAccelerator(key) == S_OK ? 1 : 0;
}

HWND CtlHost6x::reflection_target(UINT msg, WPARAM wp, LPARAM lp) const noexcept {
    HWND child = nullptr;
    switch (msg) {
    case WM_NOTIFY:
        if (auto* header = record_at<NMHDR>(lp)) child = header->hwndFrom;
        break;
    case WM_PARENTNOTIFY:
        if (LOWORD(wp) == WM_CREATE || LOWORD(wp) == WM_DESTROY)
            child = reinterpret_cast<HWND>(lp);
        else
            child = GetDlgItem(hwnd(), HIWORD(wp));
        break;
    case WM_DRAWITEM:
        if (auto* item = item_record<DRAWITEMSTRUCT>(wp, lp)) child = item->hwndItem;
        break;
    case WM_MEASUREITEM:
        if (auto* item = item_record<MEASUREITEMSTRUCT>(wp, lp)) child = GetDlgItem(hwnd(), item->CtlID);
        break;
    case WM_DELETEITEM:
        if (auto* item = item_record<DELETEITEMSTRUCT>(wp, lp)) child = GetDlgItem(hwnd(), item->CtlID);
        break;
    case WM_COMPAREITEM:
        if (auto* item = item_record<COMPAREITEMSTRUCT>(wp, lp)) child = GetDlgItem(hwnd(), item->CtlID);
        break;
    default:  // WM_COMMAND, scroll, item-key and colour messages: the window in lParam
        child = reinterpret_cast<HWND>(lp);
        break;
    }
    // Only the host window's own descendants are sent a reflected message: a
    // foreign or stale handle goes on to the previous procedure instead.
    if (!child || !IsWindow(child) || !IsChild(hwnd(), child)) return nullptr;
    return child;
}

// ---------------------------------------------------------------------------
// In-place site

STDMETHODIMP CtlHost6x::GetWindow(HWND* phwnd) {
    RETURN_HR_IF(E_POINTER, !phwnd);
    *phwnd = hwnd();
    return S_OK;
}

STDMETHODIMP CtlHost6x::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }
STDMETHODIMP CtlHost6x::CanInPlaceActivate() { return S_OK; }

void CtlHost6x::note_in_place_activation() noexcept {
    in_place_active_ = true;
    if (!ole_object_) return;
    if (!running_locked_) running_locked_ = SUCCEEDED(OleLockRunning(ole_object_.get(), TRUE, FALSE));
    in_place_object_ = ole_object_.try_query<IOleInPlaceObject>();
}

STDMETHODIMP CtlHost6x::OnInPlaceActivate() {
    note_in_place_activation();
    return S_OK;
}

STDMETHODIMP CtlHost6x::OnUIActivate() {
    ui_active_ = true;
    return S_OK;
}

STDMETHODIMP CtlHost6x::GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc,
                                         LPRECT lprcPosRect, LPRECT lprcClipRect,
                                         LPOLEINPLACEFRAMEINFO lpFrameInfo) {
    RETURN_HR_IF(E_POINTER, !ppFrame || !ppDoc || !lprcPosRect || !lprcClipRect);
    *ppFrame = nullptr;
    *ppDoc = nullptr;
    RETURN_HR_IF(E_POINTER, !lpFrameInfo);
    if (!frame_window_) RETURN_IF_FAILED(gn::create_frame_window(frame_window_.put()));
    if (!ui_window_) RETURN_IF_FAILED(gn::create_ui_window(ui_window_.put()));
    frame_window_.copy_to(ppFrame);
    ui_window_.copy_to(ppDoc);

    RECT client{0, 0, 0, 0};
    if (hwnd()) ::GetClientRect(hwnd(), &client);
    *lprcPosRect = client;
    *lprcClipRect = client;

    // One empty accelerator table per host, destroyed with the host.
    if (!accelerators_) {
        ACCEL none{0, 0, 0};
        accelerators_.reset(CreateAcceleratorTableA(&none, 1));
    }
    lpFrameInfo->cb = 20;
    lpFrameInfo->fMDIApp = FALSE;
    lpFrameInfo->hwndFrame = hwnd() ? GetParent(hwnd()) : nullptr;
    lpFrameInfo->haccel = accelerators_.get();
    lpFrameInfo->cAccelEntries = 1;
    return S_OK;
}

STDMETHODIMP CtlHost6x::Scroll(SIZE) { return E_NOTIMPL; }

STDMETHODIMP CtlHost6x::OnUIDeactivate(BOOL) {
    ui_active_ = false;
    return S_OK;
}

STDMETHODIMP CtlHost6x::OnInPlaceDeactivate() {
    in_place_active_ = false;
    in_place_object_.reset();
    return S_OK;
}

STDMETHODIMP CtlHost6x::DiscardUndoState() { return E_NOTIMPL; }
STDMETHODIMP CtlHost6x::DeactivateAndUndo() { return E_NOTIMPL; }
STDMETHODIMP CtlHost6x::OnPosRectChange(LPCRECT) { return E_NOTIMPL; }

STDMETHODIMP CtlHost6x::OnInPlaceActivateEx(BOOL*, DWORD) {
    note_in_place_activation();
    if (in_place_object_) in_place_object_->SetObjectRects(&pos_rect_, &pos_rect_);
    return S_OK;
}

STDMETHODIMP CtlHost6x::OnInPlaceDeactivateEx(BOOL) { return S_OK; }
STDMETHODIMP CtlHost6x::RequestUIActivate() { return S_OK; }
STDMETHODIMP CtlHost6x::CanWindowlessActivate() { return S_OK; }
STDMETHODIMP CtlHost6x::GetCapture() { return mouse_capture_ ? S_OK : S_FALSE; }

STDMETHODIMP CtlHost6x::SetCapture(BOOL fCapture) {
    if (fCapture) {
        ::SetCapture(hwnd());
        mouse_capture_ = true;
    } else {
        ::ReleaseCapture();
        mouse_capture_ = false;
    }
    return S_OK;
}

STDMETHODIMP CtlHost6x::GetFocus() { return S_OK; }
STDMETHODIMP CtlHost6x::SetFocus(BOOL) { return S_OK; }

STDMETHODIMP CtlHost6x::GetDC(LPCRECT, DWORD, HDC* phDC) {
    RETURN_HR_IF(E_POINTER, !phDC);
    *phDC = ::GetDC(hwnd());
    return S_OK;
}

STDMETHODIMP CtlHost6x::ReleaseDC(HDC hDC) {
    ::ReleaseDC(hwnd(), hDC);
    return S_OK;
}

STDMETHODIMP CtlHost6x::InvalidateRect(LPCRECT pRect, BOOL fErase) {
    ::InvalidateRect(hwnd(), pRect, fErase);
    return S_OK;
}

STDMETHODIMP CtlHost6x::InvalidateRgn(HRGN hRGN, BOOL fErase) {
    ::InvalidateRgn(hwnd(), hRGN, fErase);
    return S_OK;
}

STDMETHODIMP CtlHost6x::ScrollRect(INT, INT, LPCRECT, LPCRECT) { return S_OK; }
STDMETHODIMP CtlHost6x::AdjustRect(LPRECT) { return S_OK; }

STDMETHODIMP CtlHost6x::OnDefWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam,
                                           LRESULT* plResult) {
    const LRESULT result = hwnd() ? default_proc(msg, wParam, lParam) : 0;
    if (plResult) *plResult = result;
    return S_OK;
}

// ---------------------------------------------------------------------------
// Control site

STDMETHODIMP CtlHost6x::OnControlInfoChanged() { return S_OK; }
STDMETHODIMP CtlHost6x::LockInPlaceActive(BOOL) { return S_OK; }

STDMETHODIMP CtlHost6x::GetExtendedControl(IDispatch** ppDisp) {
    RETURN_HR_IF(E_POINTER, !ppDisp);
    *ppDisp = nullptr;
    return controlling_unknown()->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(ppDisp));
}

STDMETHODIMP CtlHost6x::TransformCoords(POINTL*, POINTF*, DWORD) { return S_OK; }
STDMETHODIMP CtlHost6x::TranslateAccelerator(MSG*, DWORD) { return S_FALSE; }
STDMETHODIMP CtlHost6x::OnFocus(BOOL) { return S_OK; }
STDMETHODIMP CtlHost6x::ShowPropertyFrame() { return E_NOTIMPL; }

// ---------------------------------------------------------------------------
// Container

STDMETHODIMP CtlHost6x::ParseDisplayName(IBindCtx*, LPOLESTR, ULONG*, IMoniker**) {
    return E_NOTIMPL;
}

STDMETHODIMP CtlHost6x::EnumObjects(DWORD, IEnumUnknown** ppenum) {
    RETURN_HR_IF(E_POINTER, !ppenum);
    *ppenum = nullptr;
    return gn::create_container_enum(controlling_unknown(), control_.get(), ppenum);
}

STDMETHODIMP CtlHost6x::LockContainer(BOOL) { return S_OK; }
