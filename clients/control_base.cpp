#include "clients/control_base.h"

#include "frame/window.h"

#include <cstdio>

namespace clients {
namespace {

std::wstring rect_text(LPCRECT r) {
    if (!r) return L"null";
    wchar_t text[64];
    swprintf(text, 64, L"%ld,%ld,%ld,%ld", r->left, r->top, r->right, r->bottom);
    return text;
}

}  // namespace

template <class... Extra>
ControlBase<Extra...>::~ControlBase() {
    if (window_) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
    if (font_) DeleteObject(font_);
}

// ---------------------------------------------------------------------------
// IOleObject

template <class... Extra>
STDMETHODIMP ControlBase<Extra...>::SetClientSite(IOleClientSite* pClientSite) {
    record(pClientSite ? L"SetClientSite site" : L"SetClientSite null");
    site_.assign(pClientSite);
    return S_OK;
}

template <class... Extra>
STDMETHODIMP ControlBase<Extra...>::GetClientSite(IOleClientSite** ppClientSite) {
    return site_.copy_to(ppClientSite);
}

template <class... Extra>
STDMETHODIMP ControlBase<Extra...>::SetHostNames(LPCOLESTR, LPCOLESTR) {
    record(L"SetHostNames");
    return S_OK;
}

template <class... Extra>
STDMETHODIMP ControlBase<Extra...>::Close(DWORD dwSaveOption) {
    record(L"Close " + std::to_wstring(dwSaveOption));
    // Keeps this object alive while the container lets go of it.
    gn::com_ptr<IUnknown> self(identity());
    InPlaceDeactivate();
    on_close();
    // Drops any lock the container took on the running object.
    CoDisconnectObject(identity(), 0);
    return S_OK;
}

template <class... Extra>
STDMETHODIMP ControlBase<Extra...>::DoVerb(LONG iVerb, LPMSG, IOleClientSite* pActiveSite, LONG,
                                           HWND hwndParent, LPCRECT lprcPosRect) {
    record(L"DoVerb " + std::to_wstring(iVerb) + L" " + rect_text(lprcPosRect));
    const gn::com_ptr<IOleClientSite> site(pActiveSite ? pActiveSite : site_.get());
    switch (iVerb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
        return activate_in_place(site, hwndParent, lprcPosRect, false);
    case OLEIVERB_UIACTIVATE:
        return activate_in_place(site, hwndParent, lprcPosRect, true);
    case OLEIVERB_HIDE:
        if (window_) ShowWindow(window_, SW_HIDE);
        return S_OK;
    default:
        return OLEOBJ_S_INVALIDVERB;
    }
}

template <class... Extra>
STDMETHODIMP ControlBase<Extra...>::GetUserClassID(CLSID* pClsid) {
    RETURN_HR_IF(E_POINTER, !pClsid);
    *pClsid = clsid_;
    return S_OK;
}

template <class... Extra>
STDMETHODIMP ControlBase<Extra...>::SetExtent(DWORD dwDrawAspect, SIZEL* psizel) {
    RETURN_HR_IF(E_POINTER, !psizel);
    record(L"SetExtent " + std::to_wstring(dwDrawAspect) + L" " + std::to_wstring(psizel->cx) +
           L"x" + std::to_wstring(psizel->cy));
    RETURN_HR_IF(DV_E_DVASPECT, dwDrawAspect != DVASPECT_CONTENT);
    extent_ = *psizel;
    return S_OK;
}

template <class... Extra>
STDMETHODIMP ControlBase<Extra...>::GetExtent(DWORD dwDrawAspect, SIZEL* psizel) {
    RETURN_HR_IF(E_POINTER, !psizel);
    record(L"GetExtent " + std::to_wstring(dwDrawAspect));
    RETURN_HR_IF(DV_E_DVASPECT, dwDrawAspect != DVASPECT_CONTENT);
    *psizel = extent_;
    return S_OK;
}

template <class... Extra>
STDMETHODIMP ControlBase<Extra...>::GetMiscStatus(DWORD, DWORD* pdwStatus) {
    RETURN_HR_IF(E_POINTER, !pdwStatus);
    *pdwStatus = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_INSIDEOUT | OLEMISC_ACTIVATEWHENVISIBLE |
                 OLEMISC_RECOMPOSEONRESIZE;
    return S_OK;
}

// ---------------------------------------------------------------------------
// In place

template <class... Extra>
HRESULT ControlBase<Extra...>::activate_in_place(const gn::com_ptr<IOleClientSite>& site,
                                                 HWND parent, LPCRECT pos, bool ui) noexcept {
    if (!in_place_) {
        RETURN_HR_IF(E_UNEXPECTED, !site);
        HRESULT hr = S_OK;
        gn::com_ptr<IOleInPlaceSite> ip = site.query<IOleInPlaceSite>(&hr);
        RETURN_IF_FAILED(hr);
        RETURN_HR_IF(E_FAIL, ip->CanInPlaceActivate() != S_OK);
        RETURN_IF_FAILED(ip->OnInPlaceActivate());
        in_place_site_ = ip;
        in_place_ = true;

        gn::com_ptr<IOleInPlaceFrame> frame;
        gn::com_ptr<IOleInPlaceUIWindow> doc;
        RECT site_pos{}, clip{};
        OLEINPLACEFRAMEINFO info{};
        info.cb = sizeof(info);
        ip->GetWindowContext(frame.put(), doc.put(), &site_pos, &clip, &info);
        if (!parent) ip->GetWindow(&parent);
        const RECT r = pos ? *pos : site_pos;

        static gn::module_window_class<wchar_t> window_class(
            L"GNClients.ControlWindow", &ControlBase<Extra...>::window_proc, CS_HREDRAW | CS_VREDRAW);
        window_class.ensure();
        window_ = CreateWindowExW(0, L"GNClients.ControlWindow", text_.c_str(),
                                  WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, r.left, r.top,
                                  r.right - r.left, r.bottom - r.top, parent, nullptr,
                                  module_instance(), nullptr);
        if (window_) SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        // Tables line up in a fixed-pitch font.
        if (!font_)
            font_ = CreateFontW(-14, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                FIXED_PITCH | FF_MODERN, L"Courier New");
        record(L"InPlaceActive " + rect_text(&r));
        if (!activated_once_) {
            activated_once_ = true;
            on_activated();
        }
    }
    if (ui && !ui_active_ && in_place_site_) {
        ui_active_ = true;
        in_place_site_->OnUIActivate();
        if (window_) ::SetFocus(window_);
    }
    return S_OK;
}

template <class... Extra>
STDMETHODIMP ControlBase<Extra...>::GetWindow(HWND* phwnd) {
    RETURN_HR_IF(E_POINTER, !phwnd);
    *phwnd = window_;
    return window_ ? S_OK : E_FAIL;
}

template <class... Extra>
STDMETHODIMP ControlBase<Extra...>::InPlaceDeactivate() {
    if (!in_place_) return S_OK;
    record(L"InPlaceDeactivate");
    UIDeactivate();
    in_place_ = false;
    if (window_) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
        window_ = nullptr;
    }
    gn::com_ptr<IOleInPlaceSite> ip = std::move(in_place_site_);
    if (ip) ip->OnInPlaceDeactivate();
    return S_OK;
}

template <class... Extra>
STDMETHODIMP ControlBase<Extra...>::UIDeactivate() {
    if (!ui_active_) return S_OK;
    ui_active_ = false;
    if (in_place_site_) in_place_site_->OnUIDeactivate(FALSE);
    return S_OK;
}

template <class... Extra>
STDMETHODIMP ControlBase<Extra...>::SetObjectRects(LPCRECT lprcPosRect, LPCRECT lprcClipRect) {
    record(L"SetObjectRects " + rect_text(lprcPosRect) + L" " + rect_text(lprcClipRect));
    RETURN_HR_IF(E_POINTER, !lprcPosRect);
    if (window_)
        MoveWindow(window_, lprcPosRect->left, lprcPosRect->top,
                   lprcPosRect->right - lprcPosRect->left, lprcPosRect->bottom - lprcPosRect->top,
                   TRUE);
    return S_OK;
}

template <class... Extra>
STDMETHODIMP ControlBase<Extra...>::TranslateAccelerator(LPMSG lpmsg) {
    record(L"TranslateAccelerator " + std::to_wstring(lpmsg ? lpmsg->message : 0) + L" " +
           std::to_wstring(lpmsg ? lpmsg->wParam : 0));
    return S_FALSE;  // the controls use no accelerator keys
}

template <class... Extra>
STDMETHODIMP ControlBase<Extra...>::GetClassID(CLSID* pClassID) { return GetUserClassID(pClassID); }

template <class... Extra>
STDMETHODIMP ControlBase<Extra...>::InitNew() {
    record(L"InitNew");
    return S_OK;
}

// ---------------------------------------------------------------------------

template <class... Extra>
std::wstring ControlBase<Extra...>::read_src() noexcept {
    gn::com_ptr<IDispatch> dispatch;
    HRESULT hr = E_UNEXPECTED;
    if (site_) {
        if (auto control_site = gn::try_query<IOleControlSite>(site_.get()))
            hr = control_site->GetExtendedControl(dispatch.put());
        if (!dispatch) dispatch = site_.query<IDispatch>(&hr);
    }
    DISPID id = DISPID_UNKNOWN;
    if (dispatch) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(L"SRC")};
        hr = dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    }
    gn::unique_variant value;
    if (SUCCEEDED(hr) && dispatch) {
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        hr = dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                              &value, nullptr, nullptr);
    }
    if (SUCCEEDED(hr) && value.vt != VT_BSTR) hr = DISP_E_TYPEMISMATCH;
    if (FAILED(hr)) {
        record(L"SRC failed " + hex_result(hr));
        return std::wstring();
    }
    std::wstring url(value.bstrVal ? value.bstrVal : L"", SysStringLen(value.bstrVal));
    record(L"SRC " + url);
    return url;
}

template <class... Extra>
void ControlBase<Extra...>::show(const std::wstring& text) noexcept {
    text_ = text;
    if (window_) {
        SetWindowTextW(window_, text_.c_str());
        ::InvalidateRect(window_, nullptr, TRUE);
    }
}

template <class... Extra>
LRESULT CALLBACK ControlBase<Extra...>::window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<ControlBase<Extra...>*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self) {
        bool handled = false;
        const LRESULT r = self->on_window_message(msg, wp, lp, handled);
        if (handled) return r;
    }
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        std::wstring text;
        if (self) {
            text = self->text_;
        } else {
            wchar_t buffer[1024] = {};
            GetWindowTextW(hwnd, buffer, 1024);
            text = buffer;
        }
        HGDIOBJ old = (self && self->font_) ? SelectObject(dc, self->font_) : nullptr;
        RECT r;
        GetClientRect(hwnd, &r);
        InflateRect(&r, -8, -8);
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
                  DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
        if (old) SelectObject(dc, old);
        EndPaint(hwnd, &ps);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

// The two controls' interface lists.
template class ControlBase<>;
template class ControlBase<ILauncherEvent>;

}  // namespace clients
