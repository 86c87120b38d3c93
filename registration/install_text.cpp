#include "registration/install_text.h"

#include <cwchar>

namespace gn {

namespace {

bool starts_with(const wchar_t* text, const wchar_t* prefix) {
    return std::wcsncmp(text, prefix, std::wcslen(prefix)) == 0;
}

int hex_value(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

}  // namespace

install_command parse_install_command(const wchar_t* command) noexcept {
    install_command out;
    if (!command) return out;
    install_verb verb = install_verb::invalid;
    if (starts_with(command, L"keep|"))
        verb = install_verb::keep;
    else if (starts_with(command, L"putback|"))
        verb = install_verb::put_back;
    else
        return out;
    const wchar_t* field = std::wcschr(command, L'|') + 1;
    const wchar_t* bar = std::wcschr(field, L'|');
    if (!bar || !bar[1]) return out;
    const size_t length = static_cast<size_t>(bar - field);
    if (verb == install_verb::keep &&
        !(length == 3 && (std::wcsncmp(field, L"x86", 3) == 0 || std::wcsncmp(field, L"x64", 3) == 0)))
        return out;
    out.verb = verb;
    out.field = field;
    out.field_length = length;
    out.path = bar + 1;
    return out;
}

void digest_text(const unsigned char (&digest)[32], char (&out)[65]) noexcept {
    static const char kDigits[] = "0123456789abcdef";
    for (size_t i = 0; i < 32; ++i) {
        out[2 * i] = kDigits[digest[i] >> 4];
        out[2 * i + 1] = kDigits[digest[i] & 15];
    }
    out[64] = '\0';
}

bool digest_matches(const wchar_t* text, size_t length, const unsigned char (&digest)[32]) noexcept {
    if (!text || length != 64) return false;
    for (size_t i = 0; i < 32; ++i) {
        const int high = hex_value(text[2 * i]), low = hex_value(text[2 * i + 1]);
        if (high < 0 || low < 0 || ((high << 4) | low) != digest[i]) return false;
    }
    return true;
}

}  // namespace gn
