#include "frame/log.h"

#include <io.h>

#include <cstdlib>
#include <cstring>
#include <ctime>


DiagnosticLog::DiagnosticLog() noexcept = default;

DiagnosticLog::~DiagnosticLog() {
    if (FILE* f = file_.exchange(nullptr)) std::fclose(f);
}

void DiagnosticLog::Open() noexcept {
    const bool local = _access(".\\quor_launcher.log", 2) == 0;
    const char* path = gn::choose_log_path(local, std::getenv("GNLAUNCHERLOG"));
    if (!path) return;
    file_ = std::fopen(path, "a");
}

void DiagnosticLog::Close() noexcept {
    FILE* f;
    {
        gn::cs_lock hold(lock_);  // waits for a line being written
        f = file_.exchange(nullptr);
    }
    if (f) std::fclose(f);
}

void DiagnosticLog::Print(const char* format, ...) noexcept {
    va_list args;
    va_start(args, format);
    WriteLine(format, args);
    va_end(args);
}

void DiagnosticLog::WriteLine(const char* format, va_list args) noexcept {
    if (!file_.load()) return;
    gn::cs_lock hold(lock_);
    const time_t now = std::time(nullptr);
    const bool newline = gn::log_needs_newline(format);
    if (FILE* f = file_.load()) {
        char stamp[32];
        gn::format_log_time(now, stamp);
        std::fprintf(f, "%.24s  ", stamp);
        if (format) std::vfprintf(f, format, args);
        if (newline) std::fputc('\n', f);
        std::fflush(f);
    }
}

void LogPrint(int, const char* format, ...) noexcept {
    if (!g_log.IsOpen()) return;
    va_list args;
    va_start(args, format);
    g_log.WriteLine(format, args);
    va_end(args);
}

void LogPrintSubject(const char* format, const char* subject) noexcept {
    if (!gn::format_takes_one_string(format)) return LogPrint(0, "%s", format ? format : "");
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    LogPrint(0, format, subject);  // its one conversion, if any, is the "%s" checked above
#pragma GCC diagnostic pop
}

bool IsLogOpen() noexcept { return g_log.IsOpen(); }

namespace {

// Whether the administrator's switch is on, read at the first failure (never
// inside DllMain). Two threads failing at once both read it, to the same end.
bool tracing_switched_on() noexcept {
    enum : int { unknown, off, on };
    static std::atomic<int> state{unknown};
    int now = state.load(std::memory_order_acquire);
    if (now == unknown) {
        DWORD value = 0, size = sizeof value;
        const LSTATUS read = RegGetValueA(HKEY_LOCAL_MACHINE, gn::kTracePolicyKey, gn::kTracePolicyValue,
                                          RRF_RT_REG_DWORD, nullptr, &value, &size);
        now = read == ERROR_SUCCESS && value != 0 ? on : off;
        state.store(now, std::memory_order_release);
    }
    return now == on;
}

}  // namespace

void TraceFailure(const gn::failure_report& failure) noexcept {
    if (!g_log.IsOpen() || !tracing_switched_on()) return;
    LogPrint(0, "Failure 0x%08lX at %s:%d: %s", static_cast<unsigned long>(failure.hr),
             failure.file ? failure.file : "?", failure.line,
             failure.expression ? failure.expression : "?");
}
