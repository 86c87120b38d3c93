// The callback a browser registers on the bind context before it loads a
// document. It lives in the apartment of the thread that made it: a call on
// any other thread fails the test. Every call is recorded, and checked
// against an expectation table when one is set (by method name:
// "OnStartBinding", "OnProgress", "OnStopBinding", "GetBindInfo", ...).
#pragma once

#include <windows.h>
#include <urlmon.h>

#include <functional>
#include <string>
#include <vector>

#include "frame/object.h"
#include "support/expect.h"

namespace gntest {

class BrowserCallback final : public gn::implements<BrowserCallback, gn::no_lock, IBindStatusCallback,
                                                    IServiceProvider, IAuthenticate> {
public:
    // What it was told: "start" (or "start without binding"), "stop <result>
    // <text>", "GetBindInfo", "OnDataAvailable"; and what a browser's UI
    // would miss: "unexpected service answer <name>".
    std::vector<std::string> calls;
    int starts = 0, stops = 0, data_reports = 0;
    ULONG progress = 0, last_progress = 0;  // every progress report; the last one's progress
    ULONG progress_since_start = 0;         // the progress reports since the last start
    // Run inside OnStartBinding, the first progress report of data, the first
    // report of status (once), and OnStopBinding.
    std::function<void()> on_start, on_data, on_status, on_stop;
    ULONG status = BINDSTATUS_ENDDOWNLOADDATA;
    HRESULT answer = S_OK;        // of OnStartBinding, OnProgress and OnStopBinding
    HRESULT stopped_with = S_OK;  // the result of the last OnStopBinding
    // When set, OnStopBinding adds "stop <name>" to order (shared with others).
    std::vector<std::string>* order = nullptr;
    std::string name;
    // When set, OnStartBinding asks it for the services a browser's UI asks
    // for (not held).
    IServiceProvider* launcher = nullptr;
    Expectations* expected = nullptr;  // when set, every call is checked against it

    ULONG refs() {
        AddRef();
        return Release();
    }

    STDMETHODIMP OnStartBinding(DWORD, IBinding* pib) override;
    STDMETHODIMP GetPriority(LONG*) override;
    STDMETHODIMP OnLowResource(DWORD) override;
    STDMETHODIMP OnProgress(ULONG ulProgress, ULONG, ULONG status, LPCWSTR) override;
    STDMETHODIMP OnStopBinding(HRESULT hr, LPCWSTR error) override;
    STDMETHODIMP GetBindInfo(DWORD*, BINDINFO*) override;
    STDMETHODIMP OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override;
    STDMETHODIMP OnObjectAvailable(REFIID, IUnknown*) override;
    STDMETHODIMP QueryService(REFGUID service, REFIID riid, void** ppv) override;
    STDMETHODIMP Authenticate(HWND*, LPWSTR*, LPWSTR*) override;

private:
    void enter(const char* call);
    void ask_services();
    ApartmentThread apartment_;
};

}  // namespace gntest
