#include "host/frame_window.h"

#include "frame/module.h"

namespace gn {
namespace {

constexpr char kWindowClass[] = "GNLauncher.AxWinFrame";

critical_section g_class_lock;
bool g_class_registered = false;

void unregister_window_class(void*) noexcept {
    UnregisterClassA(kWindowClass, _Module.module_instance());
    g_class_registered = false;
}

// The windows of both window objects: never shown, every message to the
// system's default procedure. Registered on first use, removed at unload.
void ensure_window_class() noexcept {
    cs_lock hold(g_class_lock);
    if (g_class_registered) return;
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = _Module.module_instance();
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kWindowClass;
    if (RegisterClassA(&wc) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS) {
        g_class_registered = true;
        _Module.add_term_func(&unregister_window_class, nullptr);
    }
}

}  // namespace

HRESULT window_object_state::get_window(HWND* phwnd) noexcept {
    RETURN_HR_IF(E_POINTER, !phwnd);
    if (!window_) {
        ensure_window_class();
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
