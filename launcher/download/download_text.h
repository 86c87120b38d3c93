// Text work of the download: the legacy-server cookie test, the cookie line
// written to the log, the temporary file name and the texts and codes of a
// failed transfer. Pure functions, no hidden state, in plain types: result
// codes are the platform's 32-bit HRESULT values held in a long.
#pragma once

#include <cstddef>
#include <cstdint>

namespace gn {

// Cookie names that mark a document served by the legacy (6.x) server, in the
// order they are tested. The equals sign belongs to the name.
extern const char* const kLegacyCookieNames[3];

// True when one of the ";"-separated tokens of cookies holds a legacy cookie
// name whose first occurrence in the token starts it or follows a blank.
// A null text holds none.
bool has_legacy_cookie(const char* cookies) noexcept;

// Writes the cookie names with their values masked ("a=***; b=***") into out
// (always zero-terminated when out_size > 0, cut short when too small) and
// returns the length of the whole masked text, without the terminator.
// Control characters of a name are written as '?'.
size_t mask_cookies(const char* cookies, char* out, size_t out_size) noexcept;

// True for a URL that begins with "file://" (case-sensitive). False for null.
bool is_file_url(const wchar_t* url) noexcept;

// Composes "<dir>\<prefix><number>.tmp" into out, with one backslash after
// the directory whether or not dir ends in one. When the name does not fit in
// out_size characters (terminator included), out is left empty and false returned.
bool compose_temp_name(wchar_t* out, size_t out_size, const wchar_t* dir, const wchar_t* prefix,
                       unsigned long number) noexcept;

// True for a final HTTP status that carries the whole document: 2xx but 204
// and 205 (no content), 206 (a part, never asked for) and 226 (a delta).
bool is_document_status(unsigned long status) noexcept;
// The result code of a download whose final HTTP answer carries no document:
// not found, a redirect left unfollowed, or any other status.
long http_status_result(unsigned long status) noexcept;
// "HTTP <code> <reason>" (no blank and no reason when the reason is empty).
void format_http_error(char* out, size_t out_size, unsigned long status, const char* reason) noexcept;
// "Incomplete download: <received> of <expected> bytes".
void format_incomplete(char* out, size_t out_size, unsigned long long received,
                       unsigned long long expected) noexcept;
// True for a binding result that reports a refused server certificate
// (INET_E_INVALID_CERTIFICATE) or another failure of the secure channel
// (INET_E_SECURITY_PROBLEM), which may be a certificate's too.
bool is_secure_channel_failure(long hr) noexcept;
// Why a server certificate is refused, from the WinINet error of a secure
// request to the server and the security flags of that request: "untrusted
// root", "expired", "wrong host name", "revoked", "revocation unknown", or
// null when neither names a certificate problem.
const char* certificate_reason(unsigned long error, unsigned long security_flags) noexcept;
// "Certificate error: <reason>", or "Certificate error" for a null reason.
void format_certificate_error(char* out, size_t out_size, const char* reason) noexcept;
// A short English text saying why a download failed, for a result code that
// came without a text of the platform's ("Could not connect to the server",
// "Server name not found", ...). furthest_status is the furthest step of the
// binding reported through its progress (a BINDSTATUS value, 0 for none): a
// generic failure before the server was reached is a name or a connection
// that failed. Never null, never empty.
const char* failure_text(std::int32_t result, unsigned long furthest_status) noexcept;
// The reason a write to the temporary file failed, from the C runtime's error
// number: "disk full", "access denied", ... Never null, never empty.
const char* write_failure_reason(int error_number) noexcept;
// The C runtime's error number for a system error of a file operation
// (ENOENT, EACCES, ...), as the runtime's own file calls would set it.
int file_error_number(unsigned long system_error) noexcept;
// The result code of a failed write to the temporary file.
std::int32_t write_failure_result(int error_number) noexcept;
// True when a Content-Type value names a web page (text/html, parameters and
// case aside).
bool is_web_page_type(const char* content_type) noexcept;
// True for the MIME types of the report format ("application/x-quorquery",
// "application/x-quorquerydata"), case aside. False for null.
bool is_document_type(const wchar_t* mime) noexcept;

// The size a 32-bit progress maximum announces for a transfer that brought
// received bytes (0: none announced). The platform gives a size as its low
// 32 bits, so the size is the first count from received on whose low 32 bits
// are the maximum: more bytes than the maximum mean a size past it (a 6 GB
// file cut at 3 GB is expected at 6 GB, not at its 1.7 GB low bits), and a
// transfer never counts as whole with fewer bytes than it received.
unsigned long long announced_size(unsigned long long received, unsigned long progress_max) noexcept;

// Parses a Content-Length value: decimal digits, blanks around allowed, or a
// list of the same number (repeated headers joined by a proxy: "100, 100").
bool parse_content_length(const char* text, unsigned long long* value) noexcept;

// Checks how a body that the platform delivered whole was framed, from the
// values of its answer's headers (null when absent; repeated headers joined
// by ", "): a transfer coding other than chunked (or identity), which the
// platform does not decode, fails naming it; a chunked body is whole as it
// came, whatever Content-Length says; a Content-Length that does not parse
// fails ("Invalid Content-Length"); fewer bytes than it announces fail as an
// incomplete download, unless the content is encoded (the length then counts
// the bytes before decoding). Returns 0 or the failure code, its text in out.
long check_http_framing(const char* transfer_encoding, const char* content_length, bool encoded,
                        unsigned long long received, char* out, size_t out_size) noexcept;

// Owner of a buffer from new[] (std::nothrow), for cookie texts and the like.
class char_buffer {
public:
    explicit char_buffer(size_t size) noexcept;
    ~char_buffer() { delete[] data_; }
    char_buffer(const char_buffer&) = delete;
    char_buffer& operator=(const char_buffer&) = delete;
    char* get() const noexcept { return data_; }
    explicit operator bool() const noexcept { return data_ != nullptr; }

private:
    char* data_ = nullptr;
};

}  // namespace gn
