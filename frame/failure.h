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

// The failures reported in this module since it was loaded.
inline unsigned long failure_count() noexcept {
    return failure_detail::count.load(std::memory_order_relaxed);
}

}  // namespace gn
