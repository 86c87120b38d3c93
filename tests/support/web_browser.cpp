#include "support/web_browser.h"

#include "frame/interfaces.h"

namespace gntest {

FakeWebBrowser::~FakeWebBrowser() { clear_properties(); }

STDMETHODIMP FakeWebBrowser::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
        IsEqualIID(riid, IID_IWebBrowser) || IsEqualIID(riid, IID_IWebBrowserApp) ||
        IsEqualIID(riid, IID_IWebBrowser2)) {
        *ppv = static_cast<IWebBrowser2*>(this);
        AddRef();
        return S_OK;
    }
    if (IsEqualIID(riid, IID_IServiceProvider)) {
        *ppv = static_cast<IServiceProvider*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

STDMETHODIMP FakeWebBrowser::QueryService(REFGUID service, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualGUID(service, gn::SID_SWebBrowserApp)) return E_NOINTERFACE;
    return QueryInterface(riid, ppv);
}

STDMETHODIMP_(ULONG) FakeWebBrowser::Release() {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
}

const VARIANT* FakeWebBrowser::property(const std::wstring& name) const {
    static VARIANT empty{};
    auto it = properties_.find(name);
    return it == properties_.end() ? &empty : &it->second;
}

void FakeWebBrowser::clear_properties() {
    for (auto& p : properties_) VariantClear(&p.second);
    properties_.clear();
}

STDMETHODIMP FakeWebBrowser::Navigate(BSTR URL, VARIANT* Flags, VARIANT* TargetFrameName,
                                      VARIANT*, VARIANT*) {
    Navigation n{URL ? URL : L"", Flags ? Flags->vt : static_cast<VARTYPE>(VT_ERROR), L""};
    if (TargetFrameName && TargetFrameName->vt == VT_BSTR && TargetFrameName->bstrVal)
        n.target = TargetFrameName->bstrVal;
    navigations.push_back(n);
    return S_OK;
}

STDMETHODIMP FakeWebBrowser::Navigate2(VARIANT* URL, VARIANT* Flags, VARIANT* TargetFrameName,
                                       VARIANT* PostData, VARIANT* Headers) {
    BSTR url = (URL && URL->vt == VT_BSTR) ? URL->bstrVal : nullptr;
    return Navigate(url, Flags, TargetFrameName, PostData, Headers);
}

STDMETHODIMP FakeWebBrowser::PutProperty(BSTR Property, VARIANT vtValue) {
    if (!property_bag) return E_NOTIMPL;
    if (!Property) return E_INVALIDARG;
    put_names.push_back(Property);
    VARIANT& slot = properties_[Property];
    VariantClear(&slot);
    VariantInit(&slot);
    VariantCopy(&slot, &vtValue);
    if (std::wstring(Property) == L"MorvaneLauncher") return launcher_property_result;
    return S_OK;
}

STDMETHODIMP FakeWebBrowser::GetProperty(BSTR Property, VARIANT* pvtValue) {
    if (!property_bag) return E_NOTIMPL;
    if (!Property || !pvtValue) return E_INVALIDARG;
    VariantInit(pvtValue);
    auto it = properties_.find(Property);
    if (it == properties_.end()) return S_OK;
    return VariantCopy(pvtValue, &it->second);
}

STDMETHODIMP FakeWebBrowser::get_HWND(SHANDLE_PTR* pHWND) {
    if (!pHWND) return E_POINTER;
    *pHWND = reinterpret_cast<SHANDLE_PTR>(window);
    return S_OK;
}

STDMETHODIMP FakeWebBrowser::get_LocationURL(BSTR* LocationURL) {
    if (!LocationURL) return E_POINTER;
    *LocationURL = SysAllocString(location.c_str());
    return S_OK;
}

}  // namespace gntest
