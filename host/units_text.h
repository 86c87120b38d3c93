// Pixel and HIMETRIC (0.01 mm) conversion at a given screen resolution.
// Pure arithmetic: the caller reads the resolution from the screen.
#pragma once

namespace gn {

// (pixels * 2540 + dpi / 2) / dpi, integer division; a non-positive dpi counts as 96.
long pixels_to_himetric(long pixels, int dpi) noexcept;
// (himetric * dpi + 1270) / 2540, integer division; a non-positive dpi counts as 96.
long himetric_to_pixels(long himetric, int dpi) noexcept;

}  // namespace gn
