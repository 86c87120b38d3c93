// Text rules of the version service that the registry tests reach only in
// part (version text, blank URLs and code-page refusals are covered there).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "version/version_text.h"

TEST(VersionText, BracedGuid) {
    EXPECT_TRUE(gn::is_braced_guid("{6F3B9D29-4E1A-11D5-A7C3-0050DA6E1B42}"));
    EXPECT_TRUE(gn::is_braced_guid("{6f3b9d29-4e1a-11d5-a7c3-0050da6e1b42}"));
    const char* bad[] = {
        nullptr,
        "",
        "6F3B9D29-4E1A-11D5-A7C3-0050DA6E1B42",
        "{6F3B9D29-4E1A-11D5-A7C3-0050DA6E1B42",
        "{6F3B9D29-4E1A-11D5-A7C3-0050DA6E1B42}\\",
        "{6F3B9D29-4E1A-11D5-A7C3-0050DA6E1B4}}",
        "{6F3B9D29+4E1A-11D5-A7C3-0050DA6E1B42}",
        "{6F3B9D29-4E1A-11D5-A7C3-0050DA6E1B4G}",
        "{ F3B9D29-4E1A-11D5-A7C3-0050DA6E1B42}",
    };
    for (const char* text : bad) EXPECT_FALSE(gn::is_braced_guid(text)) << (text ? text : "null");
}

TEST(VersionText, RegistryTextTermination) {
    char buf[8];
    // The buffers are filled without a terminator on purpose: that is what is tested.
    std::memcpy(buf, "abcdefgh", 8);                      // NOLINT(bugprone-not-null-terminated-result)
    EXPECT_TRUE(gn::terminate_registry_text(buf, 8, 3));  // read shorter than buffer
    EXPECT_STREQ("abc", buf);
    std::memcpy(buf, "abcdefg", 8);
    EXPECT_TRUE(gn::terminate_registry_text(buf, 8, 8));  // its own terminator
    EXPECT_STREQ("abcdefg", buf);
    std::memcpy(buf, "abcdefgh", 8);                       // NOLINT(bugprone-not-null-terminated-result)
    EXPECT_FALSE(gn::terminate_registry_text(buf, 8, 8));  // fills without one
    EXPECT_FALSE(gn::terminate_registry_text(nullptr, 8, 0));
    EXPECT_TRUE(gn::terminate_registry_text(buf, 8, 0));
    EXPECT_STREQ("", buf);
}

TEST(VersionText, LogArgumentsAreCut) {
    char buf[gn::kLogArgumentSize];
    const std::string fits(512, 'a'), over(513, 'b');
    EXPECT_STREQ("", gn::log_argument(nullptr, buf));
    EXPECT_EQ(fits.c_str(), gn::log_argument(fits.c_str(), buf));  // no copy
    EXPECT_EQ(std::string(512, 'b') + "...(cut)", gn::log_argument(over.c_str(), buf));
}
