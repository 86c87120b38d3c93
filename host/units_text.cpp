#include "host/units_text.h"

#include <climits>

namespace gn {
namespace {

// Wide intermediates keep sizes near the 32-bit limits from overflowing;
// results outside the range of long are clamped.
long clamp_long(long long v) noexcept {
    if (v > LONG_MAX) return LONG_MAX;
    if (v < LONG_MIN) return LONG_MIN;
    return static_cast<long>(v);
}

long long usable_dpi(int dpi) noexcept { return dpi > 0 ? dpi : 96; }

}  // namespace

long pixels_to_himetric(long pixels, int dpi) noexcept {
    const long long res = usable_dpi(dpi);
    return clamp_long((static_cast<long long>(pixels) * 2540 + res / 2) / res);
}

long himetric_to_pixels(long himetric, int dpi) noexcept {
    const long long res = usable_dpi(dpi);
    return clamp_long((static_cast<long long>(himetric) * res + 1270) / 2540);
}

}  // namespace gn
