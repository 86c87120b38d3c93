// Runs test cases in a child process of the same test program: for cases
// that need a fresh process (settings read at start, a module loaded anew).
#pragma once

#include <windows.h>

namespace gntest {

// Starts this program with --gtest_filter=filter (disabled cases included),
// waits up to 60 s and returns its exit code; ~0u when it did not start or
// did not end in time (it is then ended).
DWORD run_child_cases(const char* filter);

}  // namespace gntest
