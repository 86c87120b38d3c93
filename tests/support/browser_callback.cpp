#include "support/browser_callback.h"

#include <cstdio>
#include <utility>

namespace gntest {

void BrowserCallback::enter(const char* call) {
    apartment_.check(call);
    if (expected) expected->call(call);
}

STDMETHODIMP BrowserCallback::OnStartBinding(DWORD, IBinding* pib) {
    enter("OnStartBinding");
    ++starts;
    progress_since_start = 0;
    calls.push_back(pib ? "start" : "start without binding");
    if (launcher) ask_services();
    if (on_start) on_start();
    return answer;
}

// The launcher answers for the authentication the browser's UI offers, and
// for nothing else a binding asks of its callback.
void BrowserCallback::ask_services() {
    const struct {
        const char* name;
        REFGUID service;
        HRESULT expect;
    } services[] = {{"IAuthenticate", IID_IAuthenticate, S_OK},
                    {"IHttpSecurity", IID_IHttpSecurity, E_NOINTERFACE},
                    {"IWindowForBindingUI", IID_IWindowForBindingUI, E_NOINTERFACE},
                    {"IHttpNegotiate", IID_IHttpNegotiate, E_NOINTERFACE}};
    for (const auto& s : services) {
        gn::com_ptr<IUnknown> got;
        const HRESULT hr = launcher->QueryService(s.service, s.service, got.put_void());
        if (hr != s.expect || (hr == S_OK) != static_cast<bool>(got))
            calls.push_back(std::string("unexpected service answer ") + s.name);
    }
}

STDMETHODIMP BrowserCallback::GetPriority(LONG*) {
    enter("GetPriority");
    return E_NOTIMPL;
}

STDMETHODIMP BrowserCallback::OnLowResource(DWORD) {
    enter("OnLowResource");
    return S_OK;
}

STDMETHODIMP BrowserCallback::OnProgress(ULONG ulProgress, ULONG, ULONG status, LPCWSTR) {
    enter("OnProgress");
    ++progress;
    ++progress_since_start;
    last_progress = ulProgress;
    if (status == this->status && on_status) std::exchange(on_status, nullptr)();
    const bool data = status == BINDSTATUS_DOWNLOADINGDATA || status == BINDSTATUS_BEGINDOWNLOADDATA;
    if (data && ++data_reports == 1 && on_data) on_data();
    return answer;
}

STDMETHODIMP BrowserCallback::OnStopBinding(HRESULT hr, LPCWSTR error) {
    enter("OnStopBinding");
    ++stops;
    stopped_with = hr;
    char text[160];
    std::snprintf(text, sizeof text, "stop %08lx %ls", static_cast<unsigned long>(hr),
                  error ? error : L"");
    calls.push_back(text);
    if (order) order->push_back("stop " + name);
    if (on_stop) on_stop();
    return answer;
}

STDMETHODIMP BrowserCallback::GetBindInfo(DWORD*, BINDINFO*) {
    enter("GetBindInfo");
    calls.push_back("GetBindInfo");
    return S_OK;
}

STDMETHODIMP BrowserCallback::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) {
    enter("OnDataAvailable");
    calls.push_back("OnDataAvailable");
    return S_OK;
}

STDMETHODIMP BrowserCallback::OnObjectAvailable(REFIID, IUnknown*) {
    enter("OnObjectAvailable");
    return S_OK;
}

STDMETHODIMP BrowserCallback::QueryService(REFGUID service, REFIID riid, void** ppv) {
    enter("QueryService");
    if (IsEqualGUID(service, IID_IAuthenticate)) return QueryInterface(riid, ppv);
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP BrowserCallback::Authenticate(HWND*, LPWSTR*, LPWSTR*) {
    enter("Authenticate");
    return E_ACCESSDENIED;
}

}  // namespace gntest
