// A browser application object for tests: stores PutProperty values so that
// GetProperty returns them (or answers E_NOTIMPL, like a browser without a
// property bag), records navigations, serves itself as the browser
// application service, and answers nothing else. Made with new; the maker
// holds the first reference.
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <servprov.h>

#include <map>
#include <string>
#include <vector>

#include "frame/com.h"

namespace gntest {

class FakeWebBrowser final : public IWebBrowser2, public IServiceProvider {
public:
    FakeWebBrowser() = default;
    FakeWebBrowser(const FakeWebBrowser&) = delete;
    FakeWebBrowser& operator=(const FakeWebBrowser&) = delete;

    // Behaviour knobs.
    bool property_bag = true;         // false: PutProperty/GetProperty answer E_NOTIMPL
    HRESULT launcher_property_result = S_OK;  // what PutProperty("MorvaneLauncher") returns
    HWND window = nullptr;            // answered by get_HWND
    std::wstring location;            // answered by get_LocationURL

    // What happened.
    struct Navigation {
        std::wstring url;
        VARTYPE flags_type;
        std::wstring target;
    };
    std::vector<Navigation> navigations;
    std::vector<std::wstring> put_names;  // every PutProperty name, in order

    // The stored value of a property (VT_EMPTY when absent).
    const VARIANT* property(const std::wstring& name) const;
    // Drops every stored value (releases the references they hold).
    void clear_properties();

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    ULONG refs() const { return refs_; }
    // IServiceProvider: answers the browser application service with itself,
    // as a container does for the controls it hosts.
    STDMETHODIMP QueryService(REFGUID service, REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) Release() override;
    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* n) override { if (n) *n = 0; return S_OK; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    STDMETHODIMP Navigate(BSTR URL, VARIANT* Flags, VARIANT* TargetFrameName, VARIANT* PostData,
                          VARIANT* Headers) override;
    STDMETHODIMP Navigate2(VARIANT* URL, VARIANT* Flags, VARIANT* TargetFrameName,
                           VARIANT* PostData, VARIANT* Headers) override;
    STDMETHODIMP PutProperty(BSTR Property, VARIANT vtValue) override;
    STDMETHODIMP GetProperty(BSTR Property, VARIANT* pvtValue) override;
    STDMETHODIMP get_HWND(SHANDLE_PTR* pHWND) override;
    STDMETHODIMP get_LocationURL(BSTR* LocationURL) override;

    STDMETHODIMP GoBack() override { return E_NOTIMPL; }
    STDMETHODIMP GoForward() override { return E_NOTIMPL; }
    STDMETHODIMP GoHome() override { return E_NOTIMPL; }
    STDMETHODIMP GoSearch() override { return E_NOTIMPL; }
    STDMETHODIMP Refresh() override { return E_NOTIMPL; }
    STDMETHODIMP Refresh2(VARIANT *Level) override { return E_NOTIMPL; }
    STDMETHODIMP Stop() override { return E_NOTIMPL; }
    STDMETHODIMP get_Application(IDispatch **ppDisp) override { return E_NOTIMPL; }
    STDMETHODIMP get_Parent(IDispatch **ppDisp) override { return E_NOTIMPL; }
    STDMETHODIMP get_Container(IDispatch **ppDisp) override { return E_NOTIMPL; }
    STDMETHODIMP get_Document(IDispatch **ppDisp) override { return E_NOTIMPL; }
    STDMETHODIMP get_TopLevelContainer(VARIANT_BOOL *pBool) override { return E_NOTIMPL; }
    STDMETHODIMP get_Type(BSTR *Type) override { return E_NOTIMPL; }
    STDMETHODIMP get_Left(LONG *pl) override { return E_NOTIMPL; }
    STDMETHODIMP put_Left(LONG Left) override { return E_NOTIMPL; }
    STDMETHODIMP get_Top(LONG *pl) override { return E_NOTIMPL; }
    STDMETHODIMP put_Top(LONG Top) override { return E_NOTIMPL; }
    STDMETHODIMP get_Width(LONG *pl) override { return E_NOTIMPL; }
    STDMETHODIMP put_Width(LONG Width) override { return E_NOTIMPL; }
    STDMETHODIMP get_Height(LONG *pl) override { return E_NOTIMPL; }
    STDMETHODIMP put_Height(LONG Height) override { return E_NOTIMPL; }
    STDMETHODIMP get_LocationName(BSTR *LocationName) override { return E_NOTIMPL; }
    STDMETHODIMP get_Busy(VARIANT_BOOL *pBool) override { return E_NOTIMPL; }
    STDMETHODIMP Quit() override { return E_NOTIMPL; }
    STDMETHODIMP ClientToWindow(int *pcx, int *pcy) override { return E_NOTIMPL; }
    STDMETHODIMP get_Name(BSTR *Name) override { return E_NOTIMPL; }
    STDMETHODIMP get_FullName(BSTR *FullName) override { return E_NOTIMPL; }
    STDMETHODIMP get_Path(BSTR *Path) override { return E_NOTIMPL; }
    STDMETHODIMP get_Visible(VARIANT_BOOL *pBool) override { return E_NOTIMPL; }
    STDMETHODIMP put_Visible(VARIANT_BOOL Value) override { return E_NOTIMPL; }
    STDMETHODIMP get_StatusBar(VARIANT_BOOL *pBool) override { return E_NOTIMPL; }
    STDMETHODIMP put_StatusBar(VARIANT_BOOL Value) override { return E_NOTIMPL; }
    STDMETHODIMP get_StatusText(BSTR *StatusText) override { return E_NOTIMPL; }
    STDMETHODIMP put_StatusText(BSTR StatusText) override { return E_NOTIMPL; }
    STDMETHODIMP get_ToolBar(int *Value) override { return E_NOTIMPL; }
    STDMETHODIMP put_ToolBar(int Value) override { return E_NOTIMPL; }
    STDMETHODIMP get_MenuBar(VARIANT_BOOL *Value) override { return E_NOTIMPL; }
    STDMETHODIMP put_MenuBar(VARIANT_BOOL Value) override { return E_NOTIMPL; }
    STDMETHODIMP get_FullScreen(VARIANT_BOOL *pbFullScreen) override { return E_NOTIMPL; }
    STDMETHODIMP put_FullScreen(VARIANT_BOOL bFullScreen) override { return E_NOTIMPL; }
    STDMETHODIMP QueryStatusWB(OLECMDID cmdID, OLECMDF *pcmdf) override { return E_NOTIMPL; }
    STDMETHODIMP ExecWB(OLECMDID cmdID, OLECMDEXECOPT cmdexecopt, VARIANT *pvaIn, VARIANT *pvaOut) override { return E_NOTIMPL; }
    STDMETHODIMP ShowBrowserBar(VARIANT *pvaClsid, VARIANT *pvarShow, VARIANT *pvarSize) override { return E_NOTIMPL; }
    STDMETHODIMP get_ReadyState(READYSTATE *plReadyState) override { return E_NOTIMPL; }
    STDMETHODIMP get_Offline(VARIANT_BOOL *pbOffline) override { return E_NOTIMPL; }
    STDMETHODIMP put_Offline(VARIANT_BOOL bOffline) override { return E_NOTIMPL; }
    STDMETHODIMP get_Silent(VARIANT_BOOL *pbSilent) override { return E_NOTIMPL; }
    STDMETHODIMP put_Silent(VARIANT_BOOL bSilent) override { return E_NOTIMPL; }
    STDMETHODIMP get_RegisterAsBrowser(VARIANT_BOOL *pbRegister) override { return E_NOTIMPL; }
    STDMETHODIMP put_RegisterAsBrowser(VARIANT_BOOL bRegister) override { return E_NOTIMPL; }
    STDMETHODIMP get_RegisterAsDropTarget(VARIANT_BOOL *pbRegister) override { return E_NOTIMPL; }
    STDMETHODIMP put_RegisterAsDropTarget(VARIANT_BOOL bRegister) override { return E_NOTIMPL; }
    STDMETHODIMP get_TheaterMode(VARIANT_BOOL *pbRegister) override { return E_NOTIMPL; }
    STDMETHODIMP put_TheaterMode(VARIANT_BOOL bRegister) override { return E_NOTIMPL; }
    STDMETHODIMP get_AddressBar(VARIANT_BOOL *Value) override { return E_NOTIMPL; }
    STDMETHODIMP put_AddressBar(VARIANT_BOOL Value) override { return E_NOTIMPL; }
    STDMETHODIMP get_Resizable(VARIANT_BOOL *Value) override { return E_NOTIMPL; }
    STDMETHODIMP put_Resizable(VARIANT_BOOL Value) override { return E_NOTIMPL; }

private:
    ~FakeWebBrowser();
    ULONG refs_ = 1;
    std::map<std::wstring, VARIANT> properties_;
};

}  // namespace gntest
