// Pure text rules of the translation table file (quorttbl.txt): one entry per
// line, "source<TAB>translation", with the escapes \n, \r and \t in both
// fields and the markers that say "show the source text unchanged".
#pragma once

#include <string>

namespace gn {

// Splits one line of the table at its first tab: the part before it is the
// source field, the rest (further tabs included) the translation field.
// The line ends at its first NUL byte. False when there is no tab.
bool split_table_line(const char* line, std::string& source, std::string& translation);

// Resolves the escapes "\n", "\r" and "\t" in place, scanning from the last
// character towards the first; any other backslash stays as it is. So of
// backslash, backslash, n the last two become one line feed.
void resolve_escapes(std::string& field);

// Cuts a carriage return or line feed off the last character of the field and
// then off the one before it (that one is looked at even when the last was
// not a line end); cutting one shortens the field to end there.
void trim_line_end(std::string& field);

// True when the translation field is a marker instead of a translation:
// exactly "?", exactly "[TBT]", or any field containing "[NU]".
bool is_untranslated_marker(const std::string& translation);

// The text to show for a matching line: the source field when the prepared
// translation is a marker, else the translation.
std::string shown_text(const std::string& source, std::string translation);

// Prepares a raw translation field as read from the file (line end cut,
// escapes resolved) and chooses the text to show.
std::string prepare_translation(const std::string& source, std::string raw_translation);

}  // namespace gn
