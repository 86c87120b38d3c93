#include "support/fake_moniker.h"

#include <cstring>

namespace gntest {

gn::com_ptr<FakeMoniker> FakeMoniker::make(const std::wstring& name, HRESULT bind_result) {
    gn::com_ptr<FakeMoniker> m = gn::make<FakeMoniker>();
    if (!m) return m;
    m->name = name;
    m->bind_result = bind_result;
    return m;
}

STDMETHODIMP FakeMoniker::BindToStorage(IBindCtx* bc, IMoniker*, REFIID, void** ppv) {
    ++bind_calls;
    if (ppv) *ppv = nullptr;
    gn::com_ptr<IUnknown> registered;  // where the platform keeps the registered callback
    if (start && bc &&
        SUCCEEDED(bc->GetObjectParam(const_cast<LPOLESTR>(L"_BSCB_Holder_"), registered.put())))
        if (auto callback = registered.try_query<IBindStatusCallback>())
            callback->OnStartBinding(0, this);
    return bind_result;
}

STDMETHODIMP FakeMoniker::GetDisplayName(IBindCtx*, IMoniker*, LPOLESTR* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (FAILED(name_result)) return name_result;
    const size_t bytes = (name.size() + 1) * sizeof(wchar_t);
    *out = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (!*out) return E_OUTOFMEMORY;
    memcpy(*out, name.c_str(), bytes);
    return S_OK;
}

}  // namespace gntest
