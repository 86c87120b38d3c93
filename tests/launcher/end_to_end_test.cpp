// The whole road of a document, from the browser's first call to the client
// control's callback, with the reference client controls of gnclients.dll
// registered in the prefix.
#include "launcher_fixture.h"

#include <wininet.h>

#include <fstream>

#include "support/browser.h"
#include "support/doc_server.h"

using namespace gntest;

namespace {

bool contains(const std::string& text, const std::string& what) {
    return text.find(what) != std::string::npos;
}

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

std::string without_cr(const std::string& text) {
    std::string out;
    for (char c : text)
        if (c != '\r') out += c;
    return out;
}

// The controls' window text (their display), read from the launcher window's first child.
std::string control_text(HWND launcher_window) {
    HWND control = GetWindow(launcher_window, GW_CHILD);
    if (!control) return {};
    wchar_t text[2048] = {};
    GetWindowTextW(control, text, 2048);
    return narrow(text);
}

BOOL CALLBACK find_dialog(HWND hwnd, LPARAM out) {
    char cls[16] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    if (strcmp(cls, "#32770") != 0 || !IsWindowVisible(hwnd)) return TRUE;
    *reinterpret_cast<HWND*>(out) = hwnd;
    return FALSE;
}

// Answers the version choice dialog with its default button once it is up.
void CALLBACK press_enter_on_dialog(HWND, UINT, UINT_PTR, DWORD) {
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), find_dialog, reinterpret_cast<LPARAM>(&dialog));
    if (dialog) PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

// Windows of the launcher and of the control host still alive on this thread.
BOOL CALLBACK count_module_window(HWND hwnd, LPARAM count) {
    char cls[64] = {}, title[64] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    GetWindowTextA(hwnd, title, sizeof title);
    // The launcher window's class, and the host's frame and UI windows by title.
    if (strncmp(cls, "GNLauncher:", 11) == 0 || strncmp(title, "AXWIN ", 6) == 0)
        ++*reinterpret_cast<int*>(count);
    EnumChildWindows(hwnd, count_module_window, count);
    return TRUE;
}
int module_windows() {
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), count_module_window, reinterpret_cast<LPARAM>(&count));
    return count;
}

class EndToEnd : public LauncherTest {
protected:
    void SetUp() override {
        LauncherTest::SetUp();
        // SRC is read through the host's IDispatch, served from the registered library.
        ASSERT_EQ(S_OK, register_type_library(LoadedModule::module_path()));
        clients_.reset(LoadLibraryA((LoadedModule::program_dir() + "gnclients.dll").c_str()));
        ASSERT_TRUE(clients_);
        auto reg = gn::proc_address<HRESULT(WINAPI*)()>(clients_.get(), "DllRegisterServer");
        ASSERT_TRUE(reg);
        ASSERT_EQ(S_OK, reg());
        calls_path_ = temp_dir + "client-calls.txt";
        DeleteFileA(calls_path_.c_str());
        SetEnvironmentVariableA("GNCLIENTS_CALLS", calls_path_.c_str());
        reload_with_log();
    }
    void TearDown() override {
        SetEnvironmentVariableA("GNCLIENTS_CALLS", nullptr);
        EXPECT_EQ(0, module_windows()) << "a launcher or host window outlived its document";
        // Both modules can go once everything is released.
        CoFreeUnusedLibraries();
        auto can_unload =
            gn::proc_address<HRESULT(WINAPI*)()>(clients_.get(), "DllCanUnloadNow");
        EXPECT_EQ(S_OK, can_unload());
        auto unreg =
            gn::proc_address<HRESULT(WINAPI*)()>(clients_.get(), "DllUnregisterServer");
        unreg();
        clients_.reset();
        LauncherTest::TearDown();
    }
    std::string client_calls() const { return read_file(calls_path_); }
    void clear_client_calls() const { DeleteFileA(calls_path_.c_str()); }
    HWND launcher_window(IUnknown* launcher) {
        HWND hwnd = nullptr;
        if (auto window = gn::try_query<IOleWindow>(launcher)) window->GetWindow(&hwnd);
        return hwnd;
    }

    gn::unique_hmodule clients_;
    std::string calls_path_;
};

}  // namespace

TEST_F(EndToEnd, HttpDocumentReachesThePluginWhichReadsIt) {
    DocServer server;
    ASSERT_TRUE(server.running());
    DocRoute route;
    route.body = "QUORQUERY 1\r\nTitle: Quarterly\r\nColumns: Region|Q1\r\nRow: North|12\r\nEnd\r\n";
    server.route("/e2e/quarterly.dzy", route);
    const std::wstring url = server.wurl("/e2e/quarterly.dzy");
    {
        BrowserContainer browser;
        auto launcher = create_launcher();
        ASSERT_EQ(S_OK, browser.open(launcher.get(), url.c_str(), L"application/x-quorquery"));
        const std::string record = narrow(url);
        ASSERT_TRUE(browser.pump_until([&] { return contains(client_calls(), "OnDZxDataAvailable"); }))
            << client_calls();
        const std::string calls = client_calls();
        EXPECT_TRUE(contains(calls, "PluginCtl SRC " + record)) << calls;
        EXPECT_TRUE(contains(calls, "PluginCtl Advise 0x00000000")) << calls;
        EXPECT_TRUE(contains(calls, "PluginCtl OnDZxDataAvailable " + record + " | ")) << calls;
        EXPECT_TRUE(contains(calls, " | application/x-quorquery")) << calls;
        EXPECT_TRUE(contains(calls, "PluginCtl Read 0x00000000")) << calls;
        EXPECT_EQ(calls.find("OnDZxDataAvailable"), calls.rfind("OnDZxDataAvailable")) << "called once";
        EXPECT_TRUE(dz_files().empty()) << "the copy goes once the plugin has read it";

        // The plugin lives in the launcher window and shows what it got.
        HWND window = launcher_window(launcher.get());
        ASSERT_TRUE(IsWindow(window));
        EXPECT_NE(nullptr, GetWindow(window, GW_CHILD));
        EXPECT_TRUE(contains(control_text(window), narrow(url))) << control_text(window);
        EXPECT_GE(module_windows(), 1);

        EXPECT_EQ(VT_BSTR, browser.web_browser()->property(L"document_location")->vt);
        EXPECT_EQ(VT_UNKNOWN, browser.web_browser()->property(L"MorvaneLauncher")->vt);
        browser.close();
        EXPECT_FALSE(IsWindow(window)) << "the launcher window goes with the view";
        launcher.reset();
    }
    const std::string calls = client_calls();
    EXPECT_TRUE(contains(calls, "PluginCtl Close 1")) << calls;
    EXPECT_TRUE(contains(calls, "PluginCtl Destroyed")) << calls;
    const std::string log = without_cr(finish_log());
    EXPECT_TRUE(contains(log, "** Opening document with Morvane 8x\n"));
    EXPECT_TRUE(contains(log, "Main plugin called us: ILauncherAdvise::Advise()\n"));
    EXPECT_TRUE(contains(log, "Calling back the main plugin: ILauncherEvent::OnDZxDataAvailable(): URL: "));
}

TEST_F(EndToEnd, FailedDownloadIsShownByThePlugin) {
    DocServer server;
    ASSERT_TRUE(server.running());
    const std::wstring url = server.wurl("/e2e/missing.dzy");  // 404
    {
        BrowserContainer browser;
        auto launcher = create_launcher();
        ASSERT_EQ(S_OK, browser.open(launcher.get(), url.c_str(), L"application/x-quorquery"));
        ASSERT_TRUE(browser.pump_until([&] { return contains(client_calls(), "OnAbort"); }))
            << client_calls();
        EXPECT_TRUE(contains(client_calls(), "HTTP 404")) << client_calls();
        EXPECT_TRUE(contains(control_text(launcher_window(launcher.get())), "404"));
        EXPECT_FALSE(contains(client_calls(), "OnDZxDataAvailable"));
        launcher.reset();
    }
    finish_log();
}

TEST_F(EndToEnd, LegacyServerCookieOpensTheLegacyControl) {
    const std::string path = "/e2e-legacy/";
    const std::string url = "http://127.0.0.1" + path + "doc.dzy";
    ASSERT_TRUE(InternetSetCookieA(url.c_str(), nullptr, ("QUORPASSWORD=x; path=" + path).c_str()));
    {
        BrowserContainer browser;
        auto launcher = create_launcher();
        ASSERT_EQ(S_OK, browser.open(launcher.get(), widen(url).c_str(), L"application/x-quorquery"));
        const std::string calls = client_calls();
        EXPECT_TRUE(contains(calls, "Legacy6x SRC " + url)) << calls;
        EXPECT_FALSE(contains(calls, "PluginCtl")) << calls;
        launcher.reset();
    }
    const std::string log = without_cr(finish_log());
    EXPECT_TRUE(contains(log, "Morvane 6x created.\n"));
    EXPECT_FALSE(contains(log, "Asking user"));
}

TEST_F(EndToEnd, SecureLegacyCookieOverHttpsOpensTheLegacyControl) {
    const std::string path = "/e2e-secure/";
    const std::string url = "https://localhost" + path + "doc.dzy";
    ASSERT_TRUE(InternetSetCookieA(url.c_str(), nullptr, ("QUORPASSWORD=x; Secure; path=" + path).c_str()));
    {
        BrowserContainer browser;
        auto launcher = create_launcher();
        ASSERT_EQ(S_OK, browser.open(launcher.get(), widen(url).c_str(), L"application/x-quorquery"));
        EXPECT_TRUE(contains(client_calls(), "Legacy6x SRC " + url)) << client_calls();
        launcher.reset();
    }
    EXPECT_TRUE(contains(without_cr(finish_log()), "** 6x DZY stream detected\n"));
}

namespace {

// Documents over HTTPS from the loopback TLS servers that the tls_documents
// test starts and names in the environment (a URL per certificate); skipped
// without them.
std::wstring https_document(const char* variable) {
    char value[1024] = "";
    const DWORD n = GetEnvironmentVariableA(variable, value, sizeof value);
    return n > 0 && n < sizeof value ? widen(value) : std::wstring();
}

struct CertificateCase {
    const char* variable;  // names the URL of a server with such a certificate
    const char* text;      // what the plugin is told
};
class HttpsCertificate : public EndToEnd, public ::testing::WithParamInterface<CertificateCase> {};

}  // namespace

// Also with the caching headers a server may send with a private document.
TEST_F(EndToEnd, HttpsDocumentWithTrustedCertificateReachesThePlugin) {
    const std::wstring base = https_document("GN_HTTPS_TRUSTED");
    if (base.empty()) GTEST_SKIP() << "no TLS server named (GN_HTTPS_TRUSTED): run by tls_documents";
    for (const wchar_t* headers : {L"", L"?cache=no-store", L"?cache=no-cache", L"?pragma=no-cache",
                                   L"?cache=no-store,no-cache&pragma=no-cache"}) {
        const std::wstring url = base + headers;
        SCOPED_TRACE(narrow(url));
        clear_client_calls();
        {
            BrowserContainer browser;
            auto launcher = create_launcher();
            ASSERT_EQ(S_OK, browser.open(launcher.get(), url.c_str(), L"application/x-quorquery"));
            ASSERT_TRUE(browser.pump_until([&] { return contains(client_calls(), "PluginCtl Document "); }))
                << client_calls();
            EXPECT_TRUE(contains(client_calls(), "PluginCtl OnDZxDataAvailable " + narrow(url)))
                << client_calls();
            launcher.reset();
        }
        EXPECT_TRUE(dz_files().empty());
    }
    finish_log();
}

TEST_P(HttpsCertificate, RefusedCertificateEndsTheDownloadWithItsReason) {
    const std::wstring url = https_document(GetParam().variable);
    if (url.empty()) GTEST_SKIP() << "no TLS server named (" << GetParam().variable << "): run by tls_documents";
    {
        BrowserContainer browser;
        auto launcher = create_launcher();
        ASSERT_EQ(S_OK, browser.open(launcher.get(), url.c_str(), L"application/x-quorquery"));
        ASSERT_TRUE(browser.pump_until([&] { return contains(client_calls(), "OnAbort"); }))
            << client_calls();
        const std::string calls = client_calls();
        EXPECT_TRUE(contains(calls, std::string("PluginCtl OnAbort 0x800C0019 ") + GetParam().text + "\n"))
            << calls;
        EXPECT_FALSE(contains(calls, "OnDZxDataAvailable")) << calls;
        launcher.reset();
    }
    EXPECT_TRUE(dz_files().empty());
    const std::string log = finish_log();
    EXPECT_TRUE(contains(log, std::string("error=") + GetParam().text)) << log;
}

const CertificateCase kCertificateCases[] = {
    {"GN_HTTPS_UNTRUSTED", "Certificate error: untrusted root"},
    {"GN_HTTPS_EXPIRED", "Certificate error: expired"},
    {"GN_HTTPS_WRONG_HOST", "Certificate error: wrong host name"},
};
INSTANTIATE_TEST_SUITE_P(Servers, HttpsCertificate, ::testing::ValuesIn(kCertificateCases),
                         [](const ::testing::TestParamInfo<CertificateCase>& info) {
                             return std::string(info.param.variable + 9);  // after "GN_HTTPS_"
                         });

// The server refuses like an untrusted one, then holds the handshake of the
// launcher's second question open for 8 s: the browser's thread goes on
// meanwhile, the plugin hears of the certificate at the deadline, and a
// launcher released during the check leaves nothing behind.
TEST_F(EndToEnd, HttpsCertificateCheckThatStallsNeverHoldsTheBrowser) {
    const std::wstring url = https_document("GN_HTTPS_STALLED");
    if (url.empty()) GTEST_SKIP() << "no TLS server named (GN_HTTPS_STALLED): run by tls_documents";
    reload_with_log();
    for (const bool release_during_check : {false, true}) {
        SCOPED_TRACE(release_during_check ? "released during the check" : "waited for");
        clear_client_calls();
        BrowserContainer browser;
        auto launcher = create_launcher();
        const DWORD opened = GetTickCount();
        ASSERT_EQ(S_OK, browser.open(launcher.get(), url.c_str(), L"application/x-quorquery"));
        if (release_during_check) {
            // The binding of the first round has stopped too.
            ASSERT_TRUE(browser.pump_until([&] {
                return count(read_file(log_path), "IBindStatusCallback::OnStopBinding() invoked") == 2;
            }, 20000));
            launcher.reset();
            browser.close();
            browser.pump(200);
            EXPECT_FALSE(contains(client_calls(), "OnAbort")) << client_calls();
        } else {
            ASSERT_TRUE(browser.pump_until([&] { return contains(client_calls(), "OnAbort"); }, 20000))
                << client_calls();
            // The deadline (3 s) and 2 s for the refused handshake before it.
            EXPECT_LT(GetTickCount() - opened, 5000u);
            EXPECT_TRUE(contains(client_calls(), "PluginCtl OnAbort 0x800C0019 Certificate error\n"))
                << client_calls();
            launcher.reset();
        }
        EXPECT_LT(browser.longest_dispatch_ms, 1000u);
        EXPECT_TRUE(dz_files().empty());
    }
    const std::string log = finish_log();
    EXPECT_TRUE(contains(log, "Certificate check: no answer within 3000 ms")) << log;
    // The abandoned worker gives the module back once its request ends.
    const DWORD start = GetTickCount();
    while (GetModuleHandleA("GNLauncher.dll") && GetTickCount() - start < 15000) Sleep(50);
    EXPECT_EQ(nullptr, GetModuleHandleA("GNLauncher.dll"));
}

TEST_F(EndToEnd, LocalDocumentWithBothClientsInstalledAsksTheUser) {
    // gnclients.dll registered the legacy control: it counts as installed.
    const std::string file = temp_dir + "local.dzy";
    std::ofstream(file, std::ios::binary) << "QUORQUERY 1\r\nTitle: Local\r\nEnd\r\n";
    const std::wstring url = L"file:///" + widen(file);
    {
        BrowserContainer browser;
        auto launcher = create_launcher();
        // Enter at once: the 8.x button is the default.
        const UINT_PTR timer = SetTimer(nullptr, 0, 20, &press_enter_on_dialog);
        ASSERT_EQ(S_OK, browser.open(launcher.get(), url.c_str(), L"application/x-quorquery"));
        KillTimer(nullptr, timer);
        ASSERT_TRUE(browser.pump_until([&] { return contains(client_calls(), "OnDZxDataAvailable"); }))
            << client_calls();
        launcher.reset();
    }
    const std::string log = without_cr(finish_log());
    EXPECT_TRUE(contains(log, "Morvane 6x detected in the system.")) << log;
    EXPECT_TRUE(contains(log, "User's choice: 8\n")) << log;
}

TEST_F(EndToEnd, AdministratorsSettingsDecideWhichControlIsCreated) {
    const std::string L = "{6F3B9D20-4E1A-11D5-A7C3-0050DA6E1B42}",
                      P = "{6F3B9D29-4E1A-11D5-A7C3-0050DA6E1B42}";
    const std::string kill = "HKLM\\Software\\Microsoft\\Internet Explorer\\ActiveX Compatibility\\",
                      list = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Ext",
                      user = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Settings\\" + P;
    // "key (with its root)|value name|data", data "#n" a REG_DWORD, else a REG_SZ.
    const std::string kill_l = kill + L + "|Compatibility Flags|#1024",
                      kill_p = kill + P + "|Compatibility Flags|#1024";
    const struct {
        const char* road;  // "cookie": a legacy-server cookie; "file": a local file; else plain http
        std::vector<std::string> values;
        const char* created;  // the control created, or null for the notice
        std::string log;
    } rows[] = {
        {"cookie", {kill_l}, "PluginCtl", "blocked by the kill bit, " + kill + L + ", value \"Compat"},
        {"file", {kill_l}, "PluginCtl", "Morvane 6x not detected"},
        {"cookie",
         {kill_l, kill + L + "|AlternateCLSID|" + P},
         "PluginCtl",
         "names the Morvane 8x control"},
        {"http", {kill_p, kill + P + "|AlternateCLSID|" + L}, "Legacy6x", "names the Morvane 6x control"},
        {"http", {"HKCU" + list + "\\CLSID|" + P + "|0"}, nullptr, "by the add-on list, HKCU" + list},
        {"http",
         {user + "|Flags|#1", "HKLM" + list + "\\CLSID|" + P + "|2"},
         nullptr,
         "disabled add-ons, " + user},
    };
    const auto root = [](const std::string& key) {
        return key[3] == 'M' ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    };
    const auto clear = [&] {
        for (const std::string& key : {kill + L, kill + P, "HKLM" + list, "HKCU" + list, user}) {
            RegDeleteTreeA(root(key), key.c_str() + 5);
            RegDeleteKeyA(root(key), key.c_str() + 5);
        }
    };
    DocServer server;
    ASSERT_TRUE(server.running());
    int n = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(n);
        clear();
        for (const std::string& v : row.values) {
            const size_t name = v.find('|') + 1, data = v.find('|', name) + 1;
            const DWORD number = std::strtoul(v.c_str() + data + 1, nullptr, 10);
            const bool dword = v[data] == '#';
            ASSERT_EQ(ERROR_SUCCESS,
                      RegSetKeyValueA(root(v), v.substr(5, name - 6).c_str(),
                                      v.substr(name, data - name - 1).c_str(),
                                      dword ? REG_DWORD : REG_SZ,
                                      dword ? static_cast<const void*>(&number) : v.c_str() + data,
                                      dword ? 4 : static_cast<DWORD>(v.size() - data + 1)));
        }
        const std::string path = "/e2e-admin" + std::to_string(n++) + "/";
        server.route(path + "doc.dzy", DocRoute{});
        std::wstring url = server.wurl(path + "doc.dzy");
        if (!strcmp(row.road, "file")) url = make_document_file(temp_dir, "admin.dzy", 100);
        if (!strcmp(row.road, "cookie")) {
            ASSERT_TRUE(
                InternetSetCookieA(narrow(url).c_str(), nullptr, ("rvs_info=1; path=" + path).c_str()));
        }
        reload_with_log();
        clear_client_calls();
        {
            BrowserContainer browser;
            auto launcher = create_launcher();
            ASSERT_EQ(S_OK, browser.open(launcher.get(), url.c_str(), L"application/x-quorquery"));
            char title[256] = {};
            GetWindowTextA(launcher_window(launcher.get()), title, sizeof title);
            EXPECT_EQ(!row.created, contains(title, "the administrator has blocked the Veltrix client"))
                << title;
            for (const char* control : {"PluginCtl", "Legacy6x"})
                EXPECT_EQ(row.created && !strcmp(row.created, control),
                          contains(client_calls(), std::string(control) + " Created"))
                    << client_calls();
            EXPECT_TRUE(row.created || browser.put_names.empty())
                << "nothing is published to the plugin";
            browser.close();
        }
        const std::string log = without_cr(finish_log());
        EXPECT_TRUE(contains(log, row.log)) << log;
        // One line for the control refused, whichever road follows.
        EXPECT_EQ(1u, count(log, "Not creating the ")) << log;
    }
    clear();
}
