// The 8-bit copies of script arguments: faithful or marked as not.
#include <gtest/gtest.h>

#include "version/system_text.h"

TEST(VersionText, SystemTextConversion) {
    gn::system_text t;
    EXPECT_EQ(S_OK, t.assign(nullptr, 5));
    EXPECT_STREQ("", t.c_str());
    EXPECT_TRUE(t.exact());

    EXPECT_EQ(S_OK, t.assign(L"http://x/a b", 12));
    EXPECT_STREQ("http://x/a b", t.c_str());
    EXPECT_TRUE(t.exact());

    EXPECT_EQ(S_OK, t.assign(L"abcdef", 3));  // the given length, not the terminator
    EXPECT_STREQ("abc", t.c_str());

    EXPECT_EQ(S_OK, t.assign(L"a\0b", 3));
    EXPECT_FALSE(t.exact());

    // No 8-bit code page has Malayalam letters.
    EXPECT_EQ(S_OK, t.assign(L"http://x/\u0D05", 10));
    EXPECT_FALSE(t.exact());
    if (GetACP() == 1252) {
        // Best fit would turn this into a plain "A": a look-alike is no copy.
        EXPECT_EQ(S_OK, t.assign(L"\u0100", 1));
        EXPECT_FALSE(t.exact());
    }
    EXPECT_EQ(S_OK, t.assign(L"x", 1));  // reusable after a failure
    EXPECT_TRUE(t.exact());
}
