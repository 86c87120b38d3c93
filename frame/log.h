// Optional diagnostic log for support staff: one timestamped line per call,
// flushed at once. Off unless a file could be opened when the module loaded.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <ctime>

class DiagnosticLog {
public:
    DiagnosticLog() noexcept;
    ~DiagnosticLog();
    DiagnosticLog(const DiagnosticLog&) = delete;
    DiagnosticLog& operator=(const DiagnosticLog&) = delete;

    // Chooses the file (".\quor_launcher.log" when writable, else $GNLAUNCHERLOG)
    // and opens it for appending. Failure leaves logging off, silently.
    void Open() noexcept;
    // Closes the file; later lines are dropped.
    void Close() noexcept;
    bool IsOpen() const noexcept { return file_ != nullptr; }

    void Print(const char* format, ...) noexcept;
    void WriteLine(const char* format, va_list args) noexcept;

private:
    FILE* volatile file_ = nullptr;
    CRITICAL_SECTION lock_;
};

// The module's log.
extern DiagnosticLog g_log;

// Writes one line to the module's log. The leading integer is ignored.
void LogPrint(int, const char* format, ...) noexcept;
// True when a log file is open.
bool IsLogOpen() noexcept;

// The log's pure text rules.
#include "frame/log_text.h"
