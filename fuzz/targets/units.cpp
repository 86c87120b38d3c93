// Pixel and HIMETRIC conversion at any size and resolution a control or a
// screen may report.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "host/units_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    long value = 0;
    int dpi = 0;
    if (size < sizeof value + sizeof dpi) return 0;
    std::memcpy(&value, data, sizeof value);
    std::memcpy(&dpi, data + sizeof value, sizeof dpi);
    // The module's long is 32 bits wide; natively it may be wider: try both.
    const long narrow = static_cast<long>(static_cast<std::int32_t>(value));
    for (long v : {value, narrow}) {
        (void)gn::pixels_to_himetric(v, dpi);
        (void)gn::himetric_to_pixels(v, dpi);
    }
    return 0;
}
