// Choosing the client control when the browser first shows the document, and
// what the launcher publishes to the browser for the main plugin.
#include "launcher_fixture.h"

#include <wininet.h>

#include <fstream>

#include "support/browser.h"
#include "support/doc_server.h"

// The dialog's 6.x button.
constexpr int kOpenWith6x = 5202;

using namespace gntest;

namespace {

// Answers the version choice dialog with a command once it is up.
class DialogAnswer {
public:
    explicit DialogAnswer(WORD command) {
        instance_ = this;
        command_ = command;
        timer_ = SetTimer(nullptr, 0, 20, &tick);
    }
    ~DialogAnswer() {
        KillTimer(nullptr, timer_);
        instance_ = nullptr;
    }
    bool answered() const { return answered_; }

private:
    static BOOL CALLBACK find_dialog(HWND hwnd, LPARAM out) {
        char cls[16] = {};
        GetClassNameA(hwnd, cls, sizeof cls);
        if (strcmp(cls, "#32770") != 0 || !IsWindowVisible(hwnd)) return TRUE;
        *reinterpret_cast<HWND*>(out) = hwnd;
        return FALSE;
    }
    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD) {
        if (!instance_ || instance_->answered_) return;
        HWND dialog = nullptr;
        EnumThreadWindows(GetCurrentThreadId(), find_dialog, reinterpret_cast<LPARAM>(&dialog));
        if (!dialog) return;
        instance_->answered_ = true;
        if (command_ == 6) {
            SendMessageA(GetDlgItem(dialog, kOpenWith6x), BM_CLICK, 0, 0);
            PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        } else {
            PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(command_, BN_CLICKED), 0);
        }
    }
    static DialogAnswer* instance_;
    static WORD command_;
    UINT_PTR timer_ = 0;
    bool answered_ = false;
};
DialogAnswer* DialogAnswer::instance_ = nullptr;
WORD DialogAnswer::command_ = 0;

// The log is a text file: its line ends are CR LF on disk.
bool contains(std::string text, const std::string& what) {
    std::string plain;
    for (char c : text)
        if (c != '\r') plain += c;
    return plain.find(what) != std::string::npos;
}

class ClientSelection : public LauncherTest {
protected:
    void SetUp() override {
        LauncherTest::SetUp();
        reload_with_log();
    }
    // What the browser holds under a property name, as the plugin would read it.
    static gn::com_ptr<ILauncherAdvise> published_launcher(BrowserContainer& browser) {
        const VARIANT* v = browser.web_browser()->property(L"MorvaneLauncher");
        if (v->vt != VT_UNKNOWN || !v->punkVal) return {};
        return gn::try_query<ILauncherAdvise>(v->punkVal);
    }
};

}  // namespace

TEST_F(ClientSelection, HttpDocumentGoesToTheCurrentClientWhichIsCalledBack) {
    DocServer server;
    ASSERT_TRUE(server.running());
    DocRoute route;
    route.length = 30000;
    server.route("/current/doc.dzy", route);
    const std::wstring url = server.wurl("/current/doc.dzy");
    {
        BrowserContainer browser;
        auto launcher = create_launcher();
        ASSERT_EQ(S_OK, browser.open(launcher.get(), url.c_str(), L"application/x-quorquery"));

        const VARIANT* location = browser.web_browser()->property(L"document_location");
        ASSERT_EQ(VT_BSTR, location->vt);
        EXPECT_EQ(url, location->bstrVal);
        auto advise = published_launcher(browser);
        ASSERT_TRUE(advise);
        EXPECT_EQ(launcher.get(), gn::try_query<IUnknown>(advise.get()).get());

        // The plugin's part: subscribe through the published launcher.
        auto sink = TestSink::make();
        EXPECT_EQ(S_OK, advise->Advise(sink.get()));
        ASSERT_TRUE(wait_for_calls(sink.get()));
        ASSERT_EQ(SinkCall::DataAvailable, sink->calls[0].kind);
        EXPECT_EQ(url, sink->calls[0].url);
        EXPECT_EQ(L"application/x-quorquery", sink->calls[0].mime);
        EXPECT_EQ(30000u, sink->calls[0].contents.size());
        EXPECT_TRUE(dz_files().empty()) << "the copy is deleted after the call";

        // A second showing starts nothing.
        browser.calls.clear();
        EXPECT_EQ(S_OK, browser.view()->Show(TRUE));
        EXPECT_TRUE(browser.calls.empty());
        advise.reset();
        launcher.reset();
    }
    const std::string log = finish_log();
    EXPECT_TRUE(contains(log, "** Opening document with Morvane 8x\n"));
    EXPECT_FALSE(contains(log, "Morvane 6x"));
    EXPECT_FALSE(contains(log, "Asking user"));
    EXPECT_FALSE(contains(log, "Setting property"));
}

TEST_F(ClientSelection, RefusedLauncherPropertyIsLoggedAndTheHandOffGoesOn) {
    const std::wstring url = make_document_file(temp_dir, "doc.dzy", 100);
    {
        BrowserContainer browser;
        browser.options().launcher_property_result = S_FALSE;
        auto launcher = create_launcher();
        ASSERT_EQ(S_OK, browser.open(launcher.get(), url.c_str(), L"application/x-quorquery"));
        launcher.reset();
    }
    const std::string log = finish_log();
    EXPECT_TRUE(contains(log, "** Setting property: Unknown Error ***\n"));
    EXPECT_TRUE(contains(log, "** Opening document with Morvane 8x\n"));
}

TEST_F(ClientSelection, BrowserWithoutServicesStillGetsTheControlCreated) {
    const std::wstring url = make_document_file(temp_dir, "doc.dzy", 100);
    {
        BrowserContainer::Options options;
        options.service_provider = false;
        BrowserContainer browser(options);
        auto launcher = create_launcher();
        ASSERT_EQ(S_OK, browser.open(launcher.get(), url.c_str(), L"application/x-quorquery"));
        EXPECT_TRUE(browser.put_names.empty());
        launcher.reset();
    }
    EXPECT_TRUE(contains(finish_log(), "** Opening document with Morvane 8x\n"));
}

TEST_F(ClientSelection, LegacyServerCookieGoesToTheLegacyClientOnlyWhenItIsInstalled) {
    // Any existing file stands for the legacy client's server.
    const std::string server = temp_dir + "legacy-client.dll";
    { std::ofstream(server) << "not a module"; }
    DocServer docs;
    ASSERT_TRUE(docs.running());
    // Without the log the cookies are read only where the legacy client is
    // installed: the outcome is the same.
    struct Case {
        bool installed;
        const char* opened_with;
        bool downloads;
        bool logged;
    } cases[] = {{true, "** Opening document with Morvane 6x\n", false, true},
                 {false, "** Opening document with Morvane 8x\n", true, true},
                 {true, nullptr, false, false},
                 {false, nullptr, true, false}};
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.installed);
        const std::string path = "/legacy-client" + std::to_string(n++) + "/";
        docs.route(path + "doc.dzy", DocRoute{});
        const std::string url = docs.url(path + "doc.dzy");
        ASSERT_TRUE(InternetSetCookieA(url.c_str(), nullptr, ("rvs_info=x; path=" + path).c_str()));
        std::unique_ptr<LegacyRegistration> legacy;
        if (c.installed) legacy.reset(new LegacyRegistration(server));
        if (c.logged) reload_with_log();
        if (!c.logged) module = std::make_unique<LoadedModule>();
        {
            BrowserContainer browser;
            auto launcher = create_launcher();
            ASSERT_EQ(S_OK, browser.open(launcher.get(), widen(url).c_str(), L"application/x-quorquery"));
            EXPECT_EQ(c.downloads, !browser.put_names.empty())
                << "only the current client is published to";
            if (c.downloads) {
                EXPECT_TRUE(browser.pump_until([&] { return docs.request_count(path + "doc.dzy") > 0; }));
            }
            browser.close();
        }
        const std::string log = finish_log();
        EXPECT_EQ(c.downloads ? 1u : 0u, docs.request_count(path + "doc.dzy"));
        if (!c.logged) continue;
        EXPECT_TRUE(contains(log, "** 6x DZY stream detected\n"));
        EXPECT_TRUE(contains(log, c.opened_with)) << log;
        EXPECT_EQ(c.downloads, contains(log,
                                        "Morvane 6x is not installed: downloading the "
                                        "document for Morvane 8x"));
        EXPECT_FALSE(contains(log, "Asking user"));
    }
}

TEST_F(ClientSelection, NoClientControlLeavesANoticeInTheWindow) {
    // No client control is registered in the test prefix: creation fails.
    const std::wstring url = make_document_file(temp_dir, "doc.dzy", 100);
    {
        BrowserContainer browser;
        auto launcher = create_launcher();
        ASSERT_EQ(S_OK, browser.open(launcher.get(), url.c_str(), L"application/x-quorquery"));
        HWND window = nullptr;
        ASSERT_EQ(S_OK, gn::try_query<IOleWindow>(launcher.get())->GetWindow(&window));
        char text[256] = {};
        GetWindowTextA(window, text, sizeof text);
        EXPECT_STREQ("This document cannot be shown: no Veltrix client control could be started "
                     "on this computer.", text);
        // It paints without trouble.
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        browser.close();
    }
    EXPECT_TRUE(contains(finish_log(), "No client control could be created: showing a notice"));
}

TEST_F(ClientSelection, LegacyServerValueDecidesWhetherTheClientIsInstalled) {
    // A path of exactly 259 characters fills the 260-byte buffer with its terminator.
    const std::string dir = temp_dir + "legacy\\";
    CreateDirectoryA(dir.c_str(), nullptr);
    const std::string longest = dir + std::string(259 - dir.size() - 4, 'x') + ".dll";
    { std::ofstream(longest) << "not a module"; }
    struct Case {
        std::string value;
        bool installed;
    } cases[] = {{temp_dir + "no-such-control.dll", false},
                 {longest, true},
                 {longest + "x", false},  // too long for the buffer
                 {"", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value.size());
        LegacyRegistration legacy(c.value);
        reload_with_log();
        const std::wstring url = make_document_file(temp_dir, "doc.dzy", 100);
        {
            BrowserContainer browser;
            auto launcher = create_launcher();
            DialogAnswer answer(IDCANCEL);
            ASSERT_EQ(S_OK, browser.open(launcher.get(), url.c_str(), L"application/x-quorquery"));
            EXPECT_EQ(c.installed, answer.answered());
            launcher.reset();
        }
        const std::string log = finish_log();
        EXPECT_EQ(c.installed, contains(log, "Morvane 6x detected in the system."));
        EXPECT_EQ(!c.installed, contains(log, "Morvane 6x not detected in the system."));
        EXPECT_EQ(!c.installed, contains(log, "** Opening document with Morvane 8x\n"));
    }
    DeleteFileA(longest.c_str());
    RemoveDirectoryA(dir.c_str());
}

TEST_F(ClientSelection, BothClientsInstalledTheUserChooses) {
    // Any existing file stands for the legacy client's server (not a real
    // server: a creation attempt must not load anything).
    const std::string server = temp_dir + "legacy-client.dll";
    { std::ofstream(server) << "not a module"; }
    LegacyRegistration legacy(server);
    struct Case {
        WORD command;
        int choice;
        const char* opened;  // the line that names the client, or null for none
    };
    const Case cases[] = {{IDOK, 8, "** Opening document with Morvane 8x\n"},
                          {6, 6, "** Opening document with Morvane 6x\n"},
                          {IDCANCEL, 2, nullptr}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.choice);
        reload_with_log();
        const std::wstring url = make_document_file(temp_dir, "doc.dzy", 100);
        {
            BrowserContainer browser;
            auto launcher = create_launcher();
            DialogAnswer answer(c.command);
            ASSERT_EQ(S_OK, browser.open(launcher.get(), url.c_str(), L"application/x-quorquery"));
            EXPECT_TRUE(answer.answered());
            const bool current = c.choice == 8;
            EXPECT_EQ(current, browser.web_browser()->property(L"MorvaneLauncher")->vt == VT_UNKNOWN);
            if (c.choice == 6) {
                EXPECT_TRUE(dz_files().empty()) << "6.x reads the document itself";
            }
            // Never asked twice.
            EXPECT_EQ(S_OK, browser.view()->Show(TRUE));
            launcher.reset();
        }
        const std::string log = finish_log();
        EXPECT_TRUE(contains(log, "Morvane 6x detected in the system."));
        EXPECT_TRUE(contains(log, "Asking user about what version of Morvane to use..."));
        EXPECT_TRUE(contains(log, "User's choice: " + std::to_string(c.choice) + "\n"));
        if (c.opened) {
            EXPECT_TRUE(contains(log, c.opened));
        } else {
            EXPECT_FALSE(contains(log, "** Opening document")) << log;
        }
        if (c.choice == 6) {
            // The copy goes before the legacy client is created.
            EXPECT_LT(log.find("Removing temp file: "), log.find(c.opened));
        }
    }
}

TEST_F(ClientSelection, MinimisedBrowserIsRestored) {
    const std::wstring url = make_document_file(temp_dir, "doc.dzy", 100);
    BrowserContainer browser;
    ShowWindow(browser.frame_window(), SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(browser.frame_window()));
    auto launcher = create_launcher();
    ASSERT_EQ(S_OK, browser.open(launcher.get(), url.c_str(), L"application/x-quorquery"));
    EXPECT_FALSE(IsIconic(browser.frame_window()));
    browser.close();
    launcher.reset();
}

TEST_F(ClientSelection, ClosingTheViewWhileDownloadingAbortsWithoutTellingThePlugin) {
    DocServer server;
    ASSERT_TRUE(server.running());
    DocRoute route;
    route.length = 200000;
    route.trickle_bytes = 1000;
    route.trickle_pause_ms = 20;
    server.route("/slow/doc.dzy", route);
    auto sink = TestSink::make();
    {
        BrowserContainer browser;
        auto launcher = create_launcher();
        ASSERT_EQ(S_OK, browser.open(launcher.get(), server.wurl("/slow/doc.dzy").c_str(),
                                     L"application/x-quorquery"));
        auto advise = published_launcher(browser);
        ASSERT_TRUE(advise);
        EXPECT_EQ(S_OK, advise->Advise(sink.get()));
        advise.reset();
        EXPECT_TRUE(browser.pump_until([&] { return !dz_files().empty(); }));
        browser.close();
        browser.web_browser()->clear_properties();  // the browser lets go of the launcher too
        launcher.reset();
        // The aborted binding lets go of the launcher when it stops.
        EXPECT_TRUE(pump_until([&] { return module->can_unload_now() == S_OK; }));
    }
    EXPECT_TRUE(sink->calls.empty());
    EXPECT_TRUE(dz_files().empty());
    const std::string log = finish_log();
    EXPECT_TRUE(contains(log, "SetInPlaceSite(NULL) called (i.e. closing active document) while "
                              "file downloading is still in progress. Aborting the download now."));
    EXPECT_TRUE(contains(log, "Closing document"));
}
