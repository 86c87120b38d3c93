// Early returns. Functions return a result code (an HRESULT, or the same
// 32-bit value held in a long by code that includes no platform header) and
// leave at the first failure: a negative code.
#pragma once

#define RETURN_IF_FAILED(expr)                         \
    do {                                               \
        const long hr_ = (expr);                       \
        if (hr_ < 0) return hr_;                       \
    } while (0)
#define RETURN_HR_IF(hr, cond)                         \
    do {                                               \
        if (cond) return (hr);                         \
    } while (0)
#define RETURN_HR_IF_NULL(hr, ptr) RETURN_HR_IF(hr, (ptr) == nullptr)
#define RETURN_IF_NULL_ALLOC(ptr) RETURN_HR_IF(E_OUTOFMEMORY, (ptr) == nullptr)
