// The site lock: which page may change the legacy URL map. Pages are fake
// sites; their zones come from the system's zone manager, set through the
// ZoneMap keys of the sandboxed HKEY_CURRENT_USER; the policy lies in the
// test prefix's HKEY_LOCAL_MACHINE.
#include <docobj.h>
#include <objsafe.h>

#include <algorithm>

#include "fake_page.h"
#include "support/fake_moniker.h"
#include "version_fixture.h"

using vt::VersionService;
using vt::lines;

__CRT_UUID_DECL(IObjectSafety, 0xcb5bdc81, 0x93c1, 0x11cf, 0x8f, 0x20, 0x00, 0x80, 0x5f, 0x2c, 0xd0,
                0x64)

namespace {

constexpr char kZoneDomains[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ZoneMap\\Domains\\";
constexpr char kZoneDefaults[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ZoneMap\\ProtocolDefaults";
constexpr char kPolicyRoot[] = "Software\\Policies\\Quor Software";
constexpr char kPolicy[] = "Software\\Policies\\Quor Software\\GNLauncher\\VersionService";

// How the fake container tells the page's URL: no site at all; through the
// document, the browser or the moniker; a browser without a URL; a site that
// leads to no page (as a script host's); a ScriptSite (below).
enum class route { none, document, browser, moniker, browser_no_url, no_page, script };

// The host's security manager: its id is the site text ("http:evil.test"; ""
// fails) and the zone.
class FakeHostSecurity final
    : public gn::implements<FakeHostSecurity, gn::no_lock, IInternetHostSecurityManager> {
public:
    FakeHostSecurity(const char* site, DWORD zone)
        : id_(site + std::string(reinterpret_cast<char*>(&zone), 4)) {}
    STDMETHODIMP GetSecurityId(BYTE* id, DWORD* size, DWORD_PTR) override {
        RETURN_HR_IF(E_FAIL, id_.size() == 4 || *size < id_.size());
        *size = static_cast<DWORD>(id_.copy(reinterpret_cast<char*>(id), id_.size()));
        return S_OK;
    }
    STDMETHODIMP ProcessUrlAction(DWORD, BYTE*, DWORD, BYTE*, DWORD, DWORD, DWORD) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP QueryCustomPolicy(REFGUID, BYTE**, DWORD*, BYTE*, DWORD, DWORD) override {
        return E_NOTIMPL;
    }
    std::string id_;
};

// The site of an object page script created, as Wine's HTML engine gives it:
// only IServiceProvider, answering SID_SContainerDispatch with the page's
// document (url: null for none, "" for one without a URL) and
// SID_SInternetHostSecurityManager with the host's (site: null for none).
// With neither it is a script host's site.
class ScriptSite final : public gn::implements<ScriptSite, gn::no_lock, IServiceProvider> {
public:
    ScriptSite(const wchar_t* url, const char* site, DWORD zone) {
        if (url) page_.attach(fake_page_create(*url ? url : nullptr));
        if (site) manager_ = gn::make<FakeHostSecurity>(site, zone);
    }
    STDMETHODIMP QueryService(REFGUID service, REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (IsEqualGUID(service, SID_SContainerDispatch)) return page_.copy_to(riid, ppv);
        return IsEqualGUID(service, SID_SInternetHostSecurityManager) ? manager_.copy_to(riid, ppv)
                                                                      : E_NOINTERFACE;
    }
    gn::com_ptr<IUnknown> page_;
    gn::com_ptr<FakeHostSecurity> manager_;
};

// A client site that offers the page through one route only.
class FakeSite final : public gn::implements<FakeSite, gn::no_lock, IOleClientSite, IServiceProvider> {
public:
    FakeSite(route way, const wchar_t* url) : way_(way), url_(url) {
        page_.attach(fake_page_create(way == route::browser_no_url ? nullptr : url));
    }
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD which, IMoniker** out) override {
        RETURN_HR_IF(E_POINTER, !out);
        *out = nullptr;
        RETURN_HR_IF(E_FAIL, way_ != route::moniker || which != OLEWHICHMK_CONTAINER);
        return gntest::FakeMoniker::make(url_).copy_to(IID_IMoniker, reinterpret_cast<void**>(out));
    }
    STDMETHODIMP GetContainer(IOleContainer** out) override {
        RETURN_HR_IF(E_POINTER, !out);
        *out = nullptr;
        RETURN_HR_IF(E_NOINTERFACE, way_ != route::document);
        return page_.copy_to(IID_IOleContainer, reinterpret_cast<void**>(out));
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }
    STDMETHODIMP QueryService(REFGUID service, REFIID riid, void** ppv) override {
        RETURN_HR_IF(E_POINTER, !ppv);
        *ppv = nullptr;
        RETURN_HR_IF(E_NOINTERFACE, (way_ != route::browser && way_ != route::browser_no_url) ||
                                        !IsEqualGUID(service, gn::SID_SWebBrowserApp));
        return page_.copy_to(riid, ppv);
    }

private:
    route way_;
    std::wstring url_;
    gn::com_ptr<IUnknown> page_;
};

class SiteLock : public VersionService {
protected:
    void SetUp() override {
        VersionService::SetUp();
        if (HasFatalFailure()) return;
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kPolicyRoot);
        // Zones by domain, as an administrator sets them (read by urlmon from
        // the sandbox that stands in for HKEY_CURRENT_USER).
        // The sandbox lacks the user's defaults: unlisted hosts are Internet pages.
        for (const char* scheme : {"http", "https"}) {
            const DWORD internet = 3;
            set_raw(user_, kZoneDefaults, scheme, REG_DWORD, &internet, sizeof internet);
        }
        set_zone("corp.test\\intra", "http", 1);
        set_zone("trusted.test", "https", 2);
        set_zone("blocked.test", "http", 4);
    }
    void TearDown() override {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kPolicyRoot);
        VersionService::TearDown();
    }
    void set_zone(const std::string& domain, const char* scheme, DWORD zone) {
        set_raw(user_, kZoneDomains + domain, scheme, REG_DWORD, &zone, sizeof zone);
    }
    static void set_policy(const char* allowed, bool allow_all) {
        HKEY key = create(HKEY_LOCAL_MACHINE, kPolicy);
        if (allow_all) {
            const DWORD one = 1;
            RegSetValueExA(key, "AllowAllSites", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4);
        }
        RegCloseKey(key);
        if (allowed) set_text(HKEY_LOCAL_MACHINE, std::string(kPolicy) + "\\AllowedSites", "1", allowed);
    }
    // The host marks the caller untrusted (or not), then sites it; later: a
    // site given after that, "" for SetSite(NULL).
    void give_site(route way, const wchar_t* url, const char* id, DWORD zone, bool untrusted,
                   const wchar_t* later) {
        auto with_site = ver_.try_query<IObjectWithSite>();
        auto safety = ver_.try_query<IObjectSafety>();
        const DWORD mark = INTERFACESAFE_FOR_UNTRUSTED_CALLER;
        ASSERT_EQ(S_OK, safety->SetInterfaceSafetyOptions(IID_IDispatch, mark, untrusted ? mark : 0));
        gn::com_ptr<IUnknown> site;
        if (way == route::script) site = gn::make<ScriptSite>(url, id, zone);
        if (way != route::script && way != route::none)
            site.assign(static_cast<IOleClientSite*>(gn::make<FakeSite>(way, url).get()));
        ASSERT_EQ(S_OK, with_site->SetSite(site.get()));
        if (!later) return;
        site.assign(*later
                        ? static_cast<IOleClientSite*>(gn::make<FakeSite>(route::moniker, later).get())
                        : nullptr);
        ASSERT_EQ(S_OK, with_site->SetSite(site.get()));
    }
    HRESULT map_hr(const wchar_t* old_url, const wchar_t* new_url) {
        auto o = gn::unique_bstr::copy_of(old_url);
        auto n = gn::unique_bstr::copy_of(new_url);
        return ver_->Map6xUrlTo8(o.get(), n.get());
    }
    // Names of the map's values, sorted.
    lines mapped() const {
        lines names;
        for (const char* name : {"http://legacy.test/a.dzy", "http://evil.test/b.dzy",
                                 "http://legacy.test/new.dzy", "http://evil.test/new.dzy"})
            if (read_mapping(name)) names.push_back(name);
        std::sort(names.begin(), names.end());
        return names;
    }
};

struct lock_row {
    const char* name;
    route way;
    const wchar_t* page;
    const char* allowed;      // allow-list pattern, or null
    bool allow_all;
    bool maps_legacy;         // Map6xUrlTo8 of a legacy.test URL changes the map
    bool maps_evil;           // Map6xUrlTo8 of an evil.test URL changes the map
    const char* clear_leaves; // "": everything cleared; "legacy"/"evil": those stay; "all": refused
    const char* refused_host; // host named in the refusal lines
    const char* secid = nullptr;  // route::script: the host's security id (ScriptSite)
    DWORD id_zone = 3;
    bool untrusted = false;          // the host marked the caller untrusted, as browsers do on pages
    const wchar_t* later = nullptr;  // a later site; "": SetSite(NULL)
};

const lock_row kRows[] = {
    {"no site", route::none, nullptr, nullptr, false, true, true, "", nullptr},
    {"local machine", route::document, L"file:///C:/pages/start.html", nullptr, false, true, true, "",
     nullptr},
    {"intranet", route::browser, L"http://intra.corp.test/p.html", nullptr, false, true, true, "",
     nullptr},
    {"trusted", route::moniker, L"https://trusted.test/p.html", nullptr, false, true, true, "", nullptr},
    {"internet, own host", route::document, L"http://legacy.test/p.html", nullptr, false, true, false,
     "evil", "legacy.test"},
    {"internet, other host", route::browser, L"http://EVIL.test:8080/p.html", nullptr, false, false,
     true, "legacy", "evil.test"},
    {"internet by moniker", route::moniker, L"http://legacy.test/p.html", nullptr, false, true, false,
     "evil", "legacy.test"},
    {"restricted", route::document, L"http://blocked.test/p.html", nullptr, false, false, false, "all",
     "blocked.test"},
    {"wildcard listed", route::document, L"http://www.evil.test/p.html", "*.evil.test", false, true,
     true, "", nullptr},
    {"wildcard, bare name", route::document, L"http://evil.test/p.html", "*.evil.test", false, false,
     true, "legacy", "evil.test"},
    {"allow all sites", route::browser, L"http://evil.test/p.html", nullptr, true, true, true, "",
     nullptr},
    {"browser without a URL", route::browser_no_url, L"http://legacy.test/p.html", nullptr, false, false,
     false, "all", "(unknown)"},
    {"script host's site", route::no_page, L"http://legacy.test/p.html", nullptr, false, true, true, "",
     nullptr},
    // Objects page script created, on Wine's HTML engine; script hosts' objects.
    {"script object, other site", route::script, L"http://evil.test/p.html", nullptr, false, false, true,
     "legacy", "evil.test", "http:evil.test", 3, true},
    {"script object, own site", route::script, L"http://legacy.test/p.html", nullptr, false, true, false,
     "evil", "legacy.test", "http:legacy.test", 3, true},
    {"script object, host says Trusted", route::script, L"http://partner.test/p.html", nullptr, false,
     true, true, "", nullptr, "https:partner.test", 2, true},
    // The host's id names a host only with the page's URL to agree with.
    {"host security manager alone", route::script, nullptr, nullptr, false, false, false, "all",
     "(unknown)", "http:legacy.test", 3, true},
    {"look-alike folded by the host", route::script, L"http://l\x0113gacy.test/p.html", nullptr, false,
     false, false, "all", "(unknown)", "http:legacy.test", 3, true},
    {"script object, no readable page", route::script, L"", nullptr, false, false, false, "all",
     "(unknown)", "", 3, true},
    {"script host's bare site", route::script, nullptr, nullptr, false, true, true, "", nullptr},
    {"script host's bare site, untrusted", route::script, nullptr, nullptr, false, false, false, "all",
     "(unknown)", nullptr, 3, true},
    {"no site, untrusted", route::none, nullptr, nullptr, false, false, false, "all", "(unknown)",
     nullptr, 3, true},
    {"no site, untrusted, allow all sites", route::none, nullptr, nullptr, true, true, true, "", nullptr,
     nullptr, 3, true},
    // Rights once held: a later site, or none, never widens them.
    {"SetSite(NULL) after other site", route::script, L"http://evil.test/p.html", nullptr, false, false,
     false, "all", "(unknown)", "http:evil.test", 3, true, L""},
    {"SetSite(NULL), not untrusted", route::document, L"http://evil.test/p.html", nullptr, false, false,
     true, "legacy", "evil.test", nullptr, 3, false, L""},
    {"SetSite(NULL) after restricted", route::document, L"http://blocked.test/p.html", nullptr, false,
     false, false, "all", "blocked.test", nullptr, 3, false, L""},
    {"trusted site after other site", route::script, L"http://evil.test/p.html", nullptr, false, false,
     true, "legacy", "evil.test", "http:evil.test", 3, true, L"https://trusted.test/p.html"},
    {"own site after other site", route::script, L"http://evil.test/p.html", nullptr, false, false,
     false, "all", "evil.test", "http:evil.test", 3, true, L"http://legacy.test/p.html"},
};

}  // namespace

TEST_F(SiteLock, WhoMayChangeTheMap) {
    for (const lock_row& row : kRows) {
        SCOPED_TRACE(row.name);
        TearDown();
        SetUp();
        ASSERT_FALSE(HasFatalFailure());
        map(L"http://legacy.test/a.dzy", L"http://new/a.dzy");
        map(L"http://evil.test/b.dzy", L"http://new/b.dzy");
        set_policy(row.allowed, row.allow_all);
        give_site(row.way, row.page, row.secid, row.id_zone, row.untrusted, row.later);
        ASSERT_FALSE(HasFatalFailure());
        forget_log();

        const HRESULT legacy = map_hr(L"http://legacy.test/new.dzy", L"http://new/c.dzy");
        const HRESULT evil = map_hr(L"http://evil.test/new.dzy", L"http://new/d.dzy");
        EXPECT_EQ(row.maps_legacy ? S_OK : E_ACCESSDENIED, legacy);
        EXPECT_EQ(row.maps_evil ? S_OK : E_ACCESSDENIED, evil);
        EXPECT_EQ(row.maps_legacy, read_mapping("http://legacy.test/new.dzy"));
        EXPECT_EQ(row.maps_evil, read_mapping("http://evil.test/new.dzy"));

        const std::string leaves = row.clear_leaves;
        EXPECT_EQ(leaves == "all" ? E_ACCESSDENIED : S_OK, ver_->Clear6xUrlMap());
        lines left;
        if (leaves == "all") left = {"http://evil.test/b.dzy", "http://legacy.test/a.dzy"};
        if (leaves == "evil") left = {"http://evil.test/b.dzy"};
        if (leaves == "legacy") left = {"http://legacy.test/a.dzy"};
        if (leaves == "evil" && row.maps_evil) left.push_back("http://evil.test/new.dzy");
        if (leaves == "legacy" && row.maps_legacy) left.push_back("http://legacy.test/new.dzy");
        std::sort(left.begin(), left.end());
        EXPECT_EQ(left, mapped());

        // Every refusal leaves one line naming the page's host and zone (as
        // the fixture's zone map has them); the version query stays open to all.
        const std::string host = row.refused_host ? row.refused_host : "";
        const std::string said = " on host " + host + " in zone " +
                                 (host == "(unknown)"      ? host
                                  : host == "blocked.test" ? "Restricted sites"
                                                           : "Internet") +
                                 " may not change the URL map";
        const lines logged = log();
        EXPECT_EQ(!row.maps_legacy + !row.maps_evil,
                  std::count(logged.begin(), logged.end(), "Map6xUrlTo8(): Page" + said));
        EXPECT_EQ(leaves == "all",
                  std::count(logged.begin(), logged.end(), "Clear6xURLMap(): Page" + said));
        EXPECT_EQ(L"0.0.0.0", client_version());
    }
}

TEST_F(SiteLock, SiteAndSafetyOptions) {
    auto with_site = ver_.try_query<IObjectWithSite>();
    auto safety = ver_.try_query<IObjectSafety>();
    ASSERT_TRUE(with_site && safety);

    gn::com_ptr<IUnknown> got;
    EXPECT_EQ(E_FAIL, with_site->GetSite(IID_IUnknown, got.put_void()));
    auto site = gn::make<FakeSite>(route::document, L"http://legacy.test/");
    ASSERT_EQ(S_OK, with_site->SetSite(static_cast<IOleClientSite*>(site.get())));
    ASSERT_EQ(S_OK, with_site->GetSite(IID_IServiceProvider, got.put_void()));
    EXPECT_TRUE(gn::same_object(got.get(), static_cast<IOleClientSite*>(site.get())));
    got.reset();
    EXPECT_EQ(S_OK, with_site->SetSite(nullptr));  // lets the site go

    const DWORD both = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;
    DWORD supported = 7, enabled = 7;
    EXPECT_EQ(S_OK, safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled));
    EXPECT_EQ(both, supported);
    EXPECT_EQ(0u, enabled);
    EXPECT_EQ(S_OK, safety->SetInterfaceSafetyOptions(IID_IMorvaneVersion, both,
                                                      INTERFACESAFE_FOR_UNTRUSTED_CALLER));
    EXPECT_EQ(S_OK, safety->GetInterfaceSafetyOptions(IID_IMorvaneVersion, &supported, &enabled));
    EXPECT_EQ(static_cast<DWORD>(INTERFACESAFE_FOR_UNTRUSTED_CALLER), enabled);
    EXPECT_EQ(E_FAIL, safety->SetInterfaceSafetyOptions(IID_IDispatch, 0x100, 0x100));
    EXPECT_EQ(E_NOINTERFACE, safety->SetInterfaceSafetyOptions(IID_IPersistStream, 1, 1));
    EXPECT_EQ(E_NOINTERFACE, safety->GetInterfaceSafetyOptions(IID_IPersistStream, &supported, &enabled));
    EXPECT_EQ(0u, supported);
}
