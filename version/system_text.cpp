#include "version/system_text.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace gn {

system_text::~system_text() { std::free(data_); }

HRESULT system_text::assign(const wchar_t* text, UINT length) noexcept {
    std::free(data_);
    data_ = nullptr;
    exact_ = true;
    if (!text || length == 0) return S_OK;

    const int size = WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), nullptr, 0,
                                         nullptr, nullptr);
    data_ = size > 0 ? static_cast<char*>(std::malloc(static_cast<size_t>(size) + 1)) : nullptr;
    if (!data_) {
        exact_ = false;
        return size > 0 ? E_OUTOFMEMORY : HRESULT_FROM_WIN32(GetLastError());
    }
    WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(length), data_, size, nullptr, nullptr);
    data_[size] = '\0';

    // Faithful exactly when the 8-bit text converts back to the same characters
    // and has no zero inside (the registry would see a shorter name).
    if (std::memchr(data_, '\0', static_cast<size_t>(size)) != nullptr) {
        exact_ = false;
        return S_OK;
    }
    const int back = MultiByteToWideChar(CP_ACP, 0, data_, size, nullptr, 0);
    if (back != static_cast<int>(length)) {
        exact_ = false;
        return S_OK;
    }
    std::unique_ptr<wchar_t[]> round(new (std::nothrow) wchar_t[length]);
    if (!round) {
        exact_ = false;
        return E_OUTOFMEMORY;
    }
    MultiByteToWideChar(CP_ACP, 0, data_, size, round.get(), back);
    exact_ = std::memcmp(round.get(), text, sizeof(wchar_t) * length) == 0;
    return S_OK;
}

}  // namespace gn
