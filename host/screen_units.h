// Pixel and HIMETRIC conversion at the screen's resolution, read from the
// screen device context on every call.
#pragma once

#include "host/units_text.h"

#include <windows.h>

namespace gn {

inline SIZEL screen_resolution() noexcept {
    SIZEL dpi{96, 96};
    if (HDC dc = ::GetDC(nullptr)) {
        dpi.cx = GetDeviceCaps(dc, LOGPIXELSX);
        dpi.cy = GetDeviceCaps(dc, LOGPIXELSY);
        ::ReleaseDC(nullptr, dc);
    }
    return dpi;
}

inline SIZEL screen_pixels_to_himetric(SIZEL pixels) noexcept {
    const SIZEL dpi = screen_resolution();
    return SIZEL{pixels_to_himetric(pixels.cx, dpi.cx), pixels_to_himetric(pixels.cy, dpi.cy)};
}

inline SIZEL screen_himetric_to_pixels(SIZEL himetric) noexcept {
    const SIZEL dpi = screen_resolution();
    return SIZEL{himetric_to_pixels(himetric.cx, dpi.cx), himetric_to_pixels(himetric.cy, dpi.cy)};
}

}  // namespace gn
