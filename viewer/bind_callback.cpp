#include "viewer/bind_callback.h"

#include <cstring>
#include <utility>

#include "viewer/viewer_text.h"

namespace gnviewer {

namespace {

// A task-memory copy of a text, as IAuthenticate hands it out; null when out of memory.
LPWSTR task_copy(const std::wstring& text) noexcept {
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    auto copy = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (copy) std::memcpy(copy, text.c_str(), bytes);
    return copy;
}

std::string service_name(REFGUID service) {
    if (IsEqualGUID(service, IID_IAuthenticate)) return "IAuthenticate";
    if (IsEqualGUID(service, IID_IHttpSecurity)) return "IHttpSecurity";
    if (IsEqualGUID(service, IID_IWindowForBindingUI)) return "IWindowForBindingUI";
    wchar_t text[64] = {};
    StringFromGUID2(service, text, 64);
    return to_utf8(text);
}

}  // namespace

BindCallback::BindCallback(BindListener* listener, std::wstring user, std::wstring password) noexcept
    : listener_(listener), user_(std::move(user)), password_(std::move(password)) {}

STDMETHODIMP BindCallback::OnStartBinding(DWORD, IBinding*) {
    step_ = -1;
    if (listener_) listener_->download_step(0, 0, 0);
    return S_OK;
}

STDMETHODIMP BindCallback::GetPriority(LONG*) { return E_NOTIMPL; }
STDMETHODIMP BindCallback::OnLowResource(DWORD) { return S_OK; }

STDMETHODIMP BindCallback::OnProgress(ULONG ulProgress, ULONG ulProgressMax, ULONG ulStatusCode, LPCWSTR) {
    if (ulStatusCode != BINDSTATUS_DOWNLOADINGDATA && ulStatusCode != BINDSTATUS_ENDDOWNLOADDATA) return S_OK;
    const unsigned percent = download_percent(ulProgress, ulProgressMax);
    // A step a tenth of the way: a window message per read would slow the transfer.
    const int step = static_cast<int>(percent / 10);
    if (step == step_ || !ulProgressMax) return S_OK;
    step_ = step;
    if (listener_) listener_->download_step(percent, ulProgress, ulProgressMax);
    return S_OK;
}

STDMETHODIMP BindCallback::OnStopBinding(HRESULT hresult, LPCWSTR szError) {
    if (listener_) listener_->download_ended(hresult, szError ? szError : L"");
    return S_OK;
}

// Only the document's own callback binds; asked here, nothing is changed.
STDMETHODIMP BindCallback::GetBindInfo(DWORD*, BINDINFO*) { return S_OK; }
STDMETHODIMP BindCallback::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) { return S_OK; }
STDMETHODIMP BindCallback::OnObjectAvailable(REFIID, IUnknown*) { return S_OK; }

STDMETHODIMP BindCallback::QueryService(REFGUID guidService, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (listener_) listener_->bind_event("bind_service " + service_name(guidService));
    if (!IsEqualGUID(guidService, IID_IAuthenticate)) return E_NOINTERFACE;
    return QueryInterface(riid, ppv);
}

STDMETHODIMP BindCallback::Authenticate(HWND* phwnd, LPWSTR* pszUsername, LPWSTR* pszPassword) {
    if (!phwnd || !pszUsername || !pszPassword) return E_INVALIDARG;
    *phwnd = nullptr;
    *pszUsername = *pszPassword = nullptr;
    if (listener_) listener_->bind_event(user_.empty() ? "authenticate refused" : "authenticate given");
    if (user_.empty()) return E_ACCESSDENIED;  // no login dialog: the request fails
    *pszUsername = task_copy(user_);
    *pszPassword = task_copy(password_);
    if (*pszUsername && *pszPassword) return S_OK;
    CoTaskMemFree(*pszUsername);
    CoTaskMemFree(*pszPassword);
    *pszUsername = *pszPassword = nullptr;
    return E_OUTOFMEMORY;
}

}  // namespace gnviewer
