// Text rules of the version service: version text, class-identifier text,
// registry strings and URLs. Pure helpers without hidden state.
#pragma once

#include <windows.h>

#include <cstddef>

namespace gn {

// Room for the longest version text, "65535.65535.65535.65535", and its zero.
constexpr size_t kVersionTextSize = 24;

// "%d.%d.%d.%d" of the four 16-bit parts of a file version: high and low half
// of the most significant double word, then of the least significant one.
void format_file_version(DWORD ms, DWORD ls, char (&out)[kVersionTextSize]) noexcept;

// True for the registry form of an identifier: "{" 8-4-4-4-12 hex digits "}",
// 38 characters, nothing before or after. Either case of hex digit passes.
bool is_braced_guid(const char* text) noexcept;

// Makes the size bytes that a registry read put into buf (capacity bytes) a
// zero-terminated string. The registry does not promise a terminator (values
// of other types, strings stored without one); false when the data fills the
// whole buffer without one, so no string can be taken from it.
bool terminate_registry_text(char* buf, DWORD capacity, DWORD size) noexcept;

// A URL is blank when null, empty or made of space characters (0x20) only.
bool is_blank_url(const char* url) noexcept;

// The longest URL a page can hand over, in characters: the browser's own limit.
constexpr UINT kMaxUrlLength = 2083;
// The most mappings the URL map holds; past it, new names are refused.
constexpr DWORD kMaxUrlMapEntries = 1000;

// Scripts reach the log through their arguments: an argument is written with
// at most kLogArgumentLimit bytes, and a longer one ends in kLogCutMarker.
constexpr size_t kLogArgumentLimit = 512;
constexpr char kLogCutMarker[] = "...(cut)";
constexpr size_t kLogArgumentSize = kLogArgumentLimit + sizeof kLogCutMarker;

// text itself when it fits the limit (null gives ""), else its first
// kLogArgumentLimit bytes and the marker, copied into buf.
const char* log_argument(const char* text, char (&buf)[kLogArgumentSize]) noexcept;

// An 8-bit copy of a wide string in the system code page. exact() tells
// whether the copy stands for the wide text faithfully: every character has
// its own code in the code page (no replacement, no best-fit look-alike) and
// the text holds no zero character that would cut the 8-bit string short.
class system_text {
public:
    system_text() noexcept = default;
    ~system_text();
    system_text(const system_text&) = delete;
    system_text& operator=(const system_text&) = delete;

    // Converts length characters of text (null counts as empty).
    // E_OUTOFMEMORY leaves an empty, inexact copy.
    HRESULT assign(const wchar_t* text, UINT length) noexcept;
    const char* c_str() const noexcept { return data_ ? data_ : ""; }
    bool exact() const noexcept { return exact_; }

private:
    char* data_ = nullptr;
    bool exact_ = true;
};

}  // namespace gn
