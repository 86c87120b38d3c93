#include "host/ctl_host.h"

#include "frame/log.h"
#include "host/screen_units.h"

namespace gn {
typeinfo_cache ctl_host_typeinfo(IID_ICtlHost6x);
}

HRESULT CreateCtlHost6x(IUnknown** ppUnk) {
    return CtlHost6x::create(nullptr, IID_IUnknown, reinterpret_cast<void**>(ppUnk));
}

HRESULT CtlHost6x::create(IUnknown* outer, REFIID riid, void** ppv) {
    return gn::create_instance<CtlHost6x>(outer, riid, ppv);
}

CtlHost6x::~CtlHost6x() {
    // Normally the window is gone and the control released by now; a host
    // whose control never kept its site must not leave its procedure behind.
    destroying_ = true;
    release_all();
    unsubclass_window();
    // The accelerator table and the URL go with their owners.
}

STDMETHODIMP CtlHost6x::QueryInterface(REFIID riid, void** ppv) {
    const HRESULT hr = controlling_unknown()->QueryInterface(riid, ppv);
    if (SUCCEEDED(hr) || !aggregated()) return hr;
    return inner_unknown()->QueryInterface(riid, ppv);
}

// ---------------------------------------------------------------------------
// ICtlHost6x

STDMETHODIMP CtlHost6x::get_SRC(VARIANT* pSrc) {
    LogPrint(0, "CtlHost6x: get_SRC() accessed.");
    RETURN_HR_IF(E_POINTER, !pSrc);
    BSTR copy = url_ ? url_.copy() : SysAllocString(L"");
    RETURN_IF_NULL_ALLOC(copy);
    pSrc->vt = VT_BSTR;
    pSrc->bstrVal = copy;
    return S_OK;
}

STDMETHODIMP CtlHost6x::CreateControl6x(BSTR lpCLSID, BSTR lpURL, LONG hWnd,
                                        IUnknown* pServiceProvider, IUnknown** ppUnk) {
    if (ppUnk) *ppUnk = nullptr;
    // The URL is kept first, so SRC yields the last one handed over even
    // when the creation below fails.
    BSTR url = lpURL ? SysAllocStringLen(lpURL, SysStringLen(lpURL)) : nullptr;
    RETURN_HR_IF(E_OUTOFMEMORY, lpURL && !url);
    url_.reset(url);

    release_all();
    give_window_back();

    const HWND window = reinterpret_cast<HWND>(static_cast<LONG_PTR>(hWnd));
    if (!IsWindow(window)) return S_FALSE;
    subclass_window(window);  // on failure the host goes on without a window

    const HRESULT hr = create_and_activate(lpCLSID, hWnd, pServiceProvider, ppUnk);
    if (FAILED(hr)) {
        release_all();
        give_window_back();
    }
    return hr;
}

HRESULT CtlHost6x::create_and_activate(BSTR lpCLSID, LONG, IUnknown* pServiceProvider,
                                       IUnknown** ppUnk) {
    CLSID clsid;
    RETURN_IF_FAILED(CLSIDFromString(lpCLSID, &clsid));
    RETURN_HR_IF(E_POINTER, !ppUnk);

    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                  IID_IUnknown, reinterpret_cast<void**>(ppUnk));
    if (FAILED(hr)) {
        char text[128] = "(null)";
        if (lpCLSID)
            WideCharToMultiByte(CP_ACP, 0, lpCLSID, -1, text, sizeof(text), nullptr, nullptr);
        text[sizeof(text) - 1] = '\0';
        LogPrint(0, "CtlHost6x: failed to create control: %s", text);
        return hr;
    }

    control_.assign(*ppUnk);
    ole_object_ = control_.query<IOleObject>(&hr);
    RETURN_IF_FAILED(hr);

    service_provider_ = gn::try_query<IServiceProvider>(pServiceProvider);
    if (!service_provider_) LogPrint(0, "CtlHost6x: don't have a service provider");

    const auto site = gn::try_query<IOleClientSite>(controlling_unknown());
    ole_object_->SetClientSite(site.get());

    if (auto init = gn::try_query<IPersistStreamInit>(control_.get())) init->InitNew();

    pos_rect_ = RECT{0, 0, 0, 0};
    if (hwnd()) ::GetClientRect(hwnd(), &pos_rect_);
    extent_pixels_.cx = pos_rect_.right - pos_rect_.left;
    extent_pixels_.cy = pos_rect_.bottom - pos_rect_.top;
    extent_himetric_ = gn::screen_pixels_to_himetric(extent_pixels_);
    ole_object_->SetExtent(DVASPECT_CONTENT, &extent_himetric_);
    ole_object_->GetExtent(DVASPECT_CONTENT, &extent_himetric_);
    extent_pixels_ = gn::screen_himetric_to_pixels(extent_himetric_);
    pos_rect_.right = pos_rect_.left + extent_pixels_.cx;
    pos_rect_.bottom = pos_rect_.top + extent_pixels_.cy;

    LogPrint(0, "CtlHost6x: invoking m_spOleObject->DoVerb()");
    hr = ole_object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site.get(), 0, hwnd(),
                             &pos_rect_);
    return hr;
}

void CtlHost6x::give_window_back() noexcept {
    if (!hwnd()) return;
    RedrawWindow(hwnd(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_INTERNALPAINT | RDW_ERASE | RDW_UPDATENOW | RDW_FRAME);
    unsubclass_window();
}

// ---------------------------------------------------------------------------
// Release-all: closes the control, takes the site back and drops every
// reference the host holds on the control side.

void CtlHost6x::release_all() noexcept {
    if (release_all_running_) return;
    release_all_running_ = true;
    // Keeps the host alive while the control lets go of its site (not while
    // the host is already being destroyed: the count is gone by then).
    gn::com_ptr<IUnknown> self(destroying_ ? nullptr : controlling_unknown());

    if (ole_object_) {
        if (running_locked_) OleLockRunning(ole_object_.get(), FALSE, FALSE);
        running_locked_ = false;
        ole_object_->Close(OLECLOSE_NOSAVE);
        ole_object_->SetClientSite(nullptr);
    }
    if (auto with_site = gn::try_query<IObjectWithSite>(control_.get()))
        with_site->SetSite(nullptr);

    in_place_object_.reset();
    ole_object_.reset();
    control_.reset();
    service_provider_.reset();
    ui_window_.reset();
    frame_window_.reset();

    release_all_running_ = false;
    in_place_active_ = false;
    ui_active_ = false;
    mouse_capture_ = false;
}

// ---------------------------------------------------------------------------
// IServiceProvider

STDMETHODIMP CtlHost6x::QueryService(REFGUID guidService, REFIID riid, void** ppv) {
    if (!service_provider_) {
        if (ppv) *ppv = nullptr;
        return E_NOINTERFACE;
    }
    return service_provider_->QueryService(guidService, riid, ppv);
}

// ---------------------------------------------------------------------------
// IOleClientSite

STDMETHODIMP CtlHost6x::SaveObject() { return E_NOTIMPL; }
STDMETHODIMP CtlHost6x::GetMoniker(DWORD, DWORD, IMoniker**) { return E_NOTIMPL; }

STDMETHODIMP CtlHost6x::GetContainer(IOleContainer** ppContainer) {
    RETURN_HR_IF(E_POINTER, !ppContainer);
    *ppContainer = nullptr;
    return controlling_unknown()->QueryInterface(IID_IOleContainer,
                                                 reinterpret_cast<void**>(ppContainer));
}

STDMETHODIMP CtlHost6x::ShowObject() { return S_OK; }
STDMETHODIMP CtlHost6x::OnShowWindow(BOOL) { return E_NOTIMPL; }
STDMETHODIMP CtlHost6x::RequestNewObjectLayout() { return E_NOTIMPL; }
