// However the browser lets go of a document (before any view exists, through
// Close, SetClientSite(NULL) or CloseView while it still downloads, or by
// ending its process), the launcher goes, its copy is deleted and the module
// can unload.
#include "launcher_fixture.h"

#include "support/browser.h"
#include "support/child.h"
#include "support/doc_server.h"
#include "support/hooks/test_hooks.h"

using namespace gntest;

namespace {

enum class Ending { BeforeView, Close, ClientSiteNull, CloseView };

struct Document {
    const char* path;
    DocRoute route;
    bool served = true;  // false: no route, the server answers 404
};

std::vector<Document> documents() {
    Document ok{"/ok.dzy", {}};
    ok.route.length = 20000;
    Document missing{"/missing.dzy", {}, false};
    Document silent{"/silent.dzy", {}};
    silent.route.silent = true;
    Document trickling{"/trickling.dzy", {}};
    trickling.route.length = 400000;
    trickling.route.trickle_bytes = 1000;
    trickling.route.trickle_pause_ms = 20;
    Document cut{"/cut.dzy", {}};
    cut.route.length = 4000000;
    cut.route.cut_after = 2000000;
    return {ok, missing, silent, trickling, cut};
}

const char kChildUrl[] = "GN_LIFETIME_URL";

class Lifetime : public LauncherTest {
protected:
    DocServer server;

    // One document, ended the given way; returns what the final Release left.
    ULONG open_and_end(const std::wstring& url, Ending ending) {
        gn::com_ptr<IUnknown> launcher = create_launcher();
        if (ending == Ending::Close || ending == Ending::ClientSiteNull) {
            EXPECT_EQ(S_OK, browser_load(launcher.get(), url));
            pump_until([] { return false; }, 20);
            auto ole = launcher.try_query<IOleObject>();
            EXPECT_EQ(S_OK, ending == Ending::Close ? ole->Close(OLECLOSE_NOSAVE)
                                                    : ole->SetClientSite(nullptr));
        } else {
            BrowserContainer browser;
            browser.attach(launcher.get());
            browser.announce_mime_type(L"application/x-quorquery");
            EXPECT_EQ(S_OK, browser.set_client_site());
            EXPECT_EQ(S_OK, browser.load(url.c_str()));
            if (ending == Ending::CloseView) browser.do_verb();
            browser.pump(20);
            browser.close();
            browser.web_browser()->clear_properties();
        }
        return launcher.detach()->Release();
    }

    // Runs this program again as a browser process that ends while url
    // downloads; returns its exit code (1: it ended with a copy on disk).
    DWORD run_child(const std::wstring& url, const std::string& child_log) {
        SetEnvironmentVariableA(kChildUrl, narrow(url).c_str());
        SetEnvironmentVariableA("GNLAUNCHERLOG", child_log.c_str());
        const DWORD code = gntest::run_child_cases("LifetimeChild.*");
        SetEnvironmentVariableA(kChildUrl, nullptr);
        SetEnvironmentVariableA("GNLAUNCHERLOG", nullptr);
        return code;
    }
};

}  // namespace

TEST_F(Lifetime, NoCopyOutlivesItsDocument) {
    ASSERT_TRUE(server.running());
    const std::vector<Document> docs = documents();
    for (const Document& d : docs)
        if (d.served) server.route(d.path, d.route);
    const Ending endings[] = {Ending::BeforeView, Ending::Close, Ending::ClientSiteNull,
                              Ending::CloseView};

    // 50 documents in one process, every kind ended every way.
    std::vector<ULONG> left_by_release;
    for (size_t i = 0; i < 50; ++i) {
        const Document& doc = docs[i % docs.size()];
        const Ending ending = endings[(i / docs.size()) % 4];
        SCOPED_TRACE(std::string(doc.path) + " ending " + std::to_string(static_cast<int>(ending)));
        left_by_release.push_back(open_and_end(server.wurl(doc.path), ending));
    }
    std::string counts;  // what each final Release left, for the record
    for (ULONG n : left_by_release) counts += std::to_string(n);
    RecordProperty("final_release_counts", counts);
    pump_until([&] { return module->can_unload_now() == S_OK; }, 10000);
    EXPECT_EQ(S_OK, module->can_unload_now());
    EXPECT_EQ(0u, dz_files().size()) << "final Release counts: " << counts;

    // A browser process that ends mid-download, or with a copy nobody took.
    for (const char* path : {"/ok.dzy", "/silent.dzy", "/trickling.dzy"}) {
        SCOPED_TRACE(path);
        const std::string child_log = temp_dir + "child.log";
        EXPECT_EQ(1u, run_child(server.wurl(path), child_log));
        EXPECT_EQ(0u, dz_files().size());
        EXPECT_NE(std::string::npos, read_file(child_log).find("Removing temp file at exit: "));
        DeleteFileA(child_log.c_str());
    }
}

// Certificate checks of a server that takes the connection and never answers
// the handshake, each abandoned at once: only a few threads ask, each holding
// the module, and they go when the server lets go. Checks past their
// deadline leave their room to new ones.
TEST_F(Lifetime, StalledCertificateChecksAreBounded) {
    auto stalling = std::make_unique<DocServer>();  // reads a request that never ends
    const std::wstring url = L"https" + stalling->wurl("/doc.dzy").substr(4);
    auto hooks = std::make_unique<LoadedModule>(LoadedModule::program_dir() + "gntesthooks.dll");
    const auto call = gn::proc_address<GnTestCallFn>(hooks->handle(), "GnTestCall");
    // Four waited for to their deadline are live work no more after it.
    EXPECT_EQ(4, call(GnTestWaitCertificates, reinterpret_cast<WPARAM>(url.c_str()), 5));
    int asking = 0;
    for (int i = 0; i < 20; ++i)
        asking += call(GnTestCheckCertificate, reinterpret_cast<WPARAM>(url.c_str()), 0);
    EXPECT_EQ(4, asking);
    hooks.reset();
    stalling.reset();
    EXPECT_TRUE(pump_until([] { return !GetModuleHandleA("gntesthooks.dll"); }, 15000));
}

// The browser process of the test above: loads the document, waits for its
// copy to exist and ends the process there, launcher and download alive.
TEST(LifetimeChild, DISABLED_EndsMidDownload) {
    char url[2048], dir[MAX_PATH];
    ASSERT_TRUE(GetEnvironmentVariableA(kChildUrl, url, sizeof url));
    ASSERT_TRUE(GetTempPathA(MAX_PATH, dir));
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    LoadedModule module;
    ASSERT_TRUE(module.loaded());
    gn::com_ptr<IUnknown> launcher;
    ASSERT_EQ(S_OK, module.create(CLSID_MorvaneLauncher, IID_IUnknown, launcher.put_void()));
    BrowserContainer browser;
    ASSERT_EQ(S_OK, browser.open(launcher.get(), widen(url).c_str(), L"application/x-quorquery"));
    browser.pump_until([&] { return !dz_files_in(dir).empty(); });
    ExitProcess(static_cast<UINT>(dz_files_in(dir).size()));
}
