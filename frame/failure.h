// The one place every failure goes: the early returns (frame/result.h) report
// each failed code with its file, line and expression. The reporter counts
// them and hands each to the hook its module installed, if any (the module's
// is the log's tracer, frame/log.h). Header-only, free of platform headers:
// every module and program that includes it has a reporter of its own.
#pragma once

#include <atomic>

namespace gn {

// One failure, as its early return saw it.
struct failure_report {
    long hr;                 // the failed result code
    const char* file;        // the source file, relative to the source tree
    int line;                // the line of the early return
    const char* expression;  // the failed call or condition, as written
};

// Receives reports on whatever thread failed; it must not throw, and may take
// no lock but the log's.
using failure_hook = void (*)(const failure_report&) noexcept;

namespace failure_detail {
inline std::atomic<failure_hook> hook{nullptr};
inline std::atomic<unsigned long> count{0};
}  // namespace failure_detail

// Counts one failure and hands it to the hook. Out of line and cold: the
// early returns pay for it only when they fail.
[[gnu::cold, gnu::noinline]] inline void report_failure(long hr, const char* file, int line,
                                                        const char* expression) noexcept {
    failure_detail::count.fetch_add(1, std::memory_order_relaxed);
    if (const failure_hook hook = failure_detail::hook.load(std::memory_order_acquire))
        hook(failure_report{hr, file, line, expression});
}

// Installs hook (null: only count) and returns the one it replaces.
inline failure_hook set_failure_hook(failure_hook hook) noexcept {
    return failure_detail::hook.exchange(hook, std::memory_order_acq_rel);
}

// The rate a failure trace keeps to: at most kLinesPerSecond failures are
// written in any second of the clock; the others are only counted, and the
// count is told in one line at the first failure of a later second (or when
// the trace ends). A page script can fail a call thousands of times a second;
// the log stays readable and small. Plain state, to be held under the lock of
// whoever writes the lines.
struct trace_limit {
    static constexpr unsigned kLinesPerSecond = 100;

    unsigned long long second = ~0ull;  // the second being counted (now_ms / 1000)
    unsigned written = 0;               // failures written in it
    unsigned long dropped = 0;          // failures not written and not yet told

    // A failure at now_ms: true when its line is written. *tell gets the
    // failures dropped before it that are to be told now, first (0: none).
    bool admit(unsigned long long now_ms, unsigned long* tell) noexcept {
        *tell = 0;
        if (now_ms / 1000 != second) {
            second = now_ms / 1000;
            written = 0;
            *tell = dropped;
            dropped = 0;
        }
        if (written < kLinesPerSecond) {
            ++written;
            return true;
        }
        ++dropped;
        return false;
    }
    // The trace ends: the failures dropped and not yet told.
    unsigned long untold() noexcept {
        const unsigned long n = dropped;
        dropped = 0;
        return n;
    }
};

// The failures reported in this module since it was loaded.
inline unsigned long failure_count() noexcept {
    return failure_detail::count.load(std::memory_order_relaxed);
}

}  // namespace gn
