// Pure helpers of the diagnostic log: file choice, line ends, timestamps.
#include "frame/log_text.h"

#include <cstdio>
#include <cstring>

namespace gn {

const char* choose_log_path(bool local_writable, const char* env) noexcept {
    if (local_writable) return ".\\quor_launcher.log";
    return env;
}

bool format_takes_one_string(const char* format) noexcept {
    if (!format) return false;
    int strings = 0;
    for (const char* at = std::strchr(format, '%'); at; at = std::strchr(at + 2, '%')) {
        if (at[1] == '%') continue;
        if (at[1] != 's' || ++strings > 1) return false;
    }
    return true;
}

bool log_needs_newline(const char* format) noexcept {
    const size_t n = format ? std::strlen(format) : 0;
    return n == 0 || format[n - 1] != '\n';
}

void format_log_tm(const tm* lt, char (&out)[32]) noexcept {
    // The asctime layout ("Wed Jun 30 21:49:08 1993"), day of month padded with
    // a blank; the runtime's own ctime pads it with a zero.
    static const char days[] = "SunMonTueWedThuFriSat";
    static const char months[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    if (!lt) {
        std::snprintf(out, sizeof out, "%-24s", "?");
        return;
    }
    // tm_year counts from 1900 and lies near INT_MAX for a time far ahead, so
    // the sum is taken in a wide type; a year wider than the layout's four
    // characters gets a text of the same width rather than a longer line.
    const long long year = static_cast<long long>(lt->tm_year) + 1900;
    if (year < 0 || year > 9999) {
        std::snprintf(out, sizeof out, "%-24s", year < 0 ? "time before year 0" : "time past year 9999");
        return;
    }
    std::snprintf(out, sizeof out, "%.3s %.3s %2d %02d:%02d:%02d %4d", days + 3 * (lt->tm_wday % 7),
                  months + 3 * (lt->tm_mon % 12), lt->tm_mday, lt->tm_hour, lt->tm_min, lt->tm_sec,
                  static_cast<int>(year));
}

void format_log_time(time_t t, char (&out)[32]) noexcept { format_log_tm(std::localtime(&t), out); }
size_t compose_log_line(const char* stamp, const char* message, size_t length, bool newline, char* out,
                        size_t out_size) noexcept {
    size_t stamp_length = 0;
    while (stamp && stamp_length < 24 && stamp[stamp_length]) ++stamp_length;
    if (!message) length = 0;
    size_t need = stamp_length + 2 + length + (newline ? 2 : 0);
    for (size_t i = 0; i < length; ++i) need += message[i] == '\n';
    if (!out || need > out_size) return need;
    char* at = out;
    for (size_t i = 0; i < stamp_length; ++i) *at++ = stamp[i];
    *at++ = ' ';
    *at++ = ' ';
    for (size_t i = 0; i < length; ++i) {
        if (message[i] == '\n') *at++ = '\r';
        *at++ = message[i];
    }
    if (newline) {
        *at++ = '\r';
        *at++ = '\n';
    }
    return need;
}

}  // namespace gn
