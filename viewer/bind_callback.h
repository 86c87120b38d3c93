// The viewer's own bind callback, registered on the bind context it hands to
// a document's IPersistMoniker::Load, as a browser registers its own. A
// document that downloads through that bind context (the launcher) passes on
// to it the start, the progress and the end of its binding, and asks it for
// the services of the viewer's UI: here, the credentials of --user/--password
// (IAuthenticate). The data is never read here.
#pragma once

#include <windows.h>
#include <urlmon.h>

#include <string>

#include "frame/object.h"

namespace gnviewer {

// What the callback tells its owner. The owner clears the callback's pointer
// (detach) before it goes away.
class BindListener {
public:
    // A new step of the download: percent of total bytes (total may be 0:
    // unknown, and then percent is 0).
    virtual void download_step(unsigned percent, ULONG done, ULONG total) = 0;
    virtual void download_ended(HRESULT hr, const std::wstring& error) = 0;
    // Every service asked of the callback and every credential request.
    virtual void bind_event(const std::string& what) = 0;

protected:
    ~BindListener() = default;
};

class BindCallback final
    : public gn::implements<BindCallback, gn::no_lock, IBindStatusCallback, IServiceProvider, IAuthenticate> {
public:
    BindCallback(BindListener* listener, std::wstring user, std::wstring password) noexcept;
    void detach() noexcept { listener_ = nullptr; }

    // IBindStatusCallback
    STDMETHODIMP OnStartBinding(DWORD dwReserved, IBinding* pib) override;
    STDMETHODIMP GetPriority(LONG* pnPriority) override;
    STDMETHODIMP OnLowResource(DWORD reserved) override;
    STDMETHODIMP OnProgress(ULONG ulProgress, ULONG ulProgressMax, ULONG ulStatusCode,
                            LPCWSTR szStatusText) override;
    STDMETHODIMP OnStopBinding(HRESULT hresult, LPCWSTR szError) override;
    STDMETHODIMP GetBindInfo(DWORD* grfBINDF, BINDINFO* pbindinfo) override;
    STDMETHODIMP OnDataAvailable(DWORD grfBSCF, DWORD dwSize, FORMATETC* pformatetc,
                                 STGMEDIUM* pstgmed) override;
    STDMETHODIMP OnObjectAvailable(REFIID riid, IUnknown* punk) override;

    // IServiceProvider
    STDMETHODIMP QueryService(REFGUID guidService, REFIID riid, void** ppv) override;

    // IAuthenticate
    STDMETHODIMP Authenticate(HWND* phwnd, LPWSTR* pszUsername, LPWSTR* pszPassword) override;

private:
    BindListener* listener_;
    std::wstring user_, password_;
    int step_ = -1;  // the last step reported, in tenths of the download
};

}  // namespace gnviewer
