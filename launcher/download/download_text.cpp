#include "launcher/download/download_text.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <new>

#include "resources/document_types.h"

namespace gn {

const char* const kLegacyCookieNames[3] = {"QUORPASSWORD=", "rvs_username=", "rvs_info="};

namespace {

// A 32-bit result code as the platform's HRESULT holds it.
constexpr long result_code(std::uint32_t code) noexcept {
    return static_cast<long>(static_cast<std::int32_t>(code));
}
constexpr long kResourceNotFound = result_code(0x800C0005);    // INET_E_RESOURCE_NOT_FOUND
constexpr long kDownloadFailure = result_code(0x800C0008);     // INET_E_DOWNLOAD_FAILURE
constexpr long kSecurityProblem = result_code(0x800C000E);     // INET_E_SECURITY_PROBLEM
constexpr long kRedirectFailed = result_code(0x800C0014);      // INET_E_REDIRECT_FAILED
constexpr long kInvalidCertificate = result_code(0x800C0019);  // INET_E_INVALID_CERTIFICATE

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

bool is_file_url(const wchar_t* url) noexcept { return url && std::wcsncmp(url, L"file://", 7) == 0; }

bool compose_temp_name(wchar_t* out, size_t out_size, const wchar_t* dir, const wchar_t* prefix,
                       unsigned long number) noexcept {
    if (!out || out_size == 0) return false;
    if (!dir) dir = L"";
    const size_t dir_length = std::wcslen(dir);
    const bool has_separator =
        dir_length > 0 && (dir[dir_length - 1] == L'\\' || dir[dir_length - 1] == L'/');
    const int n = std::swprintf(out, out_size, L"%ls%ls%ls%lu.tmp", dir, has_separator ? L"" : L"\\",
                                prefix ? prefix : L"", number);
    if (n < 0 || static_cast<size_t>(n) >= out_size) {
        out[0] = L'\0';
        return false;
    }
    return true;
}

bool is_document_status(unsigned long status) noexcept {
    return status >= 200 && status <= 299 && status != 204 && status != 205 && status != 206 &&
           status != 226;
}

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

const char* failure_text(std::int32_t result, unsigned long furthest_status) noexcept {
    // Progress steps of a binding (BINDSTATUS): the server's name is being
    // looked up (1), a connection is being made (2), the request went out (11).
    constexpr unsigned long kFindingResource = 1, kConnecting = 2, kSendingRequest = 11;
    static const struct {
        std::uint32_t result;
        const char* text;
    } kTexts[] = {
        {0x800C0002u, "Invalid address"},                    // INET_E_INVALID_URL
        {0x800C0003u, "No Internet session"},                // INET_E_NO_SESSION
        {0x800C0004u, "Could not connect to the server"},    // INET_E_CANNOT_CONNECT
        {0x800C0005u, "Document not found"},                 // INET_E_RESOURCE_NOT_FOUND
        {0x800C0006u, "Document not found"},                 // INET_E_OBJECT_NOT_FOUND
        {0x800C0007u, "No data received from the server"},   // INET_E_DATA_NOT_AVAILABLE
        {0x800C0009u, "Sign-in required"},                   // INET_E_AUTHENTICATION_REQUIRED
        {0x800C000Au, "Unsupported document"},               // INET_E_NO_VALID_MEDIA
        {0x800C000Bu, "The server did not answer in time"},  // INET_E_CONNECTION_TIMEOUT
        {0x800C000Cu, "Invalid request"},                    // INET_E_INVALID_REQUEST
        {0x800C000Du, "Unsupported address type"},           // INET_E_UNKNOWN_PROTOCOL
        {0x800C000Eu, "Secure connection failed"},           // INET_E_SECURITY_PROBLEM
        {0x800C000Fu, "Could not load the document"},        // INET_E_CANNOT_LOAD_DATA
        {0x800C0014u, "Redirection failed"},                 // INET_E_REDIRECT_FAILED
        {0x800C0019u, "Certificate error"},                  // INET_E_INVALID_CERTIFICATE
        {0x80004004u, "Download cancelled"},                 // E_ABORT
        {0x8007000Eu, "Out of memory"},                      // E_OUTOFMEMORY
        {0x80070070u, "Disk full"},                          // ERROR_DISK_FULL
        {0x80070005u, "Access denied"},                      // E_ACCESSDENIED
    };
    const std::uint32_t code = static_cast<std::uint32_t>(result);
    if (code == 0x800C0008u) {  // INET_E_DOWNLOAD_FAILURE
        if (furthest_status == kFindingResource) return "Server name not found";
        if (furthest_status == kConnecting) return "Could not connect to the server";
        return furthest_status == kSendingRequest ? "The server did not answer" : "Download failed";
    }
    for (const auto& row : kTexts)
        if (row.result == code) return row.text;
    return "Download failed";
}

const char* write_failure_reason(int error_number) noexcept {
    switch (error_number) {
    case ENOSPC:
        return "disk full";
    case EACCES:
        return "access denied";
    case EFBIG:
        return "file too large";
    case EIO:
        return "input/output error";
    case EBADF:
        return "file not open for writing";
    default:
        return "write error";
    }
}

int file_error_number(unsigned long system_error) noexcept {
    // The C runtime's table (_dosmaperr): these errors by name, two ranges,
    // and EINVAL for every other.
    static const struct {
        unsigned short error;
        unsigned char errno_value;
    } kErrors[] = {
        {1, EINVAL},    {2, ENOENT},   {3, ENOENT},   {4, EMFILE},   {5, EACCES},      {6, EBADF},
        {7, ENOMEM},    {8, ENOMEM},   {9, ENOMEM},   {10, E2BIG},   {11, ENOEXEC},    {12, EINVAL},
        {13, EINVAL},   {15, ENOENT},  {16, EACCES},  {17, EXDEV},   {18, ENOENT},     {53, ENOENT},
        {65, EACCES},   {67, ENOENT},  {80, EEXIST},  {82, EACCES},  {83, EACCES},     {87, EINVAL},
        {89, EAGAIN},   {108, EACCES}, {109, EPIPE},  {112, ENOSPC}, {114, EBADF},     {128, ECHILD},
        {129, ECHILD},  {130, EBADF},  {131, EINVAL}, {132, EACCES}, {145, ENOTEMPTY}, {158, EACCES},
        {161, ENOENT},  {164, EAGAIN}, {167, EACCES}, {183, EEXIST}, {206, ENOENT},    {215, EAGAIN},
        {1816, ENOMEM},
    };
    for (const auto& row : kErrors)
        if (row.error == system_error) return row.errno_value;
    if (system_error >= 19 && system_error <= 36) return EACCES;     // write protect .. sharing buffer
    if (system_error >= 188 && system_error <= 202) return ENOEXEC;  // bad executable images
    return EINVAL;
}

std::int32_t write_failure_result(int error_number) noexcept {
    switch (error_number) {
    case ENOSPC:
        return static_cast<std::int32_t>(0x80070070u);  // ERROR_DISK_FULL
    case EACCES:
        return static_cast<std::int32_t>(0x80070005u);  // E_ACCESSDENIED
    default:
        return static_cast<std::int32_t>(0x80004005u);  // E_FAIL
    }
}

namespace {
bool equal_ascii_nocase(const char* a, size_t a_length, const char* b) noexcept {
    if (std::strlen(b) != a_length) return false;
    for (size_t i = 0; i < a_length; ++i) {
        char c = a[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != b[i]) return false;
    }
    return true;
}
}  // namespace

bool is_web_page_type(const char* content_type) noexcept {
    if (!content_type) return false;
    while (*content_type == ' ' || *content_type == '\t') ++content_type;
    size_t n = 0;
    while (content_type[n] && content_type[n] != ';') ++n;
    while (n > 0 && (content_type[n - 1] == ' ' || content_type[n - 1] == '\t')) --n;
    return equal_ascii_nocase(content_type, n, "text/html");
}

bool is_document_type(const wchar_t* mime) noexcept {
    if (!mime) return false;
    for (const document_type* document : kDocumentTypes) {
        const char* const type = document->mime;
        size_t i = 0;
        for (; type[i] && mime[i]; ++i) {
            wchar_t c = mime[i];
            if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
            if (c != static_cast<unsigned char>(type[i])) break;
        }
        if (!type[i] && !mime[i]) return true;
    }
    return false;
}

unsigned long long announced_size(unsigned long long received, unsigned long progress_max) noexcept {
    constexpr unsigned long long kWrap = 0x100000000ull;
    if (progress_max == 0) return 0;
    const unsigned long long size = (received & ~(kWrap - 1)) | progress_max;
    return size < received ? size + kWrap : size;
}

bool parse_content_length(const char* text, unsigned long long* value) noexcept {
    if (!text || !value) return false;
    bool first = true;
    unsigned long long whole = 0;
    for (;;) {
        while (*text == ' ' || *text == '\t') ++text;
        if (*text < '0' || *text > '9') return false;
        unsigned long long v = 0;
        for (; *text >= '0' && *text <= '9'; ++text) {
            const unsigned digit = static_cast<unsigned>(*text - '0');
            if (v > (~0ull - digit) / 10) return false;  // overflow
            v = v * 10 + digit;
        }
        if (!first && v != whole) return false;  // two lengths: no length
        whole = v;
        first = false;
        while (*text == ' ' || *text == '\t') ++text;
        if (!*text) break;
        if (*text++ != ',') return false;
    }
    *value = whole;
    return true;
}

long check_http_framing(const char* transfer_encoding, const char* content_length, bool encoded,
                        unsigned long long received, char* out, size_t out_size) noexcept {
    if (out && out_size) out[0] = '\0';
    // The codings, in the order they were applied; parameters after ";" aside.
    bool chunked = false;
    for (const char* at = transfer_encoding; at && *at;) {
        while (*at == ' ' || *at == '\t' || *at == ',') ++at;
        const char* end = at;
        while (*end && *end != ',' && *end != ';' && *end != ' ' && *end != '\t') ++end;
        const size_t n = static_cast<size_t>(end - at);
        if (equal_ascii_nocase(at, n, "chunked")) {
            chunked = true;
        } else if (n != 0 && !equal_ascii_nocase(at, n, "identity")) {
            char name[65];  // as sent, control characters shown as '?'
            size_t k = 0;
            for (; k < n && k + 1 < sizeof name; ++k) {
                const unsigned char c = static_cast<unsigned char>(at[k]);
                name[k] = c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c);
            }
            name[k] = '\0';
            if (out && out_size) std::snprintf(out, out_size, "Unsupported transfer coding: %s", name);
            return kDownloadFailure;
        }
        while (*end && *end != ',') ++end;  // its parameters
        at = end;
    }
    if (chunked || !content_length) return 0;
    unsigned long long expected = 0;
    if (!parse_content_length(content_length, &expected)) {
        if (out && out_size) std::snprintf(out, out_size, "Invalid Content-Length");
        return kDownloadFailure;
    }
    if (encoded || received >= expected) return 0;
    format_incomplete(out, out_size, received, expected);
    return kDownloadFailure;
}

char_buffer::char_buffer(size_t size) noexcept : data_(new (std::nothrow) char[size ? size : 1]) {
    if (data_) data_[0] = '\0';
}

}  // namespace gn
