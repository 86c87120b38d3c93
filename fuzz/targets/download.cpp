// The download's text rules on what a server and the cookie store hand over:
// cookie lines, URLs, Content-Length and Transfer-Encoding values, status
// texts, certificate errors, content types, temp names and the texts of failures.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string>

#include "launcher/download/download_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const char* s = text.c_str();

    (void)gn::has_legacy_cookie(s);
    // The masked line: its length is known before it is written, and any
    // buffer size gets a terminated prefix.
    const std::size_t whole = gn::mask_cookies(s, nullptr, 0);
    std::string masked(whole + 1, '\x7f');
    if (gn::mask_cookies(s, &masked[0], masked.size()) != whole || masked[whole] != '\0')
        __builtin_trap();
    char small[16];
    gn::mask_cookies(s, small, size % sizeof small + 1);
    if (!std::memchr(small, '\0', sizeof small)) __builtin_trap();

    unsigned long long length = 0;
    (void)gn::parse_content_length(s, &length);
    // Any Transfer-Encoding and Content-Length: a failure always says why.
    const std::string coding = text.substr(0, size / 2), announced = text.substr(size / 2);
    char why_framing[96];
    const std::size_t framing_room = size % sizeof why_framing + 1;
    std::memset(why_framing, 0x7f, sizeof why_framing);
    if (gn::check_http_framing(coding.c_str(), announced.c_str(), size % 3 == 0, length, why_framing,
                               framing_room) != 0 &&
        (!std::memchr(why_framing, '\0', framing_room) || (framing_room > 1 && !why_framing[0])))
        __builtin_trap();

    std::uint32_t number = 0;
    if (size >= 4) std::memcpy(&number, data, 4);
    char line[96];
    gn::format_http_error(line, size % sizeof line + 1, number, s);
    (void)gn::is_document_status(number);
    (void)gn::http_status_result(number);
    std::uint32_t flags = 0;
    if (size >= 8) std::memcpy(&flags, data + 4, 4);
    gn::format_certificate_error(line, sizeof line, gn::certificate_reason(number, flags));
    (void)gn::is_secure_channel_failure(static_cast<std::int32_t>(number));
    gn::format_incomplete(line, size % sizeof line + 1, number, flags);

    std::wstring wide(size / 2, L'\0');
    for (std::size_t i = 0; i < wide.size(); ++i)
        wide[i] = static_cast<wchar_t>(data[2 * i] | (data[2 * i + 1] << 8));
    (void)gn::is_file_url(wide.c_str());

    (void)gn::is_document_type(wide.c_str());

    // A temp name is whole and terminated, or empty: never cut.
    wchar_t name[64];
    const std::wstring dir = wide.substr(0, wide.size() / 2), prefix = wide.substr(wide.size() / 2);
    const std::size_t room = size % (sizeof name / sizeof name[0]) + 1;
    if (gn::compose_temp_name(name, room, dir.c_str(), prefix.c_str(), number)) {
        if (std::wcslen(name) >= room) __builtin_trap();
    } else if (name[0] != L'\0') {
        __builtin_trap();
    }

    // Every failure has a text; a Content-Type is a web page or not.
    const char* why = gn::failure_text(static_cast<std::int32_t>(number), flags);
    if (!why || !*why) __builtin_trap();
    why = gn::write_failure_reason(static_cast<int>(flags));
    if (!why || !*why) __builtin_trap();
    (void)gn::write_failure_result(static_cast<int>(flags));
    (void)gn::is_web_page_type(s);
    return 0;
}
