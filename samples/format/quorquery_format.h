// The QuorQuery Document text format (samples/FORMAT.md): a header line, a
// title and one small table. parse() checks a document and returns its
// title and table, or a clear error with the line where it was found;
// render_lines() turns a parsed document into text lines for a window.
// Standard C++ only: no platform calls, no hidden state, no exceptions
// escape (an allocation failure is reported as an error).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quorquery {

// Limits that keep a hostile document small to hold and quick to reject.
constexpr std::size_t kMaxDocumentBytes = 1024 * 1024;
constexpr std::size_t kMaxLineBytes = 4096;
constexpr std::size_t kMaxColumns = 64;
constexpr std::size_t kMaxRows = 10000;

enum class Error {
    none,
    unreadable,           // the file could not be opened or read
    empty,                // no bytes at all
    too_large,            // more than kMaxDocumentBytes
    not_quorquery,        // the first line is not a QuorQuery header
    unsupported_version,  // "QUORQUERY <n>" with n other than 1
    line_too_long,        // a line longer than kMaxLineBytes
    binary,               // NUL or another control byte
    not_utf8,             // bytes that are not UTF-8
    unknown_line,         // a line that is none of the known records
    duplicate,            // a second Title or Columns line
    missing_title,        // table or End before a (non-empty) title
    missing_columns,      // a row or End before the Columns line
    bad_columns,          // an empty column name
    too_many_columns,
    cell_count,           // a row whose cell count differs from the columns
    too_many_rows,
    after_end,            // a record after End
    truncated,            // the text ends before End
    no_memory,
};

struct Document {
    std::string title;
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;
};

struct ParseResult {
    Error error = Error::none;
    std::size_t line = 0;  // 1-based line of the error; 0 when it concerns the whole text
    std::string message;   // one English sentence, with the line number when there is one
    Document document;     // complete only when ok()
    bool ok() const { return error == Error::none; }
};

// Checks and parses a whole document held in memory.
ParseResult parse(std::string_view text);
// Reads a file (at most kMaxDocumentBytes + 1 bytes of it) and parses it.
ParseResult parse_file(const std::string& path);

// Text lines for display: the title, an underline, a blank line, the header
// row, a rule, one line per row and a line counting the rows. Columns are
// padded to their widest cell in characters; a cell wider than
// max_cell_width characters is cut and ends in "..." (0: no limit).
std::vector<std::string> render_lines(const Document& document, std::size_t max_cell_width = 40);

// Lines for a document that could not be parsed: a heading and the message.
std::vector<std::string> render_error(const ParseResult& result);

// Characters (UTF-8 code points) in a valid UTF-8 text.
std::size_t text_width(std::string_view utf8);

}  // namespace quorquery
