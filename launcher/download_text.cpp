#include "launcher/download_text.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <new>

namespace gn {

const char* const kLegacyCookieNames[3] = {"QUORPASSWORD=", "rvs_username=", "rvs_info="};

namespace {

// A 32-bit result code as the platform's HRESULT holds it.
constexpr long result_code(std::uint32_t code) noexcept {
    return static_cast<long>(static_cast<std::int32_t>(code));
}
constexpr long kResourceNotFound = result_code(0x800C0005);  // INET_E_RESOURCE_NOT_FOUND
constexpr long kDownloadFailure = result_code(0x800C0008);   // INET_E_DOWNLOAD_FAILURE
constexpr long kSecurityProblem = result_code(0x800C000E);   // INET_E_SECURITY_PROBLEM
constexpr long kRedirectFailed = result_code(0x800C0014);    // INET_E_REDIRECT_FAILED
constexpr long kInvalidCertificate = result_code(0x800C0019); // INET_E_INVALID_CERTIFICATE

// WinINet's errors about a server certificate (ERROR_INTERNET_*).
constexpr unsigned long kCertDateInvalid = 12037;
constexpr unsigned long kCertNameInvalid = 12038;
constexpr unsigned long kInvalidCa = 12045;
constexpr unsigned long kCertNoRevocation = 12056;
constexpr unsigned long kCertRevocationFailed = 12057;
constexpr unsigned long kCertRevoked = 12170;

// The first occurrence of name inside [begin, end), or null.
const char* find_in(const char* begin, const char* end, const char* name, size_t len) noexcept {
    if (static_cast<size_t>(end - begin) < len) return nullptr;
    for (const char* p = begin; p + len <= end; ++p)
        if (std::memcmp(p, name, len) == 0) return p;
    return nullptr;
}

bool token_is_legacy(const char* begin, const char* end) noexcept {
    for (const char* name : kLegacyCookieNames) {
        const char* hit = find_in(begin, end, name, std::strlen(name));
        if (hit && (hit == begin || hit[-1] == ' ')) return true;
    }
    return false;
}

// Appends to a bounded buffer and counts what the whole text would need.
class bounded_writer {
public:
    bounded_writer(char* out, size_t size) noexcept : out_(out), size_(size) {
        if (out_ && size_) out_[0] = '\0';
    }
    void put(char c) noexcept {
        if (out_ && length_ + 1 < size_) {
            out_[length_] = c;
            out_[length_ + 1] = '\0';
        }
        ++length_;
    }
    void put(const char* s) noexcept {
        while (*s) put(*s++);
    }
    size_t length() const noexcept { return length_; }

private:
    char* out_;
    size_t size_;
    size_t length_ = 0;
};

}  // namespace

bool has_legacy_cookie(const char* cookies) noexcept {
    if (!cookies) return false;
    const char* p = cookies;
    while (*p) {
        while (*p == ';') ++p;  // consecutive separators count as one
        if (!*p) break;
        const char* begin = p;
        while (*p && *p != ';') ++p;
        if (token_is_legacy(begin, p)) return true;
    }
    return false;
}

size_t mask_cookies(const char* cookies, char* out, size_t out_size) noexcept {
    bounded_writer w(out, out_size);
    if (!cookies) return 0;
    bool first = true;
    const char* p = cookies;
    while (*p) {
        while (*p == ';' || *p == ' ') ++p;
        if (!*p) break;
        const char* begin = p;
        while (*p && *p != ';') ++p;
        const char* eq = static_cast<const char*>(std::memchr(begin, '=', p - begin));
        if (!first) w.put("; ");
        first = false;
        if (eq) {
            for (const char* n = begin; n < eq; ++n)
                w.put(static_cast<unsigned char>(*n) < 0x20 ? '?' : *n);
            w.put("=***");
        } else {
            w.put("***");  // a value without a name may be the secret itself
        }
    }
    return w.length();
}

bool is_file_url(const wchar_t* url) noexcept {
    return url && std::wcsncmp(url, L"file://", 7) == 0;
}

bool compose_temp_name(char* out, size_t out_size, const char* dir, const char* prefix,
                       unsigned long number) noexcept {
    if (!out || out_size == 0) return false;
    const int n = std::snprintf(out, out_size, "%s\\%s%lu.tmp", dir ? dir : "",
                                prefix ? prefix : "", number);
    if (n < 0 || static_cast<size_t>(n) >= out_size) {
        out[0] = '\0';
        return false;
    }
    return true;
}

bool is_document_status(unsigned long status) noexcept { return status >= 200 && status <= 299; }

long http_status_result(unsigned long status) noexcept {
    switch (status) {
    case 404:
    case 410:
        return kResourceNotFound;
    case 301:
    case 302:
    case 303:
    case 307:
    case 308:
        return kRedirectFailed;
    default:
        return kDownloadFailure;
    }
}

void format_http_error(char* out, size_t out_size, unsigned long status, const char* reason) noexcept {
    if (!out || out_size == 0) return;
    if (reason && *reason)
        std::snprintf(out, out_size, "HTTP %lu %s", static_cast<unsigned long>(status), reason);
    else
        std::snprintf(out, out_size, "HTTP %lu", static_cast<unsigned long>(status));
}

void format_incomplete(char* out, size_t out_size, unsigned long long received,
                       unsigned long long expected) noexcept {
    if (!out || out_size == 0) return;
    std::snprintf(out, out_size, "Incomplete download: %llu of %llu bytes", received, expected);
}

bool is_secure_channel_failure(long hr) noexcept {
    return hr == kInvalidCertificate || hr == kSecurityProblem;
}

const char* certificate_reason(unsigned long error, unsigned long security_flags) noexcept {
    // WinINet keeps a bit per problem in the request's security flags, and its
    // error names only one of them (an unknown root fails its revocation check
    // too, and the error may name that): the bits come first, in this order.
    static const struct {
        unsigned long bit;
        const char* reason;
    } kFlagReasons[] = {
        {0x01000000, "untrusted root"},   // invalid CA
        {0x04000000, "expired"},          // invalid date
        {0x02000000, "wrong host name"},  // invalid common name
    };
    for (const auto& row : kFlagReasons)
        if (security_flags & row.bit) return row.reason;
    switch (error) {
    case kInvalidCa:
        return "untrusted root";
    case kCertDateInvalid:
        return "expired";
    case kCertNameInvalid:
        return "wrong host name";
    case kCertRevoked:
        return "revoked";
    case kCertNoRevocation:
    case kCertRevocationFailed:
        return "revocation unknown";
    default:
        break;
    }
    return (security_flags & 0x00800000) ? "revocation unknown" : nullptr;  // revocation failed
}

void format_certificate_error(char* out, size_t out_size, const char* reason) noexcept {
    if (!out || out_size == 0) return;
    if (reason && *reason)
        std::snprintf(out, out_size, "Certificate error: %s", reason);
    else
        std::snprintf(out, out_size, "Certificate error");
}

bool parse_content_length(const char* text, unsigned long long* value) noexcept {
    if (!text || !value) return false;
    while (*text == ' ' || *text == '\t') ++text;
    if (*text < '0' || *text > '9') return false;
    unsigned long long v = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        const unsigned digit = static_cast<unsigned>(*text - '0');
        if (v > (~0ull - digit) / 10) return false;  // overflow
        v = v * 10 + digit;
    }
    while (*text == ' ' || *text == '\t') ++text;
    if (*text) return false;
    *value = v;
    return true;
}

char_buffer::char_buffer(size_t size) noexcept : data_(new (std::nothrow) char[size ? size : 1]) {
    if (data_) data_[0] = '\0';
}

}  // namespace gn
