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

// (value * factor + add) / divisor, clamped to long; where long is as wide as
// long long the product itself may not fit, and is clamped by its sign.
long scaled(long value, long long factor, long long add, long long divisor) noexcept {
    long long product = 0;
    if (__builtin_mul_overflow(static_cast<long long>(value), factor, &product) ||
        __builtin_add_overflow(product, add, &product))
        return value < 0 ? LONG_MIN : LONG_MAX;
    return clamp_long(product / divisor);
}

}  // namespace

long pixels_to_himetric(long pixels, int dpi) noexcept {
    const long long res = usable_dpi(dpi);
    return scaled(pixels, 2540, res / 2, res);
}

long himetric_to_pixels(long himetric, int dpi) noexcept {
    const long long res = usable_dpi(dpi);
    return scaled(himetric, res, 1270, 2540);
}

}  // namespace gn
