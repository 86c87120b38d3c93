// The resolution windows are drawn at. Per-window resolutions and per-thread
// awareness contexts are newer than some systems the module runs on, so they
// are looked up at run time; without them every window has the screen's.
#pragma once

#include "frame/com.h"

#include <windows.h>

namespace gn {

// The resolution (dots per inch) of the screen as the calling thread sees it.
UINT system_dpi() noexcept;

// The resolution window is drawn at: its own where the platform keeps one per
// window, else the screen's.
UINT window_dpi(HWND window) noexcept;

// While it lives, the calling thread creates windows under the DPI awareness
// of another window (its own awareness comes back at the end). Does nothing
// for a null window or where the platform has no per-thread contexts.
class dpi_context_of {
public:
    explicit dpi_context_of(HWND window) noexcept;
    ~dpi_context_of();
    dpi_context_of(const dpi_context_of&) = delete;
    dpi_context_of& operator=(const dpi_context_of&) = delete;

private:
    void* previous_ = nullptr;
};

// The dialog font of the screen (the stock GUI font's face and weight) at dpi.
HFONT create_gui_font(UINT dpi) noexcept;

}  // namespace gn
