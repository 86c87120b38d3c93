// What both reference controls share: a windowed control that activates in
// place in its container, shows a text in its window, records every container
// call and leaves its site on Close.
//
// ControlBase<Extra...> is the object base of a control: the interfaces every
// control answers, followed by the control's own (Extra). Its members are
// instantiated in control_base.cpp for the two controls' lists.
#pragma once

#include "clients/clients.h"

#include <ocidl.h>

#include <string>

namespace clients {

template <class... Extra>
class ControlBase
    : public gn::implements<ControlBase<Extra...>, gn::aggregatable, IOleObject, IOleInPlaceObject,
                            gn::alias<IOleWindow, IOleInPlaceObject>, IOleInPlaceActiveObject,
                            IPersistStreamInit, Extra...> {
public:
    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* pClientSite) override;
    STDMETHODIMP GetClientSite(IOleClientSite** ppClientSite) override;
    STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override;
    STDMETHODIMP Close(DWORD dwSaveOption) override;
    STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    STDMETHODIMP DoVerb(LONG iVerb, LPMSG lpmsg, IOleClientSite* pActiveSite, LONG lindex,
                        HWND hwndParent, LPCRECT lprcPosRect) override;
    STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override { return OLEOBJ_E_NOVERBS; }
    STDMETHODIMP Update() override { return S_OK; }
    STDMETHODIMP IsUpToDate() override { return S_OK; }
    STDMETHODIMP GetUserClassID(CLSID* pClsid) override;
    STDMETHODIMP GetUserType(DWORD, LPOLESTR*) override { return OLE_S_USEREG; }
    STDMETHODIMP SetExtent(DWORD dwDrawAspect, SIZEL* psizel) override;
    STDMETHODIMP GetExtent(DWORD dwDrawAspect, SIZEL* psizel) override;
    STDMETHODIMP Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP Unadvise(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
    STDMETHODIMP GetMiscStatus(DWORD, DWORD* pdwStatus) override;
    STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // IOleWindow
    STDMETHODIMP GetWindow(HWND* phwnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    // IOleInPlaceObject
    STDMETHODIMP InPlaceDeactivate() override;
    STDMETHODIMP UIDeactivate() override;
    STDMETHODIMP SetObjectRects(LPCRECT lprcPosRect, LPCRECT lprcClipRect) override;
    STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }
    // IOleInPlaceActiveObject
    STDMETHODIMP TranslateAccelerator(LPMSG lpmsg) override;
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    // IPersistStreamInit
    STDMETHODIMP GetClassID(CLSID* pClassID) override;
    STDMETHODIMP IsDirty() override { return S_FALSE; }
    STDMETHODIMP Load(IStream*) override { return S_OK; }
    STDMETHODIMP Save(IStream*, BOOL) override { return S_OK; }
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP InitNew() override;

protected:
    ControlBase(const char* name, const CLSID& clsid) noexcept : name_(name), clsid_(clsid) {}
    ~ControlBase() override;

    void record(const std::wstring& text) const noexcept { record_call(name_, text); }
    // The document URL as the container offers it (SRC through the site's
    // dispatch interface); empty with the failure recorded when unavailable.
    std::wstring read_src() noexcept;
    // Shows text in the control's window (kept for a window made later).
    void show(const std::wstring& text) noexcept;
    IOleClientSite* site() const noexcept { return site_.get(); }
    HWND window() const noexcept { return window_; }

    // Runs once, after the first in-place activation made the window.
    virtual void on_activated() noexcept = 0;
    // Runs on Close, before the site is let go.
    virtual void on_close() noexcept {}
    // Messages of the window beyond painting; handled = true consumes them.
    virtual LRESULT on_window_message(UINT, WPARAM, LPARAM, bool& handled) noexcept {
        handled = false;
        return 0;
    }

private:
    HRESULT activate_in_place(const gn::com_ptr<IOleClientSite>& site, HWND parent, LPCRECT pos,
                              bool ui) noexcept;
    static LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    IUnknown* identity() noexcept { return static_cast<IOleObject*>(this); }

    const char* name_;
    const CLSID& clsid_;
    gn::com_ptr<IOleClientSite> site_;
    gn::com_ptr<IOleInPlaceSite> in_place_site_;
    HWND window_ = nullptr;
    HFONT font_ = nullptr;
    SIZEL extent_{5080, 5080};
    bool in_place_ = false;
    bool ui_active_ = false;
    bool activated_once_ = false;
    std::wstring text_;
};

}  // namespace clients
