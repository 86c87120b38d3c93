// The site lock's host rules: which text names which host. (The fuzz target
// checks that any text is handled; these rows pin down what it means.)
#include <gtest/gtest.h>

#include <string>

#include "version/site_text.h"

namespace {

std::string host_of(const char* url) {
    char host[gn::kHostSize];
    return gn::url_host(url, host) ? host : "<none>";
}

}  // namespace

TEST(SiteText, HostOfUrl) {
    const struct {
        const char* url;
        const char* host;
    } rows[] = {
        {"http://Legacy.Test/a.dzy", "legacy.test"},
        {"https://legacy.test:8443/a?x=http://evil.test/", "legacy.test"},
        {"http://legacy.test./", "legacy.test"},
        {"http://legacy.test", "legacy.test"},
        {"http://[::1]:80/", "[::1]"},
        // User information, backslashes, escapes and other marks hide the host
        // another reader of the text would take: no host.
        {"http://evil.test@legacy.test/", "<none>"},
        {"http://legacy.test\\@evil.test/", "<none>"},
        {"http://legacy%2etest/", "<none>"},
        {"http://legacy.test:80x/", "<none>"},
        {"http://leg acy.test/", "<none>"},
        {"http:///a", "<none>"},
        {"http://legacy.test../", "<none>"},
        {"legacy.test/a", "<none>"},
        {"//legacy.test/a", "<none>"},
        {"", "<none>"},
        {nullptr, "<none>"},
    };
    for (const auto& row : rows) EXPECT_EQ(row.host, host_of(row.url)) << (row.url ? row.url : "null");
}

TEST(SiteText, AllowListPatterns) {
    EXPECT_TRUE(gn::host_matches("a.example.com", "*.example.com"));
    EXPECT_TRUE(gn::host_matches("a.b.example.com", "*.EXAMPLE.com."));
    EXPECT_FALSE(gn::host_matches("example.com", "*.example.com"));
    EXPECT_FALSE(gn::host_matches("badexample.com", "*.example.com"));
    EXPECT_TRUE(gn::host_matches("example.com", "Example.com"));
    EXPECT_FALSE(gn::host_matches("a.example.com", "example.com"));
    // Entries are host names only: a port or a scheme matches nothing.
    for (const char* odd : {"*", "*.", "a*.example.com", "*.*.com", "", "*.com*", "a.example.com:8443",
                            "http://a.example.com"})
        EXPECT_FALSE(gn::host_matches("a.example.com", odd)) << odd;

    EXPECT_TRUE(gn::may_change_mapping(gn::map_access::own_host, "legacy.test", "http://LEGACY.test:81/x"));
    EXPECT_FALSE(gn::may_change_mapping(gn::map_access::own_host, "legacy.test", "http://evil.test/x"));
    EXPECT_FALSE(gn::may_change_mapping(gn::map_access::own_host, "", "http:///x"));
    EXPECT_FALSE(gn::may_change_mapping(gn::map_access::none, "legacy.test", "http://legacy.test/"));
}

TEST(SiteText, HostSecurityIds) {
    // "scheme:site" and the zone in four bytes, read for a page whose URL
    // names `page` (-2: no zone read). Only web ids name a host, and only
    // the page's own in plain letters; a look-alike folded into the id
    // (page "l\u0113gacy.test" has no plain host) leaves the page unknown.
    using gn::id_page;
    const struct {
        std::string text;
        unsigned zone;
        const char* page;
        id_page said;
        long read;
        const char* host;
    } ids[] = {
        {"http:Legacy.Test", 3, "legacy.test", id_page::known, 3, "legacy.test"},
        {std::string("https:legacy.test\0", 18), 2, "legacy.test", id_page::known, 2, "legacy.test"},
        {"file:", 0, "", id_page::known, 0, ""},
        {"about:blank", 3, nullptr, id_page::known, 3, ""},
        {"http:legacy.test", 1000, "legacy.test", id_page::known, 5, "legacy.test"},
        {"http:legacy.test", 3, "", id_page::unknown, -2, ""},
        {"http:legacy.test", 3, "evil.test", id_page::unknown, -2, ""},
        {"http:legacy.test", 3, nullptr, id_page::unknown, -2, ""},
        {"http:l\xe9gacy.test", 3, "l%gacy.test", id_page::unknown, -2, ""},
        {"http:evil.test@legacy.test", 3, "legacy.test", id_page::unknown, -2, ""},
        {"http:legacy.test/evil.test", 3, "legacy.test", id_page::unknown, -2, ""},
        {"legacy.test", 3, "legacy.test", id_page::none, -2, ""},
        {"h", 3, nullptr, id_page::none, -2, ""},
    };
    for (const auto& row : ids) {
        const std::string id = row.text + std::string(reinterpret_cast<const char*>(&row.zone), 4);
        long zone = -2;
        char host[gn::kHostSize] = "x";
        EXPECT_EQ(row.said, gn::security_id_page(reinterpret_cast<const unsigned char*>(id.data()),
                                                 id.size(), row.page, &zone, host))
            << row.text;
        EXPECT_EQ(row.read, zone) << row.text;
        EXPECT_STREQ(row.host, host) << row.text;
    }
}
