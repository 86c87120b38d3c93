#include "frame/log.h"

#include <io.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>

namespace {

// Room for the lines of ordinary length; a longer one takes a buffer of its own.
constexpr size_t kLineRoom = 1024;
// The longest wait for another process's line to be written.
constexpr DWORD kOtherWriterMs = 2000;

// The writers' mutex of the log at path: every process logging to that file
// names the same one ("GNLauncher.log.<FNV-1a hash of the full path, case
// aside>"). Null when it cannot be made.
HANDLE open_writers_mutex(const char* path) noexcept {
    char full[MAX_PATH * 2];
    const DWORD n = GetFullPathNameA(path, sizeof full, full, nullptr);
    if (n == 0 || n >= sizeof full) return nullptr;
    unsigned long long hash = 14695981039346656037ull;
    for (DWORD i = 0; i < n; ++i) {
        char c = full[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    char name[48];
    std::snprintf(name, sizeof name, "GNLauncher.log.%016llx", hash);
    return CreateMutexA(nullptr, FALSE, name);
}

}  // namespace

DiagnosticLog::DiagnosticLog() noexcept = default;

DiagnosticLog::~DiagnosticLog() {
    if (HANDLE f = file_.exchange(nullptr)) CloseHandle(f);
    if (writers_) CloseHandle(writers_);
}

void DiagnosticLog::Open() noexcept {
    const bool local = _access(".\\quor_launcher.log", 2) == 0;
    const char* path = gn::choose_log_path(local, std::getenv("GNLAUNCHERLOG"));
    if (!path) return;
    // Appending data only, never writing at a position: each write goes to
    // the end of the file as one step, whichever process writes. (The
    // runtime's append mode seeks to the end and then writes: two steps, which
    // another process can come between.) Wine appends by asking the file's
    // size and then writing there, two steps again: the processes' writers
    // also take turns on a mutex named after the file.
    const HANDLE f =
        CreateFileA(path, FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    writers_ = open_writers_mutex(path);
    file_ = f;
}

void DiagnosticLog::Close() noexcept {
    HANDLE f;
    {
        gn::cs_lock hold(lock_);  // waits for a line being written
        f = file_.exchange(nullptr);
    }
    if (f) CloseHandle(f);
    if (writers_) CloseHandle(writers_);
    writers_ = nullptr;
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
    Write(format, args);
}

void DiagnosticLog::WriteFormatted(const char* format, ...) noexcept {
    va_list args;
    va_start(args, format);
    Write(format, args);
    va_end(args);
}

void DiagnosticLog::Write(const char* format, va_list args) noexcept {
    const time_t now = std::time(nullptr);
    const bool newline = gn::log_needs_newline(format);
    const HANDLE f = file_.load();
    if (!f) return;
    char stamp[32];
    gn::format_log_time(now, stamp);

    // The message, then the whole line as the file stores it, each written
    // once: into room of its own when longer than the room here. Out of
    // memory, the part that fits is written.
    char message_room[kLineRoom];
    std::unique_ptr<char[]> long_message;
    const char* message = message_room;
    size_t length = 0;
    if (format) {
        va_list again;
        va_copy(again, args);
        const int n = std::vsnprintf(message_room, sizeof message_room, format, args);
        length = n > 0 ? static_cast<size_t>(n) : 0;
        if (length >= sizeof message_room) {
            long_message.reset(new (std::nothrow) char[length + 1]);
            if (long_message) {
                std::vsnprintf(long_message.get(), length + 1, format, again);
                message = long_message.get();
            } else {
                length = sizeof message_room - 1;
            }
        }
        va_end(again);
    }
    size_t size = gn::compose_log_line(stamp, message, length, newline, nullptr, 0);
    char line_room[2 * kLineRoom + 32];  // any message of the room above, every byte a "\n"
    char* line = line_room;
    std::unique_ptr<char[]> long_line;
    if (size > sizeof line_room) {
        long_line.reset(new (std::nothrow) char[size]);
        if (long_line) {
            line = long_line.get();
        } else {
            length = std::min(length, kLineRoom - 1);
            size = gn::compose_log_line(stamp, message, length, newline, nullptr, 0);
        }
    }
    gn::compose_log_line(stamp, message, length, newline, line, size);
    // Another process that died holding the mutex gives it up (abandoned);
    // one that holds it too long is not waited for.
    const DWORD turn = writers_ ? WaitForSingleObject(writers_, kOtherWriterMs) : WAIT_FAILED;
    DWORD written = 0;
    WriteFile(f, line, static_cast<DWORD>(size), &written, nullptr);
    if (turn == WAIT_OBJECT_0 || turn == WAIT_ABANDONED) ReleaseMutex(writers_);
}

void DiagnosticLog::Trace(const gn::failure_report& failure) noexcept {
    if (!file_.load()) return;
    gn::cs_lock hold(lock_);
    unsigned long dropped = 0;
    const bool written = trace_.admit(GetTickCount64(), &dropped);
    TellDropped(dropped);
    if (written)
        WriteFormatted("Failure 0x%08lX at %s:%d: %s", static_cast<unsigned long>(failure.hr),
                       failure.file ? failure.file : "?", failure.line,
                       failure.expression ? failure.expression : "?");
}

void DiagnosticLog::EndTrace() noexcept {
    if (!file_.load()) return;
    gn::cs_lock hold(lock_);
    TellDropped(trace_.untold());
}

void DiagnosticLog::TellDropped(unsigned long dropped) noexcept {
    if (dropped)
        WriteFormatted("Failure trace: %lu more failures not written (at most %u a second)", dropped,
                       gn::trace_limit::kLinesPerSecond);
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
    g_log.Trace(failure);
}
