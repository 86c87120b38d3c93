// The legacy-server cookie test of IPersistMoniker::Load, with cookies placed
// in the platform's cookie store. Every test uses its own URL path, so the
// session cookies of one test never reach another.
#include "launcher_fixture.h"

#include <wininet.h>

#include <fstream>
#include <memory>

using namespace gntest;

namespace {

const char kHost[] = "http://127.0.0.1";

void set_cookie(const std::string& dir, const std::string& cookie) {
    const std::string url = std::string(kHost) + dir + "doc.dzy";
    ASSERT_TRUE(InternetSetCookieA(url.c_str(), nullptr, (cookie + "; path=" + dir).c_str()))
        << cookie;
}

std::wstring doc_url(const std::string& dir) { return widen(std::string(kHost) + dir + "doc.dzy"); }

class Cookies : public LauncherTest {
protected:
    // The legacy road is only taken when the legacy client is installed.
    void SetUp() override {
        LauncherTest::SetUp();
        const std::string server = temp_dir + "legacy-client.dll";
        { std::ofstream(server) << "not a module"; }
        legacy_.reset(new LegacyRegistration(server));
    }
    void TearDown() override {
        legacy_.reset();
        LauncherTest::TearDown();
    }
    std::unique_ptr<LegacyRegistration> legacy_;

    // Loads url through a moniker that fails any binding at once with
    // E_ACCESSDENIED; returns how often the launcher asked it to bind.
    int load_and_count_binds(const std::wstring& url, IUnknown* launcher) {
        auto moniker = FakeMoniker::make(url, E_ACCESSDENIED);
        EXPECT_EQ(S_OK, load_moniker(launcher, moniker.get()));
        return moniker->bind_calls;
    }
};

}  // namespace

TEST_F(Cookies, LegacyServerCookieStartsNoDownload) {
    const char* names[] = {"QUORPASSWORD=", "rvs_username=", "rvs_info="};
    int n = 0;
    for (const char* name : names) {
        SCOPED_TRACE(name);
        const std::string dir = "/legacy" + std::to_string(n++) + "/";
        set_cookie(dir, "session=1");
        set_cookie(dir, std::string(name) + "value");
        auto launcher = create_launcher();
        EXPECT_EQ(0, load_and_count_binds(doc_url(dir), launcher.get()));
        // Nothing to report: the download state stays pending.
        auto sink = TestSink::make();
        EXPECT_EQ(S_OK, advise(launcher.get(), sink.get()));
        EXPECT_TRUE(sink->calls.empty());
        EXPECT_TRUE(dz_files().empty());
    }
}

TEST_F(Cookies, NearMissesStillDownload) {
    // A name that only ends in a legacy name, and a legacy name inside a value.
    const char* cookies[] = {"xQUORPASSWORD=1", "a=rvs_info=2", "my_rvs_username=3",
                             "quorpassword=4"};
    int n = 0;
    for (const char* cookie : cookies) {
        SCOPED_TRACE(cookie);
        const std::string dir = "/near" + std::to_string(n++) + "/";
        set_cookie(dir, cookie);
        auto launcher = create_launcher();
        EXPECT_EQ(1, load_and_count_binds(doc_url(dir), launcher.get()));
        // The binding failed at once: the subscriber learns it on Advise.
        auto sink = TestSink::make();
        EXPECT_EQ(S_OK, advise(launcher.get(), sink.get()));
        ASSERT_EQ(1u, sink->calls.size());
        EXPECT_EQ(SinkCall::Abort, sink->calls[0].kind);
        EXPECT_EQ(E_ACCESSDENIED, sink->calls[0].hr);
        EXPECT_EQ(L"Unknown error", sink->calls[0].error);
    }
}

TEST_F(Cookies, FileUrlIsNeverLookedUpButUpperCaseFileIs) {
    set_cookie("/files/", "QUORPASSWORD=x");
    auto plain = create_launcher();
    EXPECT_EQ(1, load_and_count_binds(L"file://127.0.0.1/files/doc.dzy", plain.get()));
    auto upper = create_launcher();
    EXPECT_EQ(0, load_and_count_binds(L"FILE://127.0.0.1/files/doc.dzy", upper.get()));
}

TEST_F(Cookies, CookieValuesNeverReachTheLog) {
    reload_with_log();
    set_cookie("/logged/", "QUORPASSWORD=topsecret");
    set_cookie("/logged/", "rvs_info=hidden");
    {
        auto launcher = create_launcher();
        EXPECT_EQ(0, load_and_count_binds(doc_url("/logged/"), launcher.get()));
    }
    const std::string log = finish_log();
    EXPECT_NE(std::string::npos, log.find("Got cookie: "));
    EXPECT_NE(std::string::npos, log.find("QUORPASSWORD=***"));
    EXPECT_NE(std::string::npos, log.find("rvs_info=***"));
    EXPECT_NE(std::string::npos, log.find("** 6x DZY stream detected"));
    EXPECT_EQ(std::string::npos, log.find("topsecret"));
    EXPECT_EQ(std::string::npos, log.find("hidden"));
}

TEST_F(Cookies, HostileCookiesAreHandled) {
    // Very long values, high bytes and many cookies, the legacy one last.
    set_cookie("/hostile/", "long=" + std::string(4000, 'v'));
    set_cookie("/hostile/", "high=\xff\xfe\x80\x81");
    for (int i = 0; i < 40; ++i) set_cookie("/hostile/", "c" + std::to_string(i) + "=;;");
    auto first = create_launcher();
    EXPECT_EQ(1, load_and_count_binds(doc_url("/hostile/"), first.get()));

    set_cookie("/hostile/", "rvs_username=" + std::string(3000, 'u'));
    auto second = create_launcher();
    EXPECT_EQ(0, load_and_count_binds(doc_url("/hostile/"), second.get()));
}

TEST_F(Cookies, MarkerIsSeenAmongManyLargeCookies) {
    // Fifty cookies of 4 KB each, the legacy one last.
    reload_with_log();
    for (int i = 0; i < 50; ++i)
        set_cookie("/many/", "big" + std::to_string(i) + "=" + std::string(4096, 'b'));
    set_cookie("/many/", "QUORPASSWORD=x");
    {
        auto launcher = create_launcher();
        EXPECT_EQ(0, load_and_count_binds(doc_url("/many/"), launcher.get()));
    }
    const std::string log = finish_log();
    EXPECT_NE(std::string::npos, log.find("Got cookie: big0=***; big1=***"));
    EXPECT_NE(std::string::npos, log.find("** 6x DZY stream detected"));
}

TEST_F(Cookies, HttpOnlyMarkerIsSeen) {
    const std::string url = std::string(kHost) + "/httponly/doc.dzy";
    ASSERT_NE(0u, InternetSetCookieExA(url.c_str(), nullptr,
                                       "QUORPASSWORD=x; path=/httponly/; HttpOnly",
                                       INTERNET_COOKIE_HTTPONLY, 0));
    auto launcher = create_launcher();
    EXPECT_EQ(0, load_and_count_binds(doc_url("/httponly/"), launcher.get()));
}

