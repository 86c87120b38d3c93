// The viewer's command line and the reading of its targets.
#include <gtest/gtest.h>

#include "viewer/viewer_text.h"

using namespace gnviewer;

TEST(ViewerTextTest, CommandLineTakesOneTargetAndBoundedOptions) {
    Options o = parse_command_line({L"doc.dzy", L"--close-after-ms", L"2500", L"--record", L"r.txt"});
    EXPECT_TRUE(o.error.empty()) << std::string(o.error.begin(), o.error.end());
    EXPECT_EQ(L"doc.dzy", o.target);
    EXPECT_TRUE(o.close_after);
    EXPECT_EQ(2500u, o.close_after_ms);
    EXPECT_EQ(L"r.txt", o.record_path);

    o = parse_command_line({L"--record", L"r.txt", L"http://127.0.0.1:1/x.dzy"});
    EXPECT_TRUE(o.error.empty());
    EXPECT_FALSE(o.close_after);
    EXPECT_EQ(L"r.txt", o.record_path);
    EXPECT_TRUE(parse_command_line({L"a", L"--close-after-ms", L"3600000"}).error.empty());
    o = parse_command_line({L"a", L"--user", L"reader", L"--password", L"p w"});
    EXPECT_TRUE(o.error.empty());
    EXPECT_EQ(L"reader", o.user);
    EXPECT_EQ(L"p w", o.password);

    const std::vector<std::vector<std::wstring>> bad = {
        {},
        {L"--record", L"r.txt"},
        {L"a.dzy", L"b.dzy"},
        {L"a.dzy", L"--close-after-ms"},
        {L"a.dzy", L"--close-after-ms", L""},
        {L"a.dzy", L"--close-after-ms", L"-5"},
        {L"a.dzy", L"--close-after-ms", L"12x"},
        {L"a.dzy", L"--close-after-ms", L"3600001"},
        {L"a.dzy", L"--close-after-ms", L"99999999999999999999"},
        {L"a.dzy", L"--record"},
        {L"a.dzy", L"--user"},
        {L"a.dzy", L"--password", L"secret"},
        {L"a.dzy", L"--verbose"},
    };
    for (const auto& args : bad) EXPECT_FALSE(parse_command_line(args).error.empty()) << args.size();
}

TEST(ViewerTextTest, DownloadPercentIsBoundedAndSafeWithoutATotal) {
    const struct {
        unsigned long done, total;
        unsigned percent;
    } cases[] = {{0, 0, 0}, {5, 0, 0}, {0, 10, 0}, {1, 10, 10}, {67108864, 67108864, 100},
                 {4000000000ul, 4294967295ul, 93}, {20, 10, 100}};
    for (const auto& c : cases) EXPECT_EQ(c.percent, download_percent(c.done, c.total)) << c.done << "/" << c.total;
}

TEST(ViewerTextTest, TargetsAreClassifiedAndOnlyLoopbackCounts) {
    EXPECT_EQ(TargetKind::http, classify(L"http://127.0.0.1/x.dzy"));
    EXPECT_EQ(TargetKind::http, classify(L"HTTPS://localhost/x"));
    EXPECT_EQ(TargetKind::file_url, classify(L"file://C:\\d\\x.dzy"));
    EXPECT_EQ(TargetKind::path, classify(L"C:\\d\\x.dzy"));
    EXPECT_EQ(TargetKind::path, classify(L"x.dzy"));
    EXPECT_EQ(TargetKind::path, classify(L"..\\dir:x"));
    EXPECT_EQ(TargetKind::unsupported, classify(L"ftp://127.0.0.1/x.dzy"));
    EXPECT_EQ(TargetKind::unsupported, classify(L"javascript:alert(1)"));
    EXPECT_EQ(TargetKind::unsupported, classify(L""));

    EXPECT_TRUE(is_loopback_url(L"http://127.0.0.1:8080/a.dzy"));
    EXPECT_TRUE(is_loopback_url(L"http://LOCALHOST/a.dzy"));
    EXPECT_TRUE(is_loopback_url(L"http://[::1]:81/a"));
    EXPECT_TRUE(is_loopback_url(L"http://user:pw@127.0.0.1/a"));
    EXPECT_FALSE(is_loopback_url(L"http://127.0.0.1.example.com/a"));
    EXPECT_FALSE(is_loopback_url(L"http://example.com/127.0.0.1"));
    EXPECT_FALSE(is_loopback_url(L"http://127.0.0.1@example.com/a"));
    EXPECT_FALSE(is_loopback_url(L"http://192.0.2.1/a"));
    EXPECT_FALSE(is_loopback_url(L"file://127.0.0.1/a"));
    EXPECT_EQ(L"example.com", url_host(L"http://a@EXAMPLE.com:80?x"));
}

TEST(ViewerTextTest, FileUrlsExtensionsAndMediaTypes) {
    EXPECT_EQ(L"file://C:\\d\\x.dzy", file_url(L"C:\\d\\x.dzy"));
    EXPECT_EQ(L"C:\\d\\x.dzy", file_url_path(L"file://C:\\d\\x.dzy"));
    EXPECT_EQ(L"C:\\d\\x.dzy", file_url_path(L"file:///C:/d/x.dzy"));
    EXPECT_EQ(L"\\\\server\\share\\x.dzy", file_url_path(L"file://server/share/x.dzy"));
    EXPECT_EQ(L"", file_url_path(L"file:x.dzy"));
    EXPECT_EQ(L"", file_url_path(L"http://127.0.0.1/x.dzy"));

    EXPECT_EQ(L".dzy", extension_of(L"C:\\d\\Report.DZY"));
    EXPECT_EQ(L".dzd", extension_of(L"http://127.0.0.1/a/b.dzd?x=1.html#y.txt"));
    EXPECT_EQ(L"", extension_of(L"C:\\d.x\\noext"));
    EXPECT_EQ(L"", extension_of(L"C:\\d\\trailing."));
    EXPECT_EQ(L"", extension_of(L"http://127.0.0.1/"));

    EXPECT_EQ(L"application/x-quorquery", media_type(L" Application/X-QuorQuery ; charset=utf-8"));
    EXPECT_EQ(L"text/plain", media_type(L"text/plain"));
    EXPECT_EQ(L"", media_type(L"; q=1"));
    EXPECT_EQ(L"", media_type(L""));

    EXPECT_EQ("0x80004001", hresult_text(static_cast<long>(0x80004001)));
    EXPECT_EQ("Z\xc3\xbcrich \xf0\x9f\x98\x80 \xef\xbf\xbd", to_utf8(L"Z\u00fcrich \xd83d\xde00 \xd800"));
}
