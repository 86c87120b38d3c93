// Optional diagnostic log for support staff: one timestamped line per call,
// on disk at once. Off unless a file could be opened when the module loaded.
//
// Several processes may log to one file (a browser's tabs each load the
// module): the file is opened for appending data only, and each line goes to
// it in one write, taking turns with the other processes' writers of the file
// on a mutex named after it. No line is lost or torn.
#pragma once

#include "frame/com.h"
#include "frame/failure.h"

#include <windows.h>

#include <atomic>
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
    bool IsOpen() const noexcept { return file_.load() != nullptr; }

    void Print(const char* format, ...) noexcept GN_PRINTF_FORMAT(2, 3);
    void WriteLine(const char* format, va_list args) noexcept GN_PRINTF_FORMAT(2, 0);
    // One failure's line, within the trace's rate (gn::trace_limit); the
    // count of failures left out is told first when it is due.
    void Trace(const gn::failure_report& failure) noexcept;
    // Tells the failures the trace left out and has not told yet.
    void EndTrace() noexcept;

private:
    // Writes one line; the lock is held.
    void Write(const char* format, va_list args) noexcept GN_PRINTF_FORMAT(2, 0);
    void WriteFormatted(const char* format, ...) noexcept GN_PRINTF_FORMAT(2, 3);
    void TellDropped(unsigned long dropped) noexcept;

    std::atomic<HANDLE> file_{nullptr};  // read without the lock only to skip work
    HANDLE writers_ = nullptr;           // the mutex of every process's writers of the file
    gn::critical_section lock_;          // held while a line is written or the file closes
    gn::trace_limit trace_;              // under the lock
};

// The module's log.
extern DiagnosticLog g_log;

// Writes one line to the module's log. The leading integer is ignored.
void LogPrint(int, const char* format, ...) noexcept GN_PRINTF_FORMAT(2, 3);
// Writes one line whose format is data (a table row's) with subject for its
// "%s": a format with any other conversion is written as it stands.
void LogPrintSubject(const char* format, const char* subject) noexcept;
// True when a log file is open.
bool IsLogOpen() noexcept;

// The failure hook of a module whose log is open (frame/failure.h): one line
// for each failure, "Failure 0x80004005 at launcher/load.cpp:57: <expression>",
// when an administrator switched failure tracing on (kTracePolicyKey), and
// nothing otherwise; at most gn::trace_limit::kLinesPerSecond a second. The
// switch is read once, at the first failure.
void TraceFailure(const gn::failure_report& failure) noexcept;
namespace gn {
// HKEY_LOCAL_MACHINE key and DWORD value of the switch: non-zero turns tracing on.
constexpr char kTracePolicyKey[] = "Software\\Policies\\Quor Software\\GNLauncher";
constexpr char kTracePolicyValue[] = "TraceFailures";
}  // namespace gn

// The log's pure text rules.
#include "frame/log_text.h"
