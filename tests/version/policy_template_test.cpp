// The administrative template (installer/policy) names exactly the policy
// key and values the site lock reads, and its language file holds every
// text the template uses.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "version/policy_names.h"

namespace {

std::string read_source(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(GN_SOURCE_DIR + path, std::ios::binary).rdbuf();
    return text.str();
}

// The first group of every match of pattern in text.
std::set<std::string> found(const std::string& text, const char* pattern) {
    std::set<std::string> out;
    const std::regex form(pattern);
    for (std::sregex_iterator it(text.begin(), text.end(), form), end; it != end; ++it)
        out.insert((*it)[1]);
    return out;
}

}  // namespace

TEST(PolicyTemplate, NamesWhatTheSiteLockReads) {
    const std::string admx = read_source("installer/policy/GNLauncher.admx");
    const std::string adml = read_source("installer/policy/en-US/GNLauncher.adml");
    ASSERT_FALSE(admx.empty() || adml.empty());
    using names = std::set<std::string>;
    EXPECT_EQ((names{gn::kVersionPolicyKey, gn::kAllowedSitesKey}),
              found(admx, R"re(\skey="([^"]*)")re"));
    EXPECT_EQ(names{gn::kAllowAllSitesValue}, found(admx, R"re(\svalueName="([^"]*)")re"));
    EXPECT_EQ(names{"Machine"},
              found(admx, R"re(\sclass="([^"]*)")re"));  // read under HKEY_LOCAL_MACHINE only
    EXPECT_EQ(names{gn::kAllowedSitesKey}, found(admx, R"re(<list\s[^>]*\skey="([^"]*)")re"));
    EXPECT_TRUE(std::regex_search(admx, std::regex(R"re(<enabledValue>\s*<decimal value="1"\s*/>)re")));

    EXPECT_EQ(found(admx, R"re(\$\(string\.(\w+)\))re"), found(adml, R"re(<string id="(\w+)")re"));
    EXPECT_EQ(found(admx, R"re(\$\(presentation\.(\w+)\))re"),
              found(adml, R"re(<presentation id="(\w+)")re"));
    EXPECT_EQ(found(admx, R"re(<list id="(\w+)")re"), found(adml, R"re(\srefId="(\w+)")re"));
}
