#include "launcher/view/screen_dpi.h"

#include "launcher/view/dialog_text.h"

namespace gn {

namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetWindowDpiAwarenessContextFn = void*(WINAPI*)(HWND);
using SetThreadDpiAwarenessContextFn = void*(WINAPI*)(void*);

HMODULE user32() noexcept { return GetModuleHandleA("user32.dll"); }

}  // namespace

UINT system_dpi() noexcept {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<UINT>(dpi) : kDefaultDpi;
}

UINT window_dpi(HWND window) noexcept {
    static const auto get_dpi = proc_address<GetDpiForWindowFn>(user32(), "GetDpiForWindow");
    const UINT dpi = get_dpi && window ? get_dpi(window) : 0;
    return dpi ? dpi : system_dpi();
}

dpi_context_of::dpi_context_of(HWND window) noexcept {
    static const auto get_context =
        proc_address<GetWindowDpiAwarenessContextFn>(user32(), "GetWindowDpiAwarenessContext");
    static const auto set_context =
        proc_address<SetThreadDpiAwarenessContextFn>(user32(), "SetThreadDpiAwarenessContext");
    if (!window || !get_context || !set_context) return;
    if (void* context = get_context(window)) previous_ = set_context(context);
}

dpi_context_of::~dpi_context_of() {
    if (!previous_) return;
    static const auto set_context =
        proc_address<SetThreadDpiAwarenessContextFn>(user32(), "SetThreadDpiAwarenessContext");
    if (set_context) set_context(previous_);
}

HFONT create_gui_font(UINT dpi) noexcept {
    LOGFONTA font{};
    if (!GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font)) return nullptr;
    // The stock font is made for the screen's resolution.
    font.lfHeight = scale_for_dpi(font.lfHeight, dpi, system_dpi());
    font.lfWidth = 0;
    return CreateFontIndirectA(&font);
}

}  // namespace gn
