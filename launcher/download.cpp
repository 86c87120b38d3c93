// Loading from a URL moniker and downloading into the temporary file.
#include "launcher/launcher.h"

STDMETHODIMP MorvaneLauncher::GetClassID(CLSID* pClassID) {
    RETURN_HR_IF(E_POINTER, !pClassID);
    *pClassID = CLSID_MorvaneLauncher;
    return S_OK;
}
STDMETHODIMP MorvaneLauncher::IsDirty() { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::Load(BOOL, IMoniker*, LPBC, DWORD) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::Save(IMoniker*, LPBC, BOOL) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::SaveCompleted(IMoniker*, LPBC) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::GetCurMoniker(IMoniker**) { return E_NOTIMPL; }

STDMETHODIMP MorvaneLauncher::PutProperty(MONIKERPROPERTY, LPCWSTR) { return E_NOTIMPL; }

STDMETHODIMP MorvaneLauncher::OnStartBinding(DWORD, IBinding*) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::GetPriority(LONG*) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::OnLowResource(DWORD) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::OnProgress(ULONG, ULONG, ULONG, LPCWSTR) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::OnStopBinding(HRESULT, LPCWSTR) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::GetBindInfo(DWORD*, BINDINFO*) { return E_NOTIMPL; }
STDMETHODIMP MorvaneLauncher::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) {
    return E_NOTIMPL;
}
STDMETHODIMP MorvaneLauncher::OnObjectAvailable(REFIID, IUnknown*) { return E_NOTIMPL; }
