#include "host/frame_window.h"

#include "frame/window.h"

namespace gn {
namespace {

// The windows of both window objects: never shown, every message to the
// system's default procedure.
constexpr char kWindowClass[] = "GNLauncher.AxWinFrame";
module_window_class<char> g_window_class(kWindowClass, DefWindowProcA);

}  // namespace

HRESULT window_object_state::get_window(HWND* phwnd) noexcept {
    RETURN_HR_IF(E_POINTER, !phwnd);
    if (!window_) {
        g_window_class.ensure();
        window_.reset(CreateWindowExA(0, kWindowClass, title_, WS_OVERLAPPEDWINDOW, x_, y_,
                                      width_, height_, nullptr, nullptr,
                                      _Module.module_instance(), nullptr));
    }
    *phwnd = window_.get();  // null when creation failed; the next call tries again
    return S_OK;
}

HRESULT window_object_state::set_active_object(IOleInPlaceActiveObject* object) noexcept {
    active_object_.assign(object);
    return S_OK;
}

// ---------------------------------------------------------------------------

FrameWindow::FrameWindow() noexcept
    : window_object_state("AXWIN Frame Window", CW_USEDEFAULT, 0, CW_USEDEFAULT, 0) {}

UIWindow::UIWindow() noexcept
    : window_object_state("AXWIN UI Window", CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                          CW_USEDEFAULT) {}

HRESULT create_frame_window(IOleInPlaceFrame** ppFrame) noexcept {
    return create_instance<FrameWindow>(nullptr, IID_IOleInPlaceFrame,
                                        reinterpret_cast<void**>(ppFrame));
}

HRESULT create_ui_window(IOleInPlaceUIWindow** ppWindow) noexcept {
    return create_instance<UIWindow>(nullptr, IID_IOleInPlaceUIWindow,
                                     reinterpret_cast<void**>(ppWindow));
}

// ---------------------------------------------------------------------------

HRESULT create_container_enum(IUnknown* owner, IUnknown* element, IEnumUnknown** ppEnum) noexcept {
    return create_instance<ContainerEnum>(nullptr, IID_IEnumUnknown,
                                          reinterpret_cast<void**>(ppEnum), owner, element,
                                          ULONG{0});
}

STDMETHODIMP ContainerEnum::Next(ULONG celt, IUnknown** rgelt, ULONG* pceltFetched) {
    if (pceltFetched) *pceltFetched = 0;
    RETURN_HR_IF(E_POINTER, !rgelt || (celt > 1 && !pceltFetched));
    ULONG fetched = 0;
    while (fetched < celt && position_ < kCount) {
        IUnknown* element = element_.get();
        if (element) element->AddRef();
        rgelt[fetched++] = element;
        ++position_;
    }
    if (pceltFetched) *pceltFetched = fetched;
    return fetched == celt ? S_OK : S_FALSE;
}

STDMETHODIMP ContainerEnum::Skip(ULONG celt) {
    if (celt > kCount - position_) {
        position_ = kCount;
        return S_FALSE;
    }
    position_ += celt;
    return S_OK;
}

STDMETHODIMP ContainerEnum::Reset() {
    position_ = 0;
    return S_OK;
}

STDMETHODIMP ContainerEnum::Clone(IEnumUnknown** ppenum) {
    RETURN_HR_IF(E_POINTER, !ppenum);
    return create_instance<ContainerEnum>(nullptr, IID_IEnumUnknown,
                                          reinterpret_cast<void**>(ppenum), owner_.get(),
                                          element_.get(), position_);
}

}  // namespace gn
