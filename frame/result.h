// Early returns. Functions return a result code (an HRESULT, or the same
// 32-bit value held in a long by code that includes no platform header) and
// leave at the first failure: a negative code. Each early return with a
// failure reports the code, the file, the line and the expression to the
// module's failure reporter (frame/failure.h) before it returns; on success
// they cost one comparison.
#pragma once

#include "frame/failure.h"

#define RETURN_IF_FAILED(expr)                                    \
    do {                                                          \
        const long hr_ = (expr);                                  \
        if (__builtin_expect(hr_ < 0, 0)) {                       \
            ::gn::report_failure(hr_, __FILE__, __LINE__, #expr); \
            return hr_;                                           \
        }                                                         \
    } while (0)
// A success code given as hr is returned without a report.
#define RETURN_HR_IF(hr, cond)                                                 \
    do {                                                                       \
        if (__builtin_expect(static_cast<bool>(cond), 0)) {                    \
            const long hr_ = (hr);                                             \
            if (hr_ < 0) ::gn::report_failure(hr_, __FILE__, __LINE__, #cond); \
            return hr_;                                                        \
        }                                                                      \
    } while (0)
#define RETURN_HR_IF_NULL(hr, ptr) RETURN_HR_IF(hr, (ptr) == nullptr)
#define RETURN_IF_NULL_ALLOC(ptr) RETURN_HR_IF(E_OUTOFMEMORY, (ptr) == nullptr)
