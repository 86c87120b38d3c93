// The installer's commands to DllInstall, read as text.
#include <gtest/gtest.h>

#include "registration/install_text.h"

TEST(InstallText, Commands) {
    const gn::install_command keep = gn::parse_install_command(L"keep|x86|C:\\Hand 1\\a|b.dll");
    EXPECT_TRUE(keep.verb == gn::install_verb::keep && keep.field_length == 3);
    EXPECT_STREQ(L"C:\\Hand 1\\a|b.dll", keep.path);
    EXPECT_EQ(gn::install_verb::put_back, gn::parse_install_command(L"putback||C:\\x.dll").verb);
    for (const wchar_t* bad :
         {L"keep|x86|", L"keep|..\\x|C:\\x.dll", L"keep|x86", L"run|x|y", L"", (const wchar_t*)nullptr})
        EXPECT_EQ(gn::install_verb::invalid, gn::parse_install_command(bad).verb);
}
