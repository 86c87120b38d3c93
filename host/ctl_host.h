// CtlHost6x: creates a client control by its class identifier and hosts it in
// place inside a window the caller owns. It is the control's whole container:
// client site, in-place site, control site, container and service provider,
// and it offers the document URL as the read-only dispatch property SRC.
//
//   ctl_host.cpp     creation, ICtlHost6x, IServiceProvider, IOleClientSite,
//                    release-all and lifetime
//   host_window.cpp  the taken-over window's messages, in-place site,
//                    control site and container
//   frame_window.cpp the frame and UI window objects and the container enumerator
#pragma once

#include "frame/com.h"
#include "frame/dispatch.h"
#include "frame/interfaces.h"
#include "frame/object.h"
#include "frame/window.h"

#include <ocidl.h>
#include <servprov.h>

namespace gn {
extern typeinfo_cache ctl_host_typeinfo;
}

// Creates a control host with no outer object; the caller holds the one
// reference (IUnknown) and asks it for ICtlHost6x.
HRESULT CreateCtlHost6x(IUnknown** ppUnk);

class CtlHost6x final
    : public gn::implements<CtlHost6x, gn::aggregatable,
                            gn::dispatch_impl<ICtlHost6x, gn::ctl_host_typeinfo>,
                            gn::alias<IDispatch, ICtlHost6x>,
                            IOleClientSite,
                            IOleInPlaceSiteWindowless,
                            gn::alias<IOleInPlaceSiteEx, IOleInPlaceSiteWindowless>,
                            gn::alias<IOleInPlaceSite, IOleInPlaceSiteWindowless>,
                            gn::alias<IOleWindow, IOleInPlaceSiteWindowless>,
                            IOleControlSite,
                            IOleContainer,
                            IServiceProvider>,
      public gn::window_impl<CtlHost6x> {
public:
    CtlHost6x() noexcept = default;
    ~CtlHost6x() override;

    // Every interface's QueryInterface asks the controlling unknown first and
    // then, when aggregated and refused there, the host's own list.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;

    // Creates a host (plain or aggregated by outer) and asks it for riid.
    static HRESULT create(IUnknown* outer, REFIID riid, void** ppv);

    // ICtlHost6x
    STDMETHODIMP get_SRC(VARIANT* pSrc) override;
    STDMETHODIMP CreateControl6x(BSTR lpCLSID, BSTR lpURL, LONG hWnd, IUnknown* pServiceProvider,
                                 IUnknown** ppUnk) override;

    // IServiceProvider
    STDMETHODIMP QueryService(REFGUID guidService, REFIID riid, void** ppv) override;

    // IOleClientSite
    STDMETHODIMP SaveObject() override;
    STDMETHODIMP GetMoniker(DWORD dwAssign, DWORD dwWhichMoniker, IMoniker** ppmk) override;
    STDMETHODIMP GetContainer(IOleContainer** ppContainer) override;
    STDMETHODIMP ShowObject() override;
    STDMETHODIMP OnShowWindow(BOOL fShow) override;
    STDMETHODIMP RequestNewObjectLayout() override;

    // IOleWindow / IOleInPlaceSite / IOleInPlaceSiteEx / IOleInPlaceSiteWindowless
    STDMETHODIMP GetWindow(HWND* phwnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL fEnterMode) override;
    STDMETHODIMP CanInPlaceActivate() override;
    STDMETHODIMP OnInPlaceActivate() override;
    STDMETHODIMP OnUIActivate() override;
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc,
                                  LPRECT lprcPosRect, LPRECT lprcClipRect,
                                  LPOLEINPLACEFRAMEINFO lpFrameInfo) override;
    STDMETHODIMP Scroll(SIZE scrollExtant) override;
    STDMETHODIMP OnUIDeactivate(BOOL fUndoable) override;
    STDMETHODIMP OnInPlaceDeactivate() override;
    STDMETHODIMP DiscardUndoState() override;
    STDMETHODIMP DeactivateAndUndo() override;
    STDMETHODIMP OnPosRectChange(LPCRECT lprcPosRect) override;
    STDMETHODIMP OnInPlaceActivateEx(BOOL* pfNoRedraw, DWORD dwFlags) override;
    STDMETHODIMP OnInPlaceDeactivateEx(BOOL fNoRedraw) override;
    STDMETHODIMP RequestUIActivate() override;
    STDMETHODIMP CanWindowlessActivate() override;
    STDMETHODIMP GetCapture() override;
    STDMETHODIMP SetCapture(BOOL fCapture) override;
    STDMETHODIMP GetFocus() override;
    STDMETHODIMP SetFocus(BOOL fFocus) override;
    STDMETHODIMP GetDC(LPCRECT pRect, DWORD grfFlags, HDC* phDC) override;
    STDMETHODIMP ReleaseDC(HDC hDC) override;
    STDMETHODIMP InvalidateRect(LPCRECT pRect, BOOL fErase) override;
    STDMETHODIMP InvalidateRgn(HRGN hRGN, BOOL fErase) override;
    STDMETHODIMP ScrollRect(INT dx, INT dy, LPCRECT pRectScroll, LPCRECT pRectClip) override;
    STDMETHODIMP AdjustRect(LPRECT prc) override;
    STDMETHODIMP OnDefWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam,
                                    LRESULT* plResult) override;

    // IOleControlSite
    STDMETHODIMP OnControlInfoChanged() override;
    STDMETHODIMP LockInPlaceActive(BOOL fLock) override;
    STDMETHODIMP GetExtendedControl(IDispatch** ppDisp) override;
    STDMETHODIMP TransformCoords(POINTL* pPtlHimetric, POINTF* pPtfContainer,
                                 DWORD dwFlags) override;
    STDMETHODIMP TranslateAccelerator(MSG* pMsg, DWORD grfModifiers) override;
    STDMETHODIMP OnFocus(BOOL fGotFocus) override;
    STDMETHODIMP ShowPropertyFrame() override;

    // IParseDisplayName / IOleContainer
    STDMETHODIMP ParseDisplayName(IBindCtx* pbc, LPOLESTR pszDisplayName, ULONG* pchEaten,
                                  IMoniker** ppmkOut) override;
    STDMETHODIMP EnumObjects(DWORD grfFlags, IEnumUnknown** ppenum) override;
    STDMETHODIMP LockContainer(BOOL fLock) override;

    // The taken-over window (window_impl).
    static const char* window_property() { return "GN.CtlHost6x"; }
    LRESULT on_message(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
    void on_final_message();

private:
    HRESULT create_and_activate(BSTR lpCLSID, LONG hWnd, IUnknown* pServiceProvider,
                                IUnknown** ppUnk);
    void release_all() noexcept;
    // Redraws the held window and gives it back to its previous procedure.
    void give_window_back() noexcept;
    // Records the in-place activation the control reports.
    void note_in_place_activation() noexcept;

    LRESULT on_size(LPARAM lp) noexcept;
    void on_set_focus() noexcept;
    LRESULT on_forward_msg(LPARAM lp) noexcept;
    // The child window a reflected notification concerns, or null.
    HWND reflection_target(UINT msg, WPARAM wp, LPARAM lp) const noexcept;

    gn::com_ptr<IUnknown> control_;
    gn::com_ptr<IOleObject> ole_object_;
    gn::com_ptr<IOleInPlaceFrame> frame_window_;
    gn::com_ptr<IOleInPlaceUIWindow> ui_window_;
    gn::com_ptr<IOleInPlaceObject> in_place_object_;
    gn::com_ptr<IServiceProvider> service_provider_;
    bool release_all_running_ = false;
    bool in_place_active_ = false;
    bool ui_active_ = false;
    bool mouse_capture_ = false;
    bool running_locked_ = false;      // OleLockRunning taken on the control
    gn::com_ptr<IUnknown> destroy_reference_;  // the reference taken on WM_DESTROY
    bool destroying_ = false;          // the destructor is running
    SIZEL extent_himetric_{0, 0};
    SIZEL extent_pixels_{0, 0};
    RECT pos_rect_{0, 0, 0, 0};
    gn::unique_haccel accelerators_;   // one table per host, handed to the control
    gn::unique_bstr url_;
};
