// The QuorQuery text format: the bundled samples, what it accepts, every
// class of malformed input, rendering, and files.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

#include "quorquery_format.h"
#include "support/module.h"

using quorquery::Error;
using quorquery::parse;

namespace {

std::string sample(const char* name) { return gntest::read_file(std::string(GN_SAMPLES_DIR) + name); }

const char kSmall[] =
    "QUORQUERY 1\n"
    "Title: Small\n"
    "Columns: a|b|c\n"
    "Row: 1|2|3\n"
    "End\n";

}  // namespace

TEST(FormatTest, BundledSamplesParseAndRender) {
    const auto report = parse(sample("quarterly.dzy"));
    ASSERT_TRUE(report.ok()) << report.message;
    EXPECT_EQ("Quarterly sales report 2023", report.document.title);
    ASSERT_EQ(5u, report.document.columns.size());
    EXPECT_EQ("Net sales (EUR)", report.document.columns[2]);
    ASSERT_EQ(8u, report.document.rows.size());
    EXPECT_EQ("+26.8%", report.document.rows[6][4]);

    const auto lines = quorquery::render_lines(report.document);
    ASSERT_EQ(3u + 2u + 8u + 2u, lines.size());
    EXPECT_EQ("Quarterly sales report 2023", lines[0]);
    EXPECT_EQ(std::string(27, '='), lines[1]);
    EXPECT_EQ("", lines[2]);
    EXPECT_EQ("Quarter | Region | Net sales (EUR) | Units | Change", lines[3]);
    EXPECT_EQ("--------+--------+-----------------+-------+-------", lines[4]);
    EXPECT_EQ("Q1      | North  | 128 400         | 3 210 | +4.1%", lines[5]);
    EXPECT_EQ("8 rows", lines.back());

    const auto data = parse(sample("regions.dzd"));
    ASSERT_TRUE(data.ok()) << data.message;
    EXPECT_EQ("Sales regions", data.document.title);
    EXPECT_EQ(4u, data.document.rows.size());
}

TEST(FormatTest, AcceptsLineEndsMarkCommentsAndLooseSpacing) {
    const auto r = parse(
        "\xEF\xBB\xBFQUORQUERY 1\r\n"
        "# a comment\r\n"
        "\r\n"
        "  Title:   Spaced title  \r\n"
        "Columns: x | y\r\n"
        "Row:  | second \r\n"
        "\t# indented comment\r\n"
        "End");  // the End line needs no line end
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ("Spaced title", r.document.title);
    ASSERT_EQ(1u, r.document.rows.size());
    EXPECT_EQ("", r.document.rows[0][0]);
    EXPECT_EQ("second", r.document.rows[0][1]);
    // Comments and blank lines may follow End.
    EXPECT_TRUE(parse(std::string(kSmall) + "\n# done\n").ok());
}

TEST(FormatTest, RejectsMalformedDocumentsWithTheirLine) {
    const std::string head = "QUORQUERY 1\nTitle: T\nColumns: a|b|c\n";
    const std::string many_columns = "QUORQUERY 1\nTitle: T\nColumns: c" +
                                     [] { std::string s; for (int i = 0; i < 64; ++i) s += "|c"; return s; }() +
                                     "\nEnd\n";
    std::string many_rows = head;
    for (int i = 0; i < 10001; ++i) many_rows += "Row: 1|2|3\n";
    many_rows += "End\n";
    const struct {
        const char* name;
        std::string text;
        Error error;
        size_t line;
    } cases[] = {
        {"empty", "", Error::empty, 0},
        {"html page", "<html><body>Not Found</body></html>\n", Error::not_quorquery, 1},
        {"png bytes", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), Error::not_quorquery, 1},
        {"lower-case header", "quorquery 1\nEnd\n", Error::not_quorquery, 1},
        {"other version", "QUORQUERY 2\nTitle: T\n", Error::unsupported_version, 1},
        {"header only", "QUORQUERY 1\n", Error::truncated, 0},
        {"cut after a row", head + "Row: 1|2|3\n", Error::truncated, 0},
        {"cut inside a row", head + "Row: 1|2", Error::truncated, 4},
        {"cut inside End", head + "En", Error::truncated, 4},
        {"nul byte", head + std::string("Row: 1|\0|3\nEnd\n", 15), Error::binary, 4},
        {"escape byte", head + "Row: 1|\x1b[2J|3\nEnd\n", Error::binary, 4},
        {"bare carriage return", head + "Row: 1|2\r|3\nEnd\n", Error::binary, 4},
        {"latin-1 byte", head + "Row: Z\xfcrich|2|3\nEnd\n", Error::not_utf8, 4},
        {"overlong slash", head + "Row: \xc0\xaf|2|3\nEnd\n", Error::not_utf8, 4},
        {"surrogate", head + "Row: \xed\xa0\x80|2|3\nEnd\n", Error::not_utf8, 4},
        {"cut multibyte", head + "Row: \xe2\x82|2|3\nEnd\n", Error::not_utf8, 4},
        {"enormous line", head + "Row: " + std::string(5000, 'x') + "|2|3\nEnd\n", Error::line_too_long, 4},
        {"enormous header", std::string(5000, 'Q') + "\n", Error::not_quorquery, 1},
        {"too large", head + std::string(quorquery::kMaxDocumentBytes, '\n'), Error::too_large, 0},
        {"too few cells", head + "Row: 1|2\nEnd\n", Error::cell_count, 4},
        {"too many cells", head + "Row: 1|2|3|4\nEnd\n", Error::cell_count, 4},
        {"row before columns", "QUORQUERY 1\nTitle: T\nRow: 1\nEnd\n", Error::missing_columns, 3},
        {"columns before title", "QUORQUERY 1\nColumns: a\nEnd\n", Error::missing_title, 2},
        {"no title", "QUORQUERY 1\nEnd\n", Error::missing_title, 2},
        {"empty title", "QUORQUERY 1\nTitle:  \n", Error::missing_title, 2},
        {"no columns", "QUORQUERY 1\nTitle: T\nEnd\n", Error::missing_columns, 3},
        {"second title", "QUORQUERY 1\nTitle: T\nTitle: U\n", Error::duplicate, 3},
        {"second columns", head + "Columns: a\n", Error::duplicate, 4},
        {"empty column name", "QUORQUERY 1\nTitle: T\nColumns: a||c\n", Error::bad_columns, 3},
        {"too many columns", many_columns, Error::too_many_columns, 3},
        {"too many rows", many_rows, Error::too_many_rows, 4 + 10000},
        {"unknown record", head + "Total: 6\nEnd\n", Error::unknown_line, 4},
        {"record after End", head + "End\nRow: 1|2|3\n", Error::after_end, 5},
    };
    for (const auto& c : cases) {
        const auto r = parse(c.text);
        EXPECT_EQ(c.error, r.error) << c.name << ": " << r.message;
        EXPECT_EQ(c.line, r.line) << c.name;
        EXPECT_FALSE(r.message.empty()) << c.name;
        if (c.line) {
            EXPECT_EQ(0u, r.message.find("line " + std::to_string(c.line) + ": ")) << r.message;
        }
        EXPECT_TRUE(r.document.title.empty() && r.document.rows.empty()) << c.name;
    }
    EXPECT_EQ("line 4: the row has 2 cells, the table has 3 columns",
              parse(head + "Row: 1|2\nEnd\n").message);
}

// Every prefix of a valid document is an error (never a crash, never a
// silently shorter table), except the whole text.
TEST(FormatTest, EveryCutOfADocumentIsReported) {
    const std::string full = sample("quarterly.dzy");
    ASSERT_FALSE(full.empty());
    for (size_t n = 0; n < full.size() - 1; ++n) {
        const auto r = parse(full.substr(0, n));
        EXPECT_FALSE(r.ok()) << "cut at " << n;
    }
    EXPECT_TRUE(parse(full.substr(0, full.size() - 1)).ok());  // only the last line end missing
    EXPECT_TRUE(parse(full).ok());
}

// Deterministic byte damage: no crash, and any result is consistent.
TEST(FormatTest, DamagedBytesNeverBreakTheParser) {
    const std::string full = sample("quarterly.dzy");
    unsigned seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    for (int round = 0; round < 2000; ++round) {
        std::string text = full;
        for (int k = 0; k < 1 + round % 4; ++k)
            text[next() % text.size()] = static_cast<char>(next() & 0xFF);
        const auto r = parse(text);
        if (r.ok()) {
            EXPECT_FALSE(r.document.title.empty());
            for (const auto& row : r.document.rows) EXPECT_EQ(r.document.columns.size(), row.size());
            EXPECT_FALSE(quorquery::render_lines(r.document).empty());
        } else {
            EXPECT_FALSE(r.message.empty());
        }
    }
}

TEST(FormatTest, RenderingPadsByCharactersAndCutsWideCells) {
    const auto r = parse(
        "QUORQUERY 1\nTitle: Z\xc3\xbcrich\nColumns: City|Note\n"
        "Row: Z\xc3\xbcrich|short\nRow: Basel|" + std::string(50, 'n') + "\nEnd\n");
    ASSERT_TRUE(r.ok()) << r.message;
    const auto lines = quorquery::render_lines(r.document, 10);
    ASSERT_EQ(9u, lines.size());
    EXPECT_EQ("======", lines[1]);  // six characters, seven bytes
    EXPECT_EQ("City   | Note", lines[3]);
    EXPECT_EQ("-------+-----------", lines[4]);
    EXPECT_EQ("Z\xc3\xbcrich | short", lines[5]);
    EXPECT_EQ("Basel  | nnnnnnn...", lines[6]);
    EXPECT_EQ("2 rows", lines[8]);

    const auto one = parse(kSmall);
    ASSERT_TRUE(one.ok());
    EXPECT_EQ("1 row", quorquery::render_lines(one.document).back());

    const auto bad = quorquery::render_error(parse("junk"));
    ASSERT_EQ(2u, bad.size());
    EXPECT_EQ("The document cannot be shown", bad[0]);
    EXPECT_NE(std::string::npos, bad[1].find("not a QuorQuery document"));
}

TEST(FormatTest, FilesAreReadBoundedAndMissingOnesReported) {
    const std::string dir = gntest::make_scratch_dir("format");
    EXPECT_EQ(Error::unreadable, quorquery::parse_file(dir + "missing.dzy").error);

    const std::string good = dir + "good.dzy";
    FILE* f = std::fopen(good.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fputs(kSmall, f);
    std::fclose(f);
    EXPECT_TRUE(quorquery::parse_file(good).ok());

    const std::string big = dir + "big.dzy";
    f = std::fopen(big.c_str(), "wb");
    ASSERT_TRUE(f);
    const std::string block(64 * 1024, '#');
    for (int i = 0; i < 40; ++i) std::fwrite(block.data(), 1, block.size(), f);  // 2.5 MiB
    std::fclose(f);
    EXPECT_EQ(Error::too_large, quorquery::parse_file(big).error);
    DeleteFileA(good.c_str());
    DeleteFileA(big.c_str());
}
