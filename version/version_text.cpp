#include "version/version_text.h"

#include <cstdio>
#include <cstring>

namespace gn {

void format_file_version(unsigned long ms, unsigned long ls,
                         char (&out)[kVersionTextSize]) noexcept {
    std::snprintf(out, sizeof out, "%d.%d.%d.%d", static_cast<int>((ms >> 16) & 0xFFFF),
                  static_cast<int>(ms & 0xFFFF), static_cast<int>((ls >> 16) & 0xFFFF),
                  static_cast<int>(ls & 0xFFFF));
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

bool terminate_registry_text(char* buf, unsigned long capacity, unsigned long size) noexcept {
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

}  // namespace gn
