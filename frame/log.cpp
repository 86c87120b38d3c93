#include "frame/log.h"

#include <io.h>

#include <cstdlib>
#include <cstring>
#include <ctime>


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
