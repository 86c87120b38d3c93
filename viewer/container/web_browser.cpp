#include "viewer/container/web_browser.h"

#include <new>

namespace gncontainer {

STDMETHODIMP WebBrowser::QueryService(REFGUID service, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualGUID(service, kSidWebBrowserApp)) return E_NOINTERFACE;
    return QueryInterface(riid, ppv);
}

void WebBrowser::clear_properties() {
    // Take the values out first: clearing one may release a document that
    // calls back into the bag.
    std::map<std::wstring, VARIANT> values;
    values.swap(properties_);
    for (auto& p : values) VariantClear(&p.second);
}

const VARIANT* WebBrowser::property(const std::wstring& name) const {
    static const VARIANT empty{};
    const auto it = properties_.find(name);
    return it == properties_.end() ? &empty : &it->second;
}

HRESULT WebBrowser::put_text(BSTR* p, const wchar_t* text) {
    if (!p) return E_POINTER;
    *p = SysAllocString(text);
    return *p ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP WebBrowser::Navigate(BSTR URL, VARIANT*, VARIANT*, VARIANT*, VARIANT*) {
    if (!URL || !*URL) return E_INVALIDARG;
    if (host_) host_->navigate(URL);
    return S_OK;
}

STDMETHODIMP WebBrowser::Navigate2(VARIANT* URL, VARIANT* Flags, VARIANT* TargetFrameName,
                                   VARIANT* PostData, VARIANT* Headers) {
    if (!URL) return E_INVALIDARG;
    const VARIANT* v = URL;
    if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
    if (v->vt != VT_BSTR) return E_INVALIDARG;
    return Navigate(v->bstrVal, Flags, TargetFrameName, PostData, Headers);
}

STDMETHODIMP WebBrowser::get_Application(IDispatch** pp) {
    if (!pp) return E_POINTER;
    *pp = static_cast<IWebBrowser2*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP WebBrowser::PutProperty(BSTR Property, VARIANT vtValue) {
    if (!Property) return E_INVALIDARG;
    VARIANT copy;
    VariantInit(&copy);
    RETURN_IF_FAILED(VariantCopy(&copy, &vtValue));
    try {
        VARIANT old = properties_[Property];  // a new slot is zero, that is VT_EMPTY
        properties_[Property] = copy;
        VariantClear(&old);
    } catch (const std::bad_alloc&) {
        VariantClear(&copy);
        return E_OUTOFMEMORY;
    }
    return host_ ? host_->property_put(Property) : S_OK;
}

STDMETHODIMP WebBrowser::GetProperty(BSTR Property, VARIANT* pvtValue) {
    if (!Property || !pvtValue) return E_INVALIDARG;
    VariantInit(pvtValue);
    const auto it = properties_.find(Property);
    if (host_) host_->property_get(Property, it != properties_.end());
    if (it == properties_.end()) return S_OK;
    return VariantCopy(pvtValue, &it->second);
}

STDMETHODIMP WebBrowser::get_HWND(SHANDLE_PTR* p) {
    if (!p) return E_POINTER;
    *p = reinterpret_cast<SHANDLE_PTR>(host_ ? host_->frame_window() : nullptr);
    return S_OK;
}

STDMETHODIMP WebBrowser::put_StatusText(BSTR StatusText) {
    status_ = StatusText ? StatusText : L"";
    if (host_) host_->status_text(status_, "put_StatusText");
    return S_OK;
}

STDMETHODIMP WebBrowser::get_ReadyState(READYSTATE* p) {
    if (!p) return E_POINTER;
    *p = busy_ ? READYSTATE_LOADING : READYSTATE_COMPLETE;
    return S_OK;
}

}  // namespace gncontainer
