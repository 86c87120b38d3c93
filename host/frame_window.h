// The window objects a control host hands to its control as its in-place
// frame and document window, and the enumerator of the host's container.
#pragma once

#include "frame/com.h"
#include "frame/object.h"

#include <ocidl.h>

namespace gn {

// The stand-in in-place frame: never shown, no toolbar space, no menus.
HRESULT create_frame_window(IOleInPlaceFrame** ppFrame) noexcept;
// The stand-in document window: never shown, no toolbar space.
HRESULT create_ui_window(IOleInPlaceUIWindow** ppWindow) noexcept;
// An enumerator over the one-element list holding element (may be null);
// owner (the host) is kept alive while the enumerator lives.
HRESULT create_container_enum(IUnknown* owner, IUnknown* element, IEnumUnknown** ppEnum) noexcept;

// Common state of the two window objects: a window made on the first
// GetWindow and the last object passed to SetActiveObject.
class window_object_state {
protected:
    window_object_state(const char* title, int x, int y, int width, int height) noexcept
        : title_(title), x_(x), y_(y), width_(width), height_(height) {}
    ~window_object_state() = default;
    HRESULT get_window(HWND* phwnd) noexcept;
    HRESULT set_active_object(IOleInPlaceActiveObject* object) noexcept;

private:
    const char* title_;
    int x_, y_, width_, height_;
    unique_hwnd window_;
    com_ptr<IOleInPlaceActiveObject> active_object_;
};

class FrameWindow final
    : public implements<FrameWindow, IOleInPlaceFrame, alias<IOleInPlaceUIWindow, IOleInPlaceFrame>,
                        alias<IOleWindow, IOleInPlaceFrame>>,
      private window_object_state {
public:
    FrameWindow() noexcept;

    // IOleWindow
    STDMETHODIMP GetWindow(HWND* phwnd) override { return get_window(phwnd); }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return S_OK; }
    // IOleInPlaceUIWindow
    STDMETHODIMP GetBorder(LPRECT) override { return S_OK; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* pActiveObject, LPCOLESTR) override {
        return set_active_object(pActiveObject);
    }
    // IOleInPlaceFrame
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return S_OK; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return S_OK; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }
};

class UIWindow final
    : public implements<UIWindow, IOleInPlaceUIWindow, alias<IOleWindow, IOleInPlaceUIWindow>>,
      private window_object_state {
public:
    UIWindow() noexcept;

    // IOleWindow
    STDMETHODIMP GetWindow(HWND* phwnd) override { return get_window(phwnd); }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return S_OK; }
    // IOleInPlaceUIWindow
    STDMETHODIMP GetBorder(LPRECT) override { return S_OK; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* pActiveObject, LPCOLESTR) override {
        return set_active_object(pActiveObject);
    }
};

class ContainerEnum final : public implements<ContainerEnum, IEnumUnknown> {
public:
    ContainerEnum(IUnknown* owner, IUnknown* element, ULONG position) noexcept
        : owner_(owner), element_(element), position_(position) {}

    // IEnumUnknown
    STDMETHODIMP Next(ULONG celt, IUnknown** rgelt, ULONG* pceltFetched) override;
    STDMETHODIMP Skip(ULONG celt) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumUnknown** ppenum) override;

private:
    static constexpr ULONG kCount = 1;  // the list holds the hosted control only
    com_ptr<IUnknown> owner_;
    com_ptr<IUnknown> element_;
    ULONG position_;
};

}  // namespace gn
