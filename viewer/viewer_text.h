// Pure helpers of the viewer: the command line and the shape of a target
// (URL or file path). No platform calls beyond string handling, no state.
#pragma once

#include <string>
#include <vector>

namespace gnviewer {

// The longest --close-after-ms the viewer accepts: one hour.
constexpr unsigned long kMaxCloseAfterMs = 60UL * 60UL * 1000UL;

struct Options {
    std::wstring target;           // URL or file path, as given
    bool close_after = false;      // --close-after-ms given
    unsigned long close_after_ms = 0;
    std::wstring record_path;      // --record FILE, empty when not asked
    std::wstring user, password;   // --user NAME --password PASS: the login a server asks for
    std::wstring error;            // non-empty when the command line is unusable
};

// gnviewer.exe <url-or-path> [--close-after-ms N] [--record <file>]
//              [--user <name> --password <password>]
// args excludes the program name.
Options parse_command_line(const std::vector<std::wstring>& args);
std::wstring usage();

enum class TargetKind { http, file_url, path, unsupported };

// http:// and https:// are web targets; file: URLs and plain paths are files;
// any other scheme (ftp:, javascript:, ...) is unsupported.
TargetKind classify(const std::wstring& target);

// The host name of an http(s) URL (lower case, without port or brackets).
std::wstring url_host(const std::wstring& url);
// Whether an http(s) URL names this machine's loopback interface.
bool is_loopback_url(const std::wstring& url);

// The URL a browser shows for a full file path: "file://" followed by the path.
std::wstring file_url(const std::wstring& full_path);
// The file path inside a file URL ("file://C:\d\x.dzy", "file:///C:/d/x.dzy"),
// with backslashes; empty when it is not a file URL.
std::wstring file_url_path(const std::wstring& url);

// The extension of the last path segment, with its dot, in lower case
// (".dzy"); the query and fragment of a URL are ignored. Empty when none.
std::wstring extension_of(const std::wstring& target);

// A Content-Type header value reduced to its media type: parameters dropped,
// blanks trimmed, lower case ("Application/X-QuorQuery; q=1" -> "application/x-quorquery").
std::wstring media_type(const std::wstring& content_type);

// How far a download is, in percent (0 to 100); 0 when the total is unknown.
unsigned download_percent(unsigned long done, unsigned long total);

// Text for the record and the status bar: "0x%08lX".
std::string hresult_text(long hr);
// UTF-8 of a wide text (unpaired surrogates become U+FFFD).
std::string to_utf8(const std::wstring& text);

}  // namespace gnviewer
