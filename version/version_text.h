// Text rules of the version service: version text, class-identifier text,
// registry strings and URLs. Pure helpers without hidden state, in plain
// types: the Windows side converts.
#pragma once

#include <cstddef>

namespace gn {

// Room for the longest version text, "65535.65535.65535.65535", and its zero.
constexpr size_t kVersionTextSize = 24;

// "%d.%d.%d.%d" of the four 16-bit parts of a file version: high and low half
// of the most significant double word, then of the least significant one.
void format_file_version(unsigned long ms, unsigned long ls, char (&out)[kVersionTextSize]) noexcept;

// True for the registry form of an identifier: "{" 8-4-4-4-12 hex digits "}",
// 38 characters, nothing before or after. Either case of hex digit passes.
bool is_braced_guid(const char* text) noexcept;

// Makes the size bytes that a registry read put into buf (capacity bytes) a
// zero-terminated string. The registry does not promise a terminator (values
// of other types, strings stored without one); false when the data fills the
// whole buffer without one, so no string can be taken from it.
bool terminate_registry_text(char* buf, unsigned long capacity, unsigned long size) noexcept;

// A URL is blank when null, empty or made of space characters (0x20) only.
bool is_blank_url(const char* url) noexcept;

// The longest URL a page can hand over, in characters: the browser's own limit.
constexpr unsigned kMaxUrlLength = 2083;
// The most mappings the URL map holds; past it, new names are refused.
constexpr unsigned long kMaxUrlMapEntries = 1000;

// Scripts reach the log through their arguments: an argument is written with
// at most kLogArgumentLimit bytes, and a longer one ends in kLogCutMarker.
constexpr size_t kLogArgumentLimit = 512;
constexpr char kLogCutMarker[] = "...(cut)";
constexpr size_t kLogArgumentSize = kLogArgumentLimit + sizeof kLogCutMarker;

// text itself when it fits the limit (null gives ""), else its first
// kLogArgumentLimit bytes and the marker, copied into buf.
const char* log_argument(const char* text, char (&buf)[kLogArgumentSize]) noexcept;

}  // namespace gn
