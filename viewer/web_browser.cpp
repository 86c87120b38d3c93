#include "viewer/web_browser.h"

#include "viewer/viewer_text.h"

#include <new>

namespace gnviewer {

ViewerBrowser::~ViewerBrowser() { clear_properties(); }

STDMETHODIMP ViewerBrowser::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, IID_IWebBrowser) || IsEqualIID(riid, IID_IWebBrowserApp) ||
        IsEqualIID(riid, IID_IWebBrowser2)) {
        *ppv = static_cast<IWebBrowser2*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) ViewerBrowser::Release() {
    const ULONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return left;
}

void ViewerBrowser::clear_properties() {
    // Take the values out first: clearing one may release a document that
    // calls back into the bag.
    std::map<std::wstring, VARIANT> values;
    values.swap(properties_);
    for (auto& p : values) VariantClear(&p.second);
}

HRESULT ViewerBrowser::put_text(BSTR* p, const wchar_t* text) {
    if (!p) return E_POINTER;
    *p = SysAllocString(text);
    return *p ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP ViewerBrowser::Navigate(BSTR URL, VARIANT*, VARIANT*, VARIANT*, VARIANT*) {
    if (!URL || !*URL) return E_INVALIDARG;
    if (host_) {
        host_->record().add("navigate", std::wstring(URL));
        host_->navigate(URL);
    }
    return S_OK;
}

STDMETHODIMP ViewerBrowser::Navigate2(VARIANT* URL, VARIANT* Flags, VARIANT* TargetFrameName,
                                      VARIANT* PostData, VARIANT* Headers) {
    if (!URL) return E_INVALIDARG;
    const VARIANT* v = URL;
    if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
    if (v->vt != VT_BSTR) return E_INVALIDARG;
    return Navigate(v->bstrVal, Flags, TargetFrameName, PostData, Headers);
}

STDMETHODIMP ViewerBrowser::get_Application(IDispatch** pp) {
    if (!pp) return E_POINTER;
    *pp = static_cast<IWebBrowser2*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP ViewerBrowser::get_LocationName(BSTR* p) {
    return put_text(p, host_ ? host_->location().c_str() : L"");
}

STDMETHODIMP ViewerBrowser::get_LocationURL(BSTR* p) {
    return put_text(p, host_ ? host_->location().c_str() : L"");
}

STDMETHODIMP ViewerBrowser::Quit() {
    if (host_) {
        host_->record().add("quit");
        host_->quit();
    }
    return S_OK;
}

STDMETHODIMP ViewerBrowser::PutProperty(BSTR Property, VARIANT vtValue) {
    if (!Property) return E_INVALIDARG;
    VARIANT copy;
    VariantInit(&copy);
    const HRESULT hr = VariantCopy(&copy, &vtValue);
    if (FAILED(hr)) return hr;
    try {
        VARIANT old = properties_[Property];  // a new slot is zero, that is VT_EMPTY
        properties_[Property] = copy;
        VariantClear(&old);
    } catch (const std::bad_alloc&) {
        VariantClear(&copy);
        return E_OUTOFMEMORY;
    }
    if (host_) host_->record().add("put_property", std::wstring(Property));
    return S_OK;
}

STDMETHODIMP ViewerBrowser::GetProperty(BSTR Property, VARIANT* pvtValue) {
    if (!Property || !pvtValue) return E_INVALIDARG;
    VariantInit(pvtValue);
    const auto it = properties_.find(Property);
    if (host_)
        host_->record().add("get_property",
                            to_utf8(Property) + (it == properties_.end() ? " (none)" : ""));
    if (it == properties_.end()) return S_OK;
    return VariantCopy(pvtValue, &it->second);
}

STDMETHODIMP ViewerBrowser::get_HWND(SHANDLE_PTR* p) {
    if (!p) return E_POINTER;
    *p = reinterpret_cast<SHANDLE_PTR>(host_ ? host_->frame_window() : nullptr);
    return S_OK;
}

STDMETHODIMP ViewerBrowser::put_StatusText(BSTR StatusText) {
    status_ = StatusText ? StatusText : L"";
    if (host_) host_->status_text(status_, "put_StatusText");
    return S_OK;
}

STDMETHODIMP ViewerBrowser::get_ReadyState(READYSTATE* p) {
    if (!p) return E_POINTER;
    *p = busy_ ? READYSTATE_LOADING : READYSTATE_COMPLETE;
    return S_OK;
}

}  // namespace gnviewer
