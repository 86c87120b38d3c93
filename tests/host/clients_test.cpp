// The reference client controls of gnclients.dll hosted by the control host:
// what the main plugin and the legacy control read, subscribe to and show.
#include "support/doc_server.h"

#include "host_fixture.h"

#include "support/expect.h"
#include "viewer/container/web_browser.h"

#include <shlwapi.h>

#include <cstdlib>
#include <fstream>

using hosttest::HostTest;

namespace {

constexpr wchar_t kPluginCtl[] = L"{6F3B9D29-4E1A-11D5-A7C3-0050DA6E1B42}";
constexpr wchar_t kLegacy6x[] = L"{6F3B9D20-4E1A-11D5-A7C3-0050DA6E1B42}";
constexpr UINT WM_GNCLIENTS_NAVIGATE = WM_APP + 1;

// The launcher as the main plugin sees it: ILauncherAdvise only.
class FakeLauncher final : public gn::implements<FakeLauncher, gn::no_lock, ILauncherAdvise> {
public:
    STDMETHODIMP Advise(ILauncherEvent* pSink) override {
        sink.assign(pSink);
        ++advises;
        return S_OK;
    }
    STDMETHODIMP Navigate(BSTR URL, VARIANT*, VARIANT*, VARIANT*, VARIANT*) override {
        navigated = URL ? URL : L"";
        return S_OK;
    }
    int advises = 0;
    gn::com_ptr<ILauncherEvent> sink;
    std::wstring navigated;
};

std::wstring window_text(HWND hwnd) {
    wchar_t text[2048] = {};
    GetWindowTextW(hwnd, text, 2048);
    return text;
}

bool contains(const std::wstring& text, const std::wstring& part) {
    return text.find(part) != std::wstring::npos;
}

class ClientsTest : public HostTest {
protected:
    void SetUp() override {
        HostTest::SetUp();
        dir_ = gntest::make_scratch_dir("clients");
        calls_path_ = dir_ + "calls.txt";
        _putenv_s("GNCLIENTS_CALLS", calls_path_.c_str());
        clients_ = LoadLibraryA((gntest::LoadedModule::program_dir() + "gnclients.dll").c_str());
        ASSERT_NE(nullptr, clients_);
        ASSERT_EQ(S_OK, call("DllRegisterServer"));
    }
    void TearDown() override {
        if (clients_) {
            CoFreeUnusedLibraries();
            EXPECT_EQ(S_OK, call("DllCanUnloadNow"));
            EXPECT_EQ(S_OK, call("DllUnregisterServer"));
            FreeLibrary(clients_);
        }
        _putenv_s("GNCLIENTS_CALLS", "");
        HostTest::TearDown();
    }
    HRESULT call(const char* entry) {
        auto fn = gn::proc_address<HRESULT(WINAPI*)()>(clients_, entry);
        return fn ? fn() : E_UNEXPECTED;
    }
    std::string calls() const { return gntest::read_file(calls_path_); }
    size_t call_at(const std::string& line) const { return calls().find(line); }
    std::string write_document(const char* name, const std::string& content) {
        const std::string path = dir_ + name;
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }
    static std::wstring wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

    HMODULE clients_ = nullptr;
    std::string dir_;
    std::string calls_path_;
};

}  // namespace

TEST_F(ClientsTest, PluginSubscribesThroughTheBrowserAndShowsTheDocument) {
    auto browser = gn::make<gncontainer::WebBrowser>(nullptr);
    auto launcher = gn::make<FakeLauncher>();
    VARIANT published;
    published.vt = VT_UNKNOWN;
    published.punkVal = launcher.get();
    browser->PutProperty(gn::unique_bstr::copy_of(L"MorvaneLauncher").get(), published);

    auto host = new_host();
    gn::com_ptr<IUnknown> control;
    const wchar_t url[] = L"http://127.0.0.1:8123/docs/report.dzy";
    ASSERT_EQ(S_OK, create_control(host.get(), kPluginCtl, url, host_window_,
                                   static_cast<IServiceProvider*>(browser.get()), control.put()));
    ASSERT_EQ(1, launcher->advises);
    ASSERT_TRUE(launcher->sink);
    const HWND plugin_window = GetWindow(host_window_, GW_CHILD);
    ASSERT_TRUE(IsWindow(plugin_window));

    // The plugin's side of the hand-over, in order.
    EXPECT_TRUE(gntest::in_sequence(calls(), {"PluginCtl SetClientSite site", "PluginCtl InitNew",
                                              "PluginCtl SetExtent 1 7938x5292", "PluginCtl GetExtent 1",
                                              "PluginCtl DoVerb -5 0,0,300,200",
                                              "PluginCtl InPlaceActive 0,0,300,200",
                                              "PluginCtl SRC http://127.0.0.1:8123/docs/report.dzy",
                                              "PluginCtl Advise 0x00000000"}));

    // The document is read during the call (the launcher deletes it right after).
    const std::string path = write_document("DZ1.tmp", "QQDOC 8\r\nsecond line\r\n");
    EXPECT_EQ(S_OK, launcher->sink->OnDZxDataAvailable(
                        gn::unique_bstr::copy_of(url).get(), gn::unique_bstr::copy_of(wide(path).c_str()).get(),
                        gn::unique_bstr::copy_of(L"application/x-quorquery").get()));
    DeleteFileA(path.c_str());
    std::wstring shown = window_text(plugin_window);
    EXPECT_TRUE(contains(shown, L"URL: http://127.0.0.1:8123/docs/report.dzy")) << shown;
    EXPECT_TRUE(contains(shown, L"MIME: application/x-quorquery")) << shown;
    EXPECT_TRUE(contains(shown, L"Size: 22 bytes")) << shown;
    EXPECT_TRUE(contains(shown, L"Content: QQDOC 8")) << shown;

    // A missing file, a null path and a null MIME type are shown, not trusted.
    EXPECT_EQ(S_OK, launcher->sink->OnDZxDataAvailable(nullptr, nullptr, nullptr));
    shown = window_text(plugin_window);
    EXPECT_TRUE(contains(shown, L"MIME: (none)")) << shown;
    EXPECT_TRUE(contains(shown, L"Cannot read")) << shown;
    EXPECT_EQ(S_OK, launcher->sink->OnAbort(E_ABORT, gn::unique_bstr::copy_of(L"Download failed").get()));
    EXPECT_EQ(L"Aborted: 0x80004004 Download failed", window_text(plugin_window));
    launcher->sink.reset();

    // Navigation on request goes through the launcher.
    EXPECT_EQ(S_OK, SendMessageW(plugin_window, WM_GNCLIENTS_NAVIGATE, 0,
                                 reinterpret_cast<LPARAM>(L"http://127.0.0.1:8123/next.dzy")));
    EXPECT_EQ(L"http://127.0.0.1:8123/next.dzy", launcher->navigated);
    EXPECT_EQ(E_POINTER, static_cast<HRESULT>(SendMessageW(plugin_window, WM_GNCLIENTS_NAVIGATE, 0, 0)));

    // The end: closed, detached, freed; nothing is left holding the launcher.
    control.reset();
    host.reset();
    DestroyWindow(host_window_);
    EXPECT_TRUE(gntest::in_sequence(calls(), {"PluginCtl Close 1", "PluginCtl InPlaceDeactivate",
                                              "PluginCtl SetClientSite null"}));
    EXPECT_NE(std::string::npos, call_at("PluginCtl Destroyed"));
    browser->clear_properties();  // the published property held the launcher
    EXPECT_EQ(1u, gntest::refs(launcher.get())) << "only the test holds the launcher";
    EXPECT_EQ(1u, gntest::refs(browser.get())) << "only the test's own reference is left";
}

TEST_F(ClientsTest, PluginWithoutBrowserStillActivates) {
    auto host = new_host();
    gn::com_ptr<IUnknown> control;
    ASSERT_EQ(S_OK, create_control(host.get(), kPluginCtl, L"file:///C:/x.dzy", host_window_,
                                   nullptr, control.put()));
    EXPECT_NE(std::string::npos, log_text().find("CtlHost6x: don't have a service provider"));
    EXPECT_NE(std::string::npos, call_at("PluginCtl Advise no browser 0x80004002")) << calls();
    EXPECT_TRUE(IsWindow(GetWindow(host_window_, GW_CHILD)));

    // A browser without the launcher's property: the plugin says so and goes on.
    auto browser = gn::make<gncontainer::WebBrowser>(nullptr);
    gn::com_ptr<IUnknown> second;
    ASSERT_EQ(S_OK, create_control(host.get(), kPluginCtl, L"file:///C:/y.dzy", host_window_,
                                   static_cast<IServiceProvider*>(browser.get()), second.put()));
    EXPECT_NE(std::string::npos, call_at("PluginCtl Advise no launcher")) << calls();
    // The first instance was closed when the second one came.
    EXPECT_NE(std::string::npos, call_at("PluginCtl Close 1"));
    control.reset();
    second.reset();
    host.reset();
    DestroyWindow(host_window_);
    EXPECT_EQ(1u, gntest::refs(browser.get())) << "only the test's own reference is left";
}

TEST_F(ClientsTest, LegacyControlOpensTheDocumentFromSrc) {
    const std::string path = write_document("legacy.dzy", "QQ6 legacy document\nmore");
    wchar_t url[MAX_PATH * 3] = {};
    DWORD size = MAX_PATH * 3;
    ASSERT_EQ(S_OK, UrlCreateFromPathW(wide(path).c_str(), url, &size, 0));

    auto host = new_host();
    gn::com_ptr<IUnknown> control;
    ASSERT_EQ(S_OK, create_control(host.get(), kLegacy6x, url, host_window_, nullptr,
                                   control.put()));
    const std::wstring shown = window_text(GetWindow(host_window_, GW_CHILD));
    EXPECT_TRUE(contains(shown, L"6.x document")) << shown;
    EXPECT_TRUE(contains(shown, L"Size: 24 bytes")) << shown;
    EXPECT_TRUE(contains(shown, L"Content: QQ6 legacy document")) << shown;
    EXPECT_NE(std::string::npos, call_at("Legacy6x Open 0x00000000")) << calls();
    EXPECT_EQ(std::string::npos, call_at("Advise"));

    // A document that is not there is reported in the window.
    gn::com_ptr<IUnknown> missing;
    ASSERT_EQ(S_OK, create_control(host.get(), kLegacy6x, L"file:///C:/no/such/file.dzy",
                                   host_window_, nullptr, missing.put()));
    EXPECT_TRUE(contains(window_text(GetWindow(host_window_, GW_CHILD)),
                         L"Cannot open the document"));
    control.reset();
    missing.reset();
    host.reset();
    DestroyWindow(host_window_);
    EXPECT_NE(std::string::npos, call_at("Legacy6x Destroyed"));
}

TEST_F(ClientsTest, RegistrationNamesItsOwnFileAndSparesAnotherBuild) {
    char server[MAX_PATH] = {};
    LONG size = sizeof(server);
    ASSERT_EQ(ERROR_SUCCESS,
              RegQueryValueA(HKEY_CLASSES_ROOT,
                             "CLSID\\{6F3B9D29-4E1A-11D5-A7C3-0050DA6E1B42}\\InprocServer32",
                             server, &size));
    char own[MAX_PATH] = {};
    GetModuleFileNameA(clients_, own, MAX_PATH);
    EXPECT_EQ(0, lstrcmpiA(own, server));
    // Unregistering the 8.0 build must leave the 8.2 build's keys in place.
    HMODULE other =
        LoadLibraryA((gntest::LoadedModule::program_dir() + "gnclients_v8_0.dll").c_str());
    ASSERT_NE(nullptr, other);
    auto unregister = gn::proc_address<HRESULT(WINAPI*)()>(other, "DllUnregisterServer");
    EXPECT_EQ(S_OK, unregister());
    FreeLibrary(other);
    size = sizeof(server);
    EXPECT_EQ(ERROR_SUCCESS,
              RegQueryValueA(HKEY_CLASSES_ROOT,
                             "CLSID\\{6F3B9D20-4E1A-11D5-A7C3-0050DA6E1B42}\\InprocServer32",
                             server, &size));
}

// In a browser without a property bag the plugin opens SRC itself: a file in
// the form a browser passes it, a document over loopback http, a malformed
// one, an HTTP 404 and a cut-short body. Each outcome is in the window and
// the record.
TEST_F(ClientsTest, PluginWithoutLauncherOpensSrcItself) {
    const std::string good =
        "QUORQUERY 1\nTitle: Stock\nColumns: Item|Count\nRow: Bolts|12\nEnd\n";
    const std::string path = write_document("stock.dzy", good);
    gntest::DocServer server;
    ASSERT_TRUE(server.running());
    gntest::DocRoute doc;
    doc.body = good;
    server.route("/stock.dzy", doc);
    gntest::DocRoute broken;
    broken.body = "QUORQUERY 1\nTitle: Cut\nColumns: A|B\nRow: 1\n";
    server.route("/broken.dzy", broken);
    gntest::DocRoute cut;
    cut.length = 5000;
    cut.cut_after = 100;
    server.route("/cut.dzy", cut);

    const struct {
        std::wstring src;
        std::string record;  // the line the outcome leaves
        std::wstring shown;
    } cases[] = {
        {L"file://" + wide(path), "PluginCtl Document Stock | 2 columns | 1 rows | 63 bytes",
         L"Bolts | 12"},
        {server.wurl("/stock.dzy"), "PluginCtl Document Stock | 2 columns | 1 rows | 63 bytes",
         L"Item  | Count"},
        {server.wurl("/broken.dzy"), "PluginCtl Malformed line 4:", L"The document cannot be shown"},
        {server.wurl("/missing.dzy"), "PluginCtl Open 0x800C0006 the server answered HTTP 404",
         L"Cannot open the document: 0x800C0006"},
        {server.wurl("/cut.dzy"), "PluginCtl Open 0x", L"Cannot open the document"},
        {L"file:///C:/no/such/file.dzy", "PluginCtl Open 0x80070003", L"Cannot open the document"},
    };
    auto browser = gn::make<gncontainer::WebBrowser>(nullptr);  // no "MorvaneLauncher" property
    auto host = new_host();
    for (const auto& c : cases) {
        DeleteFileA(calls_path_.c_str());
        gn::com_ptr<IUnknown> control;
        ASSERT_EQ(S_OK, create_control(host.get(), kPluginCtl, c.src.c_str(), host_window_,
                                       static_cast<IServiceProvider*>(browser.get()), control.put()));
        const std::string record = calls();
        EXPECT_NE(std::string::npos, record.find("PluginCtl Advise no launcher")) << record;
        const size_t fallback = record.find("PluginCtl Fallback no launcher: opening SRC itself");
        EXPECT_NE(std::string::npos, fallback) << record;
        EXPECT_LT(fallback, record.find(c.record)) << record;
        const std::wstring shown = window_text(GetWindow(host_window_, GW_CHILD));
        EXPECT_TRUE(contains(shown, c.shown)) << shown;
        if (c.record.find("Document") != std::string::npos) {
            EXPECT_TRUE(contains(shown, L"the document was opened from its URL")) << shown;
        }
    }
    host.reset();
    DestroyWindow(host_window_);
    EXPECT_EQ(1u, gntest::refs(browser.get())) << "only the test's own reference is left";
}
