// Early returns. Functions return a result code (an HRESULT, or the same
// 32-bit value held in a long by code that includes no platform header) and
// leave at the first failure: a negative code. Each early return with a
// failure reports the code, the file, the line and the expression to the
// module's failure reporter (frame/failure.h) before it returns; on success
// they cost one comparison.
//
// A failed code that is an answer of the protocol rather than a failure (a
// service a site does not offer, a verb a document without its site cannot
// carry out, an activation its container declines) leaves through the
// _EXPECTED forms, which report nothing.
//
// Every form takes a result code and nothing else: a BOOL or a DWORD given as
// the result does not compile (its failure would never be negative, or its
// success would be).
#pragma once

#include <type_traits>

#include "frame/failure.h"

namespace gn::result_detail {
template <typename T>
constexpr long result_code(T hr) noexcept {
    static_assert(std::is_same<T, long>::value,
                  "an early return takes a result code (HRESULT), not a BOOL, DWORD or int");
    return hr;
}
}  // namespace gn::result_detail

#define RETURN_IF_FAILED(expr)                                    \
    do {                                                          \
        const long hr_ = ::gn::result_detail::result_code(expr);  \
        if (__builtin_expect(hr_ < 0, 0)) {                       \
            ::gn::report_failure(hr_, __FILE__, __LINE__, #expr); \
            return hr_;                                           \
        }                                                         \
    } while (0)
// A success code given as hr is returned without a report.
#define RETURN_HR_IF(hr, cond)                                                 \
    do {                                                                       \
        if (__builtin_expect(static_cast<bool>(cond), 0)) {                    \
            const long hr_ = ::gn::result_detail::result_code(hr);             \
            if (hr_ < 0) ::gn::report_failure(hr_, __FILE__, __LINE__, #cond); \
            return hr_;                                                        \
        }                                                                      \
    } while (0)
#define RETURN_HR_IF_NULL(hr, ptr) RETURN_HR_IF(hr, (ptr) == nullptr)
#define RETURN_IF_NULL_ALLOC(ptr) RETURN_HR_IF(E_OUTOFMEMORY, (ptr) == nullptr)

// The same early returns for results that are answers: nothing is reported.
#define RETURN_IF_FAILED_EXPECTED(expr)                          \
    do {                                                         \
        const long hr_ = ::gn::result_detail::result_code(expr); \
        if (hr_ < 0) return hr_;                                 \
    } while (0)
#define RETURN_HR_IF_EXPECTED(hr, cond)                                           \
    do {                                                                          \
        if (static_cast<bool>(cond)) return ::gn::result_detail::result_code(hr); \
    } while (0)
#define RETURN_HR_IF_NULL_EXPECTED(hr, ptr) RETURN_HR_IF_EXPECTED(hr, (ptr) == nullptr)
