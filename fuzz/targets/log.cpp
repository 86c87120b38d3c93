// The log's text rules: file choice from the environment's value, line ends of
// any format, timestamps of any time.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>

#include "frame/log_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size >= sizeof(std::int64_t)) {
        std::int64_t t = 0;
        std::memcpy(&t, data, sizeof t);
        char out[32];
        gn::format_log_time(static_cast<time_t>(t), out);
        // Every time, however far off, gives a line's 24 characters.
        if (std::memchr(out, '\0', sizeof out) == nullptr || std::strlen(out) != 24) __builtin_trap();
    }
    const std::string text(reinterpret_cast<const char*>(data), size);
    (void)gn::log_needs_newline(text.c_str());
    (void)gn::choose_log_path(size % 2 == 0, text.c_str());
    return 0;
}
