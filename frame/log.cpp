#include "frame/log.h"

#include <io.h>

#include <cstdlib>
#include <cstring>
#include <ctime>

namespace gn {

const char* choose_log_path(bool local_writable, const char* env) noexcept {
    if (local_writable) return ".\\quor_launcher.log";
    return env;
}

bool log_needs_newline(const char* format) noexcept {
    const size_t n = format ? std::strlen(format) : 0;
    return n == 0 || format[n - 1] != '\n';
}

void format_log_time(time_t t, char (&out)[32]) noexcept {
    // The asctime layout ("Wed Jun 30 21:49:08 1993"), day of month padded with
    // a blank; the runtime's own ctime pads it with a zero.
    static const char days[] = "SunMonTueWedThuFriSat";
    static const char months[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    const tm* lt = std::localtime(&t);
    if (!lt) {
        std::snprintf(out, sizeof out, "%-24s", "?");
        return;
    }
    std::snprintf(out, sizeof out, "%.3s %.3s %2d %02d:%02d:%02d %4d", days + 3 * (lt->tm_wday % 7),
                  months + 3 * (lt->tm_mon % 12), lt->tm_mday, lt->tm_hour, lt->tm_min,
                  lt->tm_sec, lt->tm_year + 1900);
}

}  // namespace gn

DiagnosticLog::DiagnosticLog() noexcept { InitializeCriticalSection(&lock_); }

DiagnosticLog::~DiagnosticLog() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
    DeleteCriticalSection(&lock_);
}

void DiagnosticLog::Open() noexcept {
    const bool local = _access(".\\quor_launcher.log", 2) == 0;
    const char* path = gn::choose_log_path(local, std::getenv("GNLAUNCHERLOG"));
    if (!path) return;
    file_ = std::fopen(path, "a");
}

void DiagnosticLog::Close() noexcept {
    EnterCriticalSection(&lock_);
    FILE* f = file_;
    file_ = nullptr;
    LeaveCriticalSection(&lock_);
    if (f) std::fclose(f);
}

void DiagnosticLog::Print(const char* format, ...) noexcept {
    va_list args;
    va_start(args, format);
    WriteLine(format, args);
    va_end(args);
}

void DiagnosticLog::WriteLine(const char* format, va_list args) noexcept {
    if (!file_) return;
    EnterCriticalSection(&lock_);
    const time_t now = std::time(nullptr);
    const bool newline = gn::log_needs_newline(format);
    if (FILE* f = file_) {
        char stamp[32];
        gn::format_log_time(now, stamp);
        std::fprintf(f, "%.24s  ", stamp);
        if (format) std::vfprintf(f, format, args);
        if (newline) std::fputc('\n', f);
        std::fflush(f);
    }
    LeaveCriticalSection(&lock_);
}

void LogPrint(int, const char* format, ...) noexcept {
    if (!g_log.IsOpen()) return;
    va_list args;
    va_start(args, format);
    g_log.WriteLine(format, args);
    va_end(args);
}

bool IsLogOpen() noexcept { return g_log.IsOpen(); }
