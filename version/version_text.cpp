#include "version/version_text.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace gn {

void format_file_version(DWORD ms, DWORD ls, char (&out)[kVersionTextSize]) noexcept {
    std::snprintf(out, sizeof out, "%d.%d.%d.%d", static_cast<int>(HIWORD(ms)),
                  static_cast<int>(LOWORD(ms)), static_cast<int>(HIWORD(ls)),
                  static_cast<int>(LOWORD(ls)));
}

bool is_braced_guid(const char* text) noexcept {
    static const char pattern[] = "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
    if (!text) return false;
    for (size_t i = 0; i < sizeof pattern - 1; ++i) {
        const char c = text[i];
        if (pattern[i] == 'X') {
            const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ||
                             (c >= 'A' && c <= 'F');
            if (!hex) return false;
        } else if (c != pattern[i]) {
            return false;
        }
    }
    return text[sizeof pattern - 1] == '\0';
}

bool terminate_registry_text(char* buf, DWORD capacity, DWORD size) noexcept {
    if (!buf || capacity == 0) return false;
    if (size < capacity) {
        buf[size] = '\0';
        return true;
    }
    // The data fills the buffer: only a terminator of its own makes it a string.
    return std::memchr(buf, '\0', capacity) != nullptr;
}

bool is_blank_url(const char* url) noexcept {
    if (!url) return true;
    while (*url == ' ') ++url;
    return *url == '\0';
}

const char* log_argument(const char* text, char (&buf)[kLogArgumentSize]) noexcept {
    if (!text) return "";
    if (std::memchr(text, '\0', kLogArgumentLimit + 1)) return text;
    std::memcpy(buf, text, kLogArgumentLimit);
    std::memcpy(buf + kLogArgumentLimit, kLogCutMarker, sizeof kLogCutMarker);
    return buf;
}

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
