// Optional diagnostic log for support staff: one timestamped line per call,
// flushed at once. Off unless a file could be opened when the module loaded.
#pragma once

#include "frame/com.h"

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

private:
    std::atomic<FILE*> file_{nullptr};  // read without the lock only to skip work
    gn::critical_section lock_;         // held while a line is written or the file closes
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
// nothing otherwise. The switch is read once, at the first failure.
void TraceFailure(const gn::failure_report& failure) noexcept;
namespace gn {
// HKEY_LOCAL_MACHINE key and DWORD value of the switch: non-zero turns tracing on.
constexpr char kTracePolicyKey[] = "Software\\Policies\\Quor Software\\GNLauncher";
constexpr char kTracePolicyValue[] = "TraceFailures";
}  // namespace gn

// The log's pure text rules.
#include "frame/log_text.h"
