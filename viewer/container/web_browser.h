// The browser application object (IWebBrowser2), reached by a document through
// IServiceProvider::QueryService(SID_SWebBrowserApp) on the site, or on the
// object itself. Its property bag works: PutProperty keeps a copy of the value
// (references included) until the name is put again or the bag is cleared,
// GetProperty hands out a copy. Status text and navigation go to the host;
// the window-shape properties answer E_NOTIMPL.
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <servprov.h>

#include <map>
#include <string>

#include "frame/object.h"
#include "viewer/container/host.h"

namespace gncontainer {

class WebBrowser final
    : public gn::implements<WebBrowser, gn::no_lock, IWebBrowser2, gn::alias<IDispatch, IWebBrowser2>,
                            gn::alias<IWebBrowser, IWebBrowser2>, gn::alias<IWebBrowserApp, IWebBrowser2>,
                            IServiceProvider> {
public:
    explicit WebBrowser(Host* host) : host_(host) {}  // host may be null

    // Stops calling the host; the object may live on in a document's hands.
    void detach() { host_ = nullptr; }
    // Drops every stored value and the references they hold.
    void clear_properties();
    // The stored value of a property (VT_EMPTY when absent).
    const VARIANT* property(const std::wstring& name) const;
    // Busy while a document is being opened.
    void set_busy(bool busy) { busy_ = busy; }

    // IServiceProvider: the browser application service is this object.
    STDMETHODIMP QueryService(REFGUID service, REFIID riid, void** ppv) override;
    // IDispatch: no type information; callers use the vtable.
    STDMETHODIMP GetTypeInfoCount(UINT* n) override { if (n) *n = 0; return n ? S_OK : E_POINTER; }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    // IWebBrowser
    STDMETHODIMP GoBack() override { return E_NOTIMPL; }
    STDMETHODIMP GoForward() override { return E_NOTIMPL; }
    STDMETHODIMP GoHome() override { return E_NOTIMPL; }
    STDMETHODIMP GoSearch() override { return E_NOTIMPL; }
    STDMETHODIMP Navigate(BSTR URL, VARIANT* Flags, VARIANT* TargetFrameName, VARIANT* PostData,
                          VARIANT* Headers) override;
    STDMETHODIMP Refresh() override { return E_NOTIMPL; }
    STDMETHODIMP Refresh2(VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP Stop() override { return S_OK; }
    STDMETHODIMP get_Application(IDispatch** pp) override;
    STDMETHODIMP get_Parent(IDispatch** pp) override { return get_Application(pp); }
    STDMETHODIMP get_Container(IDispatch** pp) override { if (pp) *pp = nullptr; return pp ? S_OK : E_POINTER; }
    STDMETHODIMP get_Document(IDispatch** pp) override { if (pp) *pp = nullptr; return pp ? S_OK : E_POINTER; }
    STDMETHODIMP get_TopLevelContainer(VARIANT_BOOL* p) override { return put_bool(p, true); }
    STDMETHODIMP get_Type(BSTR* p) override { return put_text(p, L"QuorQuery Document"); }
    STDMETHODIMP get_Left(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Left(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_Top(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Top(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_Width(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Width(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_Height(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP put_Height(LONG) override { return E_NOTIMPL; }
    STDMETHODIMP get_LocationName(BSTR* p) override { return get_LocationURL(p); }
    STDMETHODIMP get_LocationURL(BSTR* p) override {
        return put_text(p, host_ ? host_->location().c_str() : L"");
    }
    STDMETHODIMP get_Busy(VARIANT_BOOL* p) override { return put_bool(p, busy_); }
    // IWebBrowserApp
    STDMETHODIMP Quit() override { if (host_) host_->quit(); return S_OK; }
    STDMETHODIMP ClientToWindow(int*, int*) override { return E_NOTIMPL; }
    STDMETHODIMP PutProperty(BSTR Property, VARIANT vtValue) override;
    STDMETHODIMP GetProperty(BSTR Property, VARIANT* pvtValue) override;
    STDMETHODIMP get_Name(BSTR* p) override { return put_text(p, L"GN Viewer"); }
    STDMETHODIMP get_HWND(SHANDLE_PTR* p) override;
    STDMETHODIMP get_FullName(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP get_Path(BSTR*) override { return E_NOTIMPL; }
    STDMETHODIMP get_Visible(VARIANT_BOOL* p) override { return put_bool(p, true); }
    STDMETHODIMP put_Visible(VARIANT_BOOL) override { return S_OK; }
    STDMETHODIMP get_StatusBar(VARIANT_BOOL* p) override { return put_bool(p, true); }
    STDMETHODIMP put_StatusBar(VARIANT_BOOL) override { return S_OK; }
    STDMETHODIMP get_StatusText(BSTR* p) override { return put_text(p, status_.c_str()); }
    STDMETHODIMP put_StatusText(BSTR StatusText) override;
    STDMETHODIMP get_ToolBar(int*) override { return E_NOTIMPL; }
    STDMETHODIMP put_ToolBar(int) override { return E_NOTIMPL; }
    STDMETHODIMP get_MenuBar(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP put_MenuBar(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP get_FullScreen(VARIANT_BOOL*) override { return E_NOTIMPL; }
    STDMETHODIMP put_FullScreen(VARIANT_BOOL) override { return E_NOTIMPL; }
    // IWebBrowser2
    STDMETHODIMP Navigate2(VARIANT* URL, VARIANT* Flags, VARIANT* TargetFrameName, VARIANT* PostData,
                           VARIANT* Headers) override;
    STDMETHODIMP QueryStatusWB(OLECMDID, OLECMDF*) override { return E_NOTIMPL; }
    STDMETHODIMP ExecWB(OLECMDID, OLECMDEXECOPT, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP ShowBrowserBar(VARIANT*, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP get_ReadyState(READYSTATE* p) override;
    STDMETHODIMP get_Offline(VARIANT_BOOL* p) override { return put_bool(p, false); }
    STDMETHODIMP put_Offline(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP get_Silent(VARIANT_BOOL* p) override { return put_bool(p, true); }
    STDMETHODIMP put_Silent(VARIANT_BOOL) override { return S_OK; }
    STDMETHODIMP get_RegisterAsBrowser(VARIANT_BOOL* p) override { return put_bool(p, false); }
    STDMETHODIMP put_RegisterAsBrowser(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP get_RegisterAsDropTarget(VARIANT_BOOL* p) override { return put_bool(p, false); }
    STDMETHODIMP put_RegisterAsDropTarget(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP get_TheaterMode(VARIANT_BOOL* p) override { return put_bool(p, false); }
    STDMETHODIMP put_TheaterMode(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP get_AddressBar(VARIANT_BOOL* p) override { return put_bool(p, false); }
    STDMETHODIMP put_AddressBar(VARIANT_BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP get_Resizable(VARIANT_BOOL* p) override { return put_bool(p, true); }
    STDMETHODIMP put_Resizable(VARIANT_BOOL) override { return E_NOTIMPL; }

private:
    ~WebBrowser() override { clear_properties(); }
    static HRESULT put_bool(VARIANT_BOOL* p, bool v) {
        if (!p) return E_POINTER;
        *p = v ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    static HRESULT put_text(BSTR* p, const wchar_t* text);

    Host* host_;
    bool busy_ = false;
    std::wstring status_;
    std::map<std::wstring, VARIANT> properties_;
};

// {0002DF05-0000-0000-C000-000000000046} the browser application service.
constexpr GUID kSidWebBrowserApp = {0x0002DF05, 0x0000, 0x0000,
                                    {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

}  // namespace gncontainer
