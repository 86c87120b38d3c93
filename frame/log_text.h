// Pure text rules of the diagnostic log: file choice, line ends, timestamps.
#pragma once

#include <cstddef>
#include <ctime>

namespace gn {
// The path the log would use: ".\quor_launcher.log" when it passes the write
// test, else the value of env (may be null). Returns null for no log.
const char* choose_log_path(bool local_writable, const char* env) noexcept;
// Whether format takes at most one argument, a string ("%s"; "%%" is no conversion).
bool format_takes_one_string(const char* format) noexcept;
// Whether a line written with this format needs a line end appended.
bool log_needs_newline(const char* format) noexcept;
// The 24-character timestamp of a line: "Mon Dec  7 08:05:09 2026", for the
// local time t.
void format_log_time(time_t t, char (&out)[32]) noexcept;
// The same for a broken-down time. A year outside 0 to 9999 reads "time past
// year 9999" or "time before year 0", a null time (one the runtime cannot
// convert) "?", each padded with blanks to the 24 characters.
void format_log_tm(const tm* lt, char (&out)[32]) noexcept;
// One line as the file stores it: the 24 characters of stamp, two blanks, the
// length bytes of message and a line end when newline says so, each "\n" as
// "\r\n" (a text file). Written into out only when it all fits in out_size
// (no terminator is added); the line's length is returned either way.
size_t compose_log_line(const char* stamp, const char* message, size_t length, bool newline, char* out,
                        size_t out_size) noexcept;
}  // namespace gn