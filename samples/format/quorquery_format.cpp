#include "quorquery_format.h"

#include <algorithm>
#include <fstream>
#include <new>

namespace quorquery {

namespace {

constexpr std::string_view kHeader = "QUORQUERY 1";
constexpr std::string_view kHeaderWord = "QUORQUERY";
constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool starts_with(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// Control bytes other than tab, and DEL.
bool has_control_byte(std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return (b < 0x20 && b != '\t') || b == 0x7F;
    });
}

// Well-formed UTF-8: no stray continuation bytes, no overlong forms, no
// surrogates, nothing above U+10FFFF.
bool is_utf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        std::size_t extra;
        unsigned long cp;
        if (b < 0x80) { ++i; continue; }
        if (b >= 0xC2 && b <= 0xDF) { extra = 1; cp = b & 0x1F; }
        else if (b >= 0xE0 && b <= 0xEF) { extra = 2; cp = b & 0x0F; }
        else if (b >= 0xF0 && b <= 0xF4) { extra = 3; cp = b & 0x07; }
        else return false;
        if (s.size() - i <= extra) return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        if ((extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

std::vector<std::string> split_cells(std::string_view s) {
    std::vector<std::string> cells;
    for (;;) {
        const std::size_t bar = s.find('|');
        cells.emplace_back(trim(s.substr(0, bar)));
        if (bar == std::string_view::npos) break;
        s.remove_prefix(bar + 1);
    }
    return cells;
}

class Parser {
public:
    explicit Parser(ParseResult& result) : r_(result) {}

    void run(std::string_view text) {
        if (text.empty()) return fail(Error::empty, 0, "the document is empty");
        if (text.size() > kMaxDocumentBytes)
            return fail(Error::too_large, 0, "the document is larger than 1 MiB");
        if (starts_with(text, kBom)) text.remove_prefix(kBom.size());
        std::size_t number = 0;
        while (!text.empty() && r_.ok()) {
            const std::size_t end = text.find('\n');
            const bool terminated = end != std::string_view::npos;
            std::string_view line = text.substr(0, end);
            text.remove_prefix(terminated ? end + 1 : text.size());
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            ++number;
            const bool last_unterminated = !terminated;
            one_line(line, number, last_unterminated);
        }
        if (!r_.ok()) return;
        if (number == 0) return fail(Error::empty, 0, "the document is empty");
        if (!ended_)
            fail(Error::truncated, 0, "the document is truncated: it ends before its End line");
    }

private:
    void one_line(std::string_view line, std::size_t n, bool last_unterminated) {
        if (n == 1) return header(line);
        if (line.size() > kMaxLineBytes)
            return fail(Error::line_too_long, n, "a line is longer than 4096 bytes");
        if (has_control_byte(line))
            return fail(Error::binary, n, "binary data (a NUL or control byte)");
        if (!is_utf8(line)) return fail(Error::not_utf8, n, "bytes that are not UTF-8 text");
        const std::string_view t = trim(line);
        if (t.empty() || t.front() == '#') return;
        if (ended_) return fail(Error::after_end, n, "text after the End line");
        record(t, n);
        // A structural error on a last line without its line end is the cut
        // itself: the text stops in the middle of a record.
        if (!r_.ok() && last_unterminated &&
            (r_.error == Error::unknown_line || r_.error == Error::cell_count))
            fail(Error::truncated, n, "the document is truncated in the middle of a line");
    }

    void header(std::string_view line) {
        if (line.size() > kMaxLineBytes || !starts_with(line, kHeaderWord))
            return fail(Error::not_quorquery, 1,
                        "not a QuorQuery document (the first line is not \"QUORQUERY 1\")");
        if (trim(line) != kHeader)
            return fail(Error::unsupported_version, 1,
                        "unsupported QuorQuery version (only \"QUORQUERY 1\" is read)");
    }

    void record(std::string_view t, std::size_t n) {
        if (starts_with(t, "Title:")) {
            if (have_title_) return fail(Error::duplicate, n, "a second Title line");
            r_.document.title = std::string(trim(t.substr(6)));
            if (r_.document.title.empty()) return fail(Error::missing_title, n, "the title is empty");
            have_title_ = true;
        } else if (starts_with(t, "Columns:")) {
            if (!have_title_) return fail(Error::missing_title, n, "the Columns line comes before a Title line");
            if (have_columns_) return fail(Error::duplicate, n, "a second Columns line");
            auto cells = split_cells(t.substr(8));
            if (cells.size() > kMaxColumns) return fail(Error::too_many_columns, n, "more than 64 columns");
            for (const auto& c : cells)
                if (c.empty()) return fail(Error::bad_columns, n, "a column has no name");
            r_.document.columns = std::move(cells);
            have_columns_ = true;
        } else if (starts_with(t, "Row:")) {
            if (!have_columns_) return fail(Error::missing_columns, n, "a row comes before the Columns line");
            if (r_.document.rows.size() >= kMaxRows) return fail(Error::too_many_rows, n, "more than 10000 rows");
            auto cells = split_cells(t.substr(4));
            if (cells.size() != r_.document.columns.size())
                return fail(Error::cell_count, n,
                            "the row has " + std::to_string(cells.size()) + " cells, the table has " +
                                std::to_string(r_.document.columns.size()) + " columns");
            r_.document.rows.push_back(std::move(cells));
        } else if (t == "End") {
            if (!have_title_) return fail(Error::missing_title, n, "the document has no Title line");
            if (!have_columns_) return fail(Error::missing_columns, n, "the document has no Columns line");
            ended_ = true;
        } else {
            fail(Error::unknown_line, n, "an unknown line (expected Title:, Columns:, Row: or End)");
        }
    }

    void fail(Error e, std::size_t n, const std::string& what) {
        r_.error = e;
        r_.line = n;
        r_.message = n ? "line " + std::to_string(n) + ": " + what : what;
    }

    ParseResult& r_;
    bool have_title_ = false;
    bool have_columns_ = false;
    bool ended_ = false;
};

// The first `width` characters of a UTF-8 text.
std::string_view take_chars(std::string_view s, std::size_t width) {
    std::size_t chars = 0, i = 0;
    for (; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (chars == width) break;
            ++chars;
        }
    }
    return s.substr(0, i);
}

std::string fit(const std::string& cell, std::size_t max_width) {
    if (max_width == 0 || text_width(cell) <= max_width) return cell;
    if (max_width <= 3) return std::string(take_chars(cell, max_width));
    return std::string(take_chars(cell, max_width - 3)) + "...";
}

std::string pad(const std::string& s, std::size_t width) {
    const std::size_t w = text_width(s);
    return w >= width ? s : s + std::string(width - w, ' ');
}

std::string table_line(const std::vector<std::string>& cells, const std::vector<std::size_t>& widths) {
    std::string out;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i) out += " | ";
        out += i + 1 < cells.size() ? pad(cells[i], widths[i]) : cells[i];
    }
    return out;
}

}  // namespace

std::size_t text_width(std::string_view utf8) {
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

ParseResult parse(std::string_view text) {
    ParseResult result;
    try {
        Parser(result).run(text);
    } catch (const std::bad_alloc&) {
        result = ParseResult{};
        result.error = Error::no_memory;
        result.message = "not enough memory to read the document";
    }
    if (!result.ok()) result.document = Document{};
    return result;
}

ParseResult parse_file(const std::string& path) {
    ParseResult result;
    try {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            result.error = Error::unreadable;
            result.message = "cannot open the document file";
            return result;
        }
        std::string text(kMaxDocumentBytes + 1, '\0');
        in.read(&text[0], static_cast<std::streamsize>(text.size()));
        if (in.bad()) {
            result.error = Error::unreadable;
            result.message = "cannot read the document file";
            return result;
        }
        text.resize(static_cast<std::size_t>(in.gcount()));
        return parse(text);
    } catch (const std::bad_alloc&) {
        result = ParseResult{};
        result.error = Error::no_memory;
        result.message = "not enough memory to read the document";
        return result;
    }
}

std::vector<std::string> render_lines(const Document& document, std::size_t max_cell_width) {
    std::vector<std::string> lines;
    try {
        lines.push_back(document.title);
        lines.push_back(std::string(std::max<std::size_t>(text_width(document.title), 1), '='));
        lines.emplace_back();
        std::vector<std::string> header;
        for (const auto& c : document.columns) header.push_back(fit(c, max_cell_width));
        std::vector<std::vector<std::string>> rows;
        for (const auto& row : document.rows) {
            std::vector<std::string> cells;
            for (std::size_t i = 0; i < header.size(); ++i)
                cells.push_back(i < row.size() ? fit(row[i], max_cell_width) : std::string());
            rows.push_back(std::move(cells));
        }
        std::vector<std::size_t> widths;
        for (const auto& h : header) widths.push_back(text_width(h));
        for (const auto& row : rows)
            for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], text_width(row[i]));
        if (!header.empty()) {
            lines.push_back(table_line(header, widths));
            std::string rule;
            for (std::size_t i = 0; i < widths.size(); ++i) {
                if (i) rule += "-+-";
                rule += std::string(widths[i], '-');
            }
            lines.push_back(rule);
        }
        for (const auto& row : rows) lines.push_back(table_line(row, widths));
        lines.emplace_back();
        const std::size_t n = document.rows.size();
        lines.push_back(std::to_string(n) + (n == 1 ? " row" : " rows"));
    } catch (const std::bad_alloc&) {
        lines.clear();
    }
    return lines;
}

std::vector<std::string> render_error(const ParseResult& result) {
    std::vector<std::string> lines;
    try {
        lines.push_back("The document cannot be shown");
        lines.push_back(result.message.empty() ? "unknown error" : result.message);
    } catch (const std::bad_alloc&) {
        lines.clear();
    }
    return lines;
}

}  // namespace quorquery
