// The site lock's host rules: which text names which host. (The fuzz target
// checks that any text is handled; these rows pin down what it means.)
#include <gtest/gtest.h>

#include <cstring>
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
    for (const char* odd : {"*", "*.", "a*.example.com", "*.*.com", "", "*.com*"})
        EXPECT_FALSE(gn::host_matches("a.example.com", odd)) << odd;

    EXPECT_TRUE(gn::may_change_mapping(gn::map_access::own_host, "legacy.test", "http://LEGACY.test:81/x"));
    EXPECT_FALSE(gn::may_change_mapping(gn::map_access::own_host, "legacy.test", "http://evil.test/x"));
    EXPECT_FALSE(gn::may_change_mapping(gn::map_access::own_host, "", "http:///x"));
    EXPECT_FALSE(gn::may_change_mapping(gn::map_access::none, "legacy.test", "http://legacy.test/"));
}

TEST(SiteText, HostSecurityIdsAndHeldRights) {
    // An id is "scheme:site" and the zone in four bytes; only web ids name a host.
    const struct {
        std::string text;
        unsigned long zone;
        long read;  // the zone read; -2: not an id
        const char* host;
    } ids[] = {
        {"http:Legacy.Test", 3, 3, "legacy.test"},
        {std::string("https:legacy.test\0", 18), 2, 2, "legacy.test"},  // a counted terminator
        {"file:", 0, 0, ""},
        {"about:blank", 3, 3, ""},
        {"http:evil.test@legacy.test", 3, 3, ""},
        {"http:legacy.test/evil.test", 3, 3, ""},
        {"http:legacy.test", 1000, gn::zone_untrusted + 1, "legacy.test"},
        {"legacy.test", 3, -2, ""},
        {"h", 3, -2, ""},
    };
    for (const auto& row : ids) {
        std::string id = row.text;
        for (int i = 0; i < 4; ++i) id += static_cast<char>(row.zone >> (8 * i));
        long zone = -2;
        char host[gn::kHostSize] = "x";
        EXPECT_EQ(row.read != -2, gn::security_id_page(reinterpret_cast<const unsigned char*>(id.data()),
                                                        id.size(), &zone, host)) << row.text;
        EXPECT_EQ(row.read, zone) << row.text;
        EXPECT_STREQ(row.host, host) << row.text;
    }

    using gn::map_access;
    const struct {
        map_access held; const char* held_host; map_access now; const char* now_host;
        map_access left; const char* left_host;
    } rights[] = {
        {map_access::all, "", map_access::own_host, "evil.test", map_access::own_host, "evil.test"},
        {map_access::own_host, "evil.test", map_access::all, "", map_access::own_host, "evil.test"},
        {map_access::own_host, "evil.test", map_access::own_host, "legacy.test", map_access::none, "evil.test"},
        {map_access::own_host, "evil.test", map_access::none, "", map_access::none, ""},
        {map_access::none, "blocked.test", map_access::all, "", map_access::none, "blocked.test"},
    };
    for (const auto& row : rights) {
        gn::page_rights held, now;
        held.access = row.held;
        now.access = row.now;
        std::strcpy(held.host, row.held_host);
        std::strcpy(now.host, row.now_host);
        const gn::page_rights left = gn::narrower(held, now);
        EXPECT_EQ(row.left, left.access) << row.held_host << " then " << row.now_host;
        EXPECT_STREQ(row.left_host, left.host) << row.held_host << " then " << row.now_host;
    }
}
