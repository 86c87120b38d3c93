// The installer's commands to DllInstall, read as text.
#include <gtest/gtest.h>

#include <cctype>
#include <cwchar>

#include "registration/install_text.h"

TEST(InstallText, CommandsAndTheirFields) {
    const gn::install_command keep = gn::parse_install_command(L"keep|x86|C:\\Hand 1\\a|b.dll");
    EXPECT_EQ(gn::install_verb::keep, keep.verb);
    EXPECT_EQ(0, std::wcsncmp(L"x86", keep.field, keep.field_length));
    EXPECT_STREQ(L"C:\\Hand 1\\a|b.dll", keep.path);
    const gn::install_command back = gn::parse_install_command(L"putback||C:\\x.dll");
    EXPECT_EQ(gn::install_verb::put_back, back.verb);
    EXPECT_EQ(0u, back.field_length);
    for (const wchar_t* bad :
         {L"keep|x86|", L"keep|..\\x|C:\\x.dll", L"keep|x86", L"putback", L"run|x|y", L""})
        EXPECT_EQ(gn::install_verb::invalid, gn::parse_install_command(bad).verb) << bad;
    EXPECT_EQ(gn::install_verb::invalid, gn::parse_install_command(nullptr).verb);

    unsigned char digest[32];
    for (int i = 0; i < 32; ++i) digest[i] = static_cast<unsigned char>(i * 8 + 7);
    char text[65];
    gn::digest_text(digest, text);
    wchar_t wide[65];  // in upper case: the same digits
    for (int i = 0; i < 65; ++i) wide[i] = static_cast<wchar_t>(std::toupper(text[i]));
    EXPECT_TRUE(gn::digest_matches(wide, 64, digest));
    EXPECT_FALSE(gn::digest_matches(wide, 63, digest));
    wide[5] = L'g';
    EXPECT_FALSE(gn::digest_matches(wide, 64, digest));
}
