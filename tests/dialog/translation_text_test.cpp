// The table file's text rules, linked directly.
#include <gtest/gtest.h>

#include "frame/translation_text.h"

namespace {

std::string escaped(std::string s) {
    gn::resolve_escapes(s);
    return s;
}
std::string trimmed(std::string s) {
    gn::trim_line_end(s);
    return s;
}

TEST(TranslationText, SplitsAtTheFirstTabOnly) {
    std::string source, translation;
    ASSERT_TRUE(gn::split_table_line("OK\tJa\tnein\n", source, translation));
    EXPECT_EQ("OK", source);
    EXPECT_EQ("Ja\tnein\n", translation);

    ASSERT_TRUE(gn::split_table_line("\t\t\t\n", source, translation));
    EXPECT_EQ("", source);
    EXPECT_EQ("\t\t\n", translation);

    EXPECT_FALSE(gn::split_table_line("no tab here\n", source, translation));
    EXPECT_FALSE(gn::split_table_line("", source, translation));
    EXPECT_FALSE(gn::split_table_line(nullptr, source, translation));
    // The line ends at a NUL byte: a tab behind it does not count.
    const char with_nul[] = "OK\0\tJa\n";
    EXPECT_FALSE(gn::split_table_line(with_nul, source, translation));
}

TEST(TranslationText, ResolvesEscapesBackwards) {
    EXPECT_EQ("a\nb\rc\td", escaped("a\\nb\\rc\\td"));
    // Of backslash, backslash, n the last two become a line feed.
    EXPECT_EQ("x\\\n", escaped("x\\\\n"));
    EXPECT_EQ("\\\\", escaped("\\\\"));  // no escape for the backslash itself
    EXPECT_EQ("a\\x\\N", escaped("a\\x\\N"));
    EXPECT_EQ("end\\", escaped("end\\"));  // a backslash at the very end stays
    EXPECT_EQ("\\", escaped("\\"));
    EXPECT_EQ("\n\n", escaped("\\n\\n"));
    EXPECT_EQ("", escaped(""));
    EXPECT_EQ("\n", escaped("\\n"));
}

TEST(TranslationText, CutsLineEndsOffTheLastTwoCharacters) {
    EXPECT_EQ("Ja", trimmed("Ja\n"));
    EXPECT_EQ("Ja", trimmed("Ja\r\n"));
    EXPECT_EQ("Ja", trimmed("Ja"));
    EXPECT_EQ("Ja\n", trimmed("Ja\n\n\n"));  // two characters at most
    EXPECT_EQ("", trimmed("\n"));
    EXPECT_EQ("", trimmed("\r\n"));
    EXPECT_EQ("", trimmed(""));
    // The one before the last is looked at even when the last is no line end.
    EXPECT_EQ("Ja", trimmed("Ja\rx"));
    // Escaped line ends are letters at this point and stay.
    EXPECT_EQ("Ja\\n", trimmed("Ja\\n\n"));
}

}  // namespace
