// Every binding is a transfer of its own: a document handed to the main plugin
// is always the whole, right document, and a download ends with its document.
// Refreshes and Loads from inside callbacks, write failures, a browser that
// lets go without Close, failures without a text of the platform's, a temp
// folder outside the system code page and a web page instead of the document.
#include "launcher_fixture.h"

#include "support/browser_callback.h"
#include "support/doc_server.h"

#include <algorithm>
#include <functional>
#include <utility>

using namespace gntest;

namespace {

std::string str(const std::wstring& s) { return narrow(s); }

std::string env(const char* name) {
    char value[MAX_PATH] = "";
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value) : std::string();
}

class Transfer : public LauncherTest {
protected:
    DocServer server;

    // Load as a browser does, with its own callback registered on the bind
    // context; a new one is kept in *context, and one found there is loaded on
    // again as it is (a refresh on the same bind context).
    HRESULT load_with(IUnknown* launcher, const std::wstring& url, BrowserCallback* browser,
                      const wchar_t* mime = L"application/x-quorquery",
                      gn::com_ptr<IBindCtx>* context = nullptr) {
        gn::com_ptr<IBindCtx> bc(context ? context->get() : nullptr);
        gn::com_ptr<IMoniker> moniker;
        if (!bc && (FAILED(CreateBindCtx(0, bc.put())) ||
                    (browser && FAILED(RegisterBindStatusCallback(bc.get(), browser, nullptr, 0)))))
            return E_FAIL;
        if (context) *context = bc;
        RETURN_IF_FAILED(CreateURLMonikerEx(nullptr, url.c_str(), moniker.put(), URL_MK_UNIFORM));
        if (mime) gn::try_query<IMonikerProp>(launcher)->PutProperty(MIMETYPEPROP, mime);
        return gn::try_query<IPersistMoniker>(launcher)->Load(FALSE, moniker.get(), bc.get(), 0);
    }

    DocRoute trickled(unsigned long long length, size_t piece, DWORD pause_ms,
                      bool announce_length = true) {
        DocRoute r;
        r.length = length;
        r.trickle_bytes = piece;
        r.trickle_pause_ms = pause_ms;
        r.announce_length = announce_length;
        return r;
    }
};

// A document handed over is exactly the body of its length; any other call
// is a failure with a reason.
void expect_whole_or_failure(const SinkCall& call, size_t length) {
    if (call.kind == SinkCall::DataAvailable) {
        EXPECT_EQ(length, call.contents.size());
        EXPECT_TRUE(DocServer::body_matches(call.contents)) << "a mixed file";
    } else {
        EXPECT_FALSE(call.error.empty()) << "a failure without a reason";
    }
}

}  // namespace

// A refresh, or a Load from inside the browser's callback, while a document
// downloads: only the latest transfer reaches the plugin, whole; the first
// binding's browser callback is told it stopped. On the first Load's bind
// context (the browser's callback stays registered there), also from every
// step of the first binding's progress but FINDINGRESOURCE (only a process's
// first look-up of the host reports it): the browser's callback hears of both
// bindings and of the latest one's progress, and no binding is left running.
TEST_F(Transfer, ANewLoadSupersedesTheRunningTransfer) {
    ASSERT_TRUE(server.running());
    server.route("/small.dzy", trickled(20000, 1000, 10));
    server.route("/big.dzy", trickled(3000000, 65536, 5));
    server.route("/other.dzy", trickled(50000, 5000, 5));
    const struct {
        const char* name;
        const char* first;
        const char* second;
        size_t second_length;
        bool from_progress;  // the second Load comes from inside the browser's OnProgress
        ULONG step;          // ... at this status (0: at the first data), on the same context
    } rows[] = {
        {"refresh small", "/small.dzy", "/small.dzy", 20000, false, 0},
        {"refresh big", "/big.dzy", "/big.dzy", 3000000, false, 0},
        {"from OnProgress", "/big.dzy", "/other.dzy", 50000, true, 0},
        {"refresh, same context", "/big.dzy", "/big.dzy", 3000000, false, 1},
        {"connecting", "/big.dzy", "/other.dzy", 50000, true, BINDSTATUS_CONNECTING},
        {"sending", "/big.dzy", "/other.dzy", 50000, true, BINDSTATUS_SENDINGREQUEST},
        {"MIME type", "/big.dzy", "/other.dzy", 50000, true, BINDSTATUS_MIMETYPEAVAILABLE},
        {"first data", "/big.dzy", "/other.dzy", 50000, true, BINDSTATUS_BEGINDOWNLOADDATA},
        {"more data", "/big.dzy", "/other.dzy", 50000, true, BINDSTATUS_DOWNLOADINGDATA},
        {"end of data", "/big.dzy", "/other.dzy", 50000, true, BINDSTATUS_ENDDOWNLOADDATA},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        gn::com_ptr<IBindCtx> context, *same = row.step ? &context : nullptr;
        auto launcher = create_launcher();
        auto sink = TestSink::make();
        auto first = gn::make<BrowserCallback>();
        auto second = gn::make<BrowserCallback>();
        const wchar_t* mime = L"application/x-quorquery";
        first->status = row.step;
        if (row.from_progress)
            (row.step ? first->on_status : first->on_data) = [&] {
                EXPECT_EQ(S_OK,
                          load_with(launcher.get(), server.wurl(row.second), second.get(), mime, same));
            };
        ASSERT_EQ(S_OK, load_with(launcher.get(), server.wurl(row.first), first.get(), mime, same));
        ASSERT_EQ(S_OK, advise(launcher.get(), sink.get()));
        if (!row.from_progress) {
            ASSERT_TRUE(pump_until([&] { return first->data_reports > 0; }, 30000));
            ASSERT_EQ(S_OK,
                      load_with(launcher.get(), server.wurl(row.second), second.get(), mime, same));
        }
        ASSERT_TRUE(wait_for_calls(sink.get()));
        pump_until([] { return false; }, 200);  // anything more would come now
        ASSERT_EQ(1u, sink->calls.size());
        expect_whole_or_failure(sink->calls[0], row.second_length);
        EXPECT_EQ(SinkCall::DataAvailable, sink->calls[0].kind) << str(sink->calls[0].error);
        EXPECT_EQ(first->starts, first->stops) << "the first binding's browser callback";
        EXPECT_EQ(second->starts, second->stops);
        if (same) {
            EXPECT_EQ(2, first->starts) << "the browser's callback hears of both bindings";
            EXPECT_GT(first->progress_since_start, 0u) << "and of the latest one's progress";
        }
        launcher.reset();
        EXPECT_TRUE(pump_until([&] { return dz_files().empty(); }, 5000));
    }
}

// The plugin loads the next document while it is told about the first: each
// reaches it whole, in turn.
TEST_F(Transfer, LoadFromInsideThePluginsCallback) {
    ASSERT_TRUE(server.running());
    server.route("/one.dzy", trickled(20000, 20000, 0));
    server.route("/two.dzy", trickled(30000, 3000, 5));
    const std::wstring local = make_document_file(temp_dir, "three.dzy", 40000);
    for (const std::wstring& next : {server.wurl("/two.dzy"), local}) {
        SCOPED_TRACE(str(next));
        auto launcher = create_launcher();
        auto sink = TestSink::make();
        sink->during_call = [&](TestSink& s) {
            if (s.calls.size() != 1) return;
            EXPECT_EQ(S_OK, browser_load(launcher.get(), next));
            EXPECT_EQ(S_OK, advise(launcher.get(), &s));
        };
        ASSERT_EQ(S_OK, browser_load(launcher.get(), server.wurl("/one.dzy")));
        ASSERT_EQ(S_OK, advise(launcher.get(), sink.get()));
        ASSERT_TRUE(wait_for_calls(sink.get(), 2));
        ASSERT_EQ(2u, sink->calls.size());
        ASSERT_EQ(SinkCall::DataAvailable, sink->calls[0].kind) << str(sink->calls[0].error);
        ASSERT_EQ(SinkCall::DataAvailable, sink->calls[1].kind) << str(sink->calls[1].error);
        expect_whole_or_failure(sink->calls[0], 20000);
        expect_whole_or_failure(sink->calls[1], next == local ? 40000 : 30000);
        EXPECT_EQ(next, sink->calls[1].url);
        sink->during_call = nullptr;
        launcher.reset();
        EXPECT_TRUE(dz_files().empty());
    }
}

// The browser releases the document without Close while the server stalls:
// the download ends with it, the copy goes at once and the module can unload.
TEST_F(Transfer, FinalReleaseWithoutCloseEndsTheDownload) {
    ASSERT_TRUE(server.running());
    DocRoute stall = trickled(400000, 1000, 3000);
    DocRoute silent;
    silent.silent = true;
    server.route("/stall.dzy", stall);
    server.route("/silent.dzy", silent);
    for (const char* path : {"/stall.dzy", "/silent.dzy"}) {
        SCOPED_TRACE(path);
        auto launcher = create_launcher();
        auto sink = TestSink::make();
        auto browser = gn::make<BrowserCallback>();
        ASSERT_EQ(S_OK, load_with(launcher.get(), server.wurl(path), browser.get()));
        ASSERT_EQ(S_OK, advise(launcher.get(), sink.get()));
        ASSERT_TRUE(pump_until([&] { return !dz_files().empty(); }, 10000));
        pump_until([] { return false; }, 100);
        launcher.reset();
        EXPECT_TRUE(pump_until(
            [&] { return dz_files().empty() && module->can_unload_now() == S_OK; }, 5000))
            << dz_files().size() << " file(s) left";
        EXPECT_TRUE(sink->calls.empty()) << "nobody is told about a released document";
        EXPECT_EQ(browser->starts, browser->stops);
    }
}

// Whatever the browser's own callback does inside its calls (fails them,
// closes or releases the document, loads another), it is told exactly once
// that its binding stopped, and only after the plugin was told its outcome.
TEST_F(Transfer, TheBrowsersCallbackIsToldOnceAndLast) {
    ASSERT_TRUE(server.running());
    server.route("/doc.dzy", trickled(20000, 2000, 5));
    server.route("/next.dzy", trickled(10000, 10000, 0));
    enum What { Fail, Close, Release, Load };
    const struct {
        const char* name;
        std::function<void()> BrowserCallback::*inside;
        What what;
        std::vector<std::string> order;
    } rows[] = {
        {"fail OnStartBinding", &BrowserCallback::on_start, Fail, {"plugin doc", "stop doc"}},
        {"Close in OnStartBinding", &BrowserCallback::on_start, Close, {"stop doc"}},
        {"release in OnStartBinding", &BrowserCallback::on_start, Release, {"stop doc"}},
        {"Load in OnStartBinding",
         &BrowserCallback::on_start,
         Load,
         {"stop doc", "plugin next", "stop next"}},
        {"fail OnProgress", &BrowserCallback::on_data, Fail, {"plugin doc", "stop doc"}},
        {"Close in OnProgress", &BrowserCallback::on_data, Close, {"stop doc"}},
        {"release in OnProgress", &BrowserCallback::on_data, Release, {"stop doc"}},
        {"Load in OnProgress", &BrowserCallback::on_data, Load, {"stop doc", "plugin next", "stop next"}},
        {"Close at ENDDOWNLOADDATA", &BrowserCallback::on_status, Close, {"stop doc"}},
        {"fail OnStopBinding", &BrowserCallback::on_stop, Fail, {"plugin doc", "stop doc"}},
        {"Close in OnStopBinding", &BrowserCallback::on_stop, Close, {"plugin doc", "stop doc"}},
        {"release in OnStopBinding", &BrowserCallback::on_stop, Release, {"plugin doc", "stop doc"}},
        {"Load in OnStopBinding",
         &BrowserCallback::on_stop,
         Load,
         {"plugin doc", "stop doc", "plugin next", "stop next"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> order;
        auto launcher = create_launcher();
        auto sink = TestSink::make();
        sink->during_call = [&](TestSink& s) {
            order.push_back(s.calls.back().url.find(L"next") != std::wstring::npos ? "plugin next"
                                                                                  : "plugin doc");
        };
        auto browser = gn::make<BrowserCallback>();
        auto next = gn::make<BrowserCallback>();
        browser->name = "doc";
        next->name = "next";
        browser->order = next->order = &order;
        switch (row.what) {
        case Fail:
            browser->answer = E_FAIL;
            break;
        case Close:
            browser.get()->*row.inside = [&] { gn::try_query<IOleObject>(launcher.get())->Close(OLECLOSE_NOSAVE); };
            break;
        case Release:
            browser.get()->*row.inside = [&] { launcher.reset(); };
            break;
        case Load:
            browser.get()->*row.inside = [&] {
                EXPECT_EQ(S_OK, load_with(launcher.get(), server.wurl("/next.dzy"), next.get()));
                EXPECT_EQ(S_OK, advise(launcher.get(), sink.get()));
            };
            break;
        }
        ASSERT_EQ(S_OK, advise(launcher.get(), sink.get()));
        ASSERT_EQ(S_OK, load_with(launcher.get(), server.wurl("/doc.dzy"), browser.get()));
        EXPECT_TRUE(pump_until([&] { return order.size() >= row.order.size(); }, 10000));
        pump_until([] { return false; }, 200);  // anything more would come now
        EXPECT_EQ(row.order, order);
        EXPECT_EQ(1, browser->starts);
        EXPECT_EQ(1, browser->stops);
        EXPECT_EQ(next->starts, next->stops);
        // A document closed before the plugin had it is no success, to the
        // browser or to a plugin that subscribes afterwards.
        const bool handed = std::count(order.begin(), order.end(), "plugin doc") > 0;
        EXPECT_EQ(handed, SUCCEEDED(browser->stopped_with)) << std::hex << browser->stopped_with;
        if (row.what == Close && !handed) {
            auto late = TestSink::make();
            ASSERT_EQ(S_OK, advise(launcher.get(), late.get()));
            ASSERT_EQ(1u, late->calls.size());
            EXPECT_EQ(SinkCall::Abort, late->calls[0].kind)
                << late->calls[0].contents.size() << " bytes";
        }
        for (const SinkCall& call : sink->calls) {
            if (call.kind != SinkCall::DataAvailable) continue;
            EXPECT_EQ(call.url.find(L"next") != std::wstring::npos ? 10000u : 20000u,
                      call.contents.size());
        }
        browser->on_start = browser->on_data = browser->on_status = browser->on_stop = nullptr;
        launcher.reset();
        EXPECT_TRUE(pump_until([&] { return dz_files().empty(); }, 5000));
    }
}

// Failures that the platform reports without a text are given one.
TEST_F(Transfer, RefusedConnectionSaysWhy) {
    unsigned short port;
    {
        DocServer probe;
        ASSERT_TRUE(probe.running());
        port = probe.port();
    }
    auto launcher = create_launcher();
    auto sink = TestSink::make();
    ASSERT_EQ(S_OK, browser_load(launcher.get(),
                                 L"http://127.0.0.1:" + std::to_wstring(port) + L"/doc.dzy"));
    ASSERT_EQ(S_OK, advise(launcher.get(), sink.get()));
    ASSERT_TRUE(wait_for_calls(sink.get()));
    ASSERT_EQ(SinkCall::Abort, sink->calls[0].kind);
    EXPECT_EQ(L"Could not connect to the server", sink->calls[0].error);
}

// Run by the launcher_namespace test, where no name can be resolved: the
// system's resolver is pointed at a loopback port where nobody answers.
TEST_F(Transfer, UnknownHostSaysWhy) {
    if (env("GN_NO_DNS").empty()) GTEST_SKIP() << "run by launcher_namespace (GN_NO_DNS)";
    auto launcher = create_launcher();
    auto sink = TestSink::make();
    ASSERT_EQ(S_OK, browser_load(launcher.get(), L"http://gnlauncher-nowhere.invalid/doc.dzy"));
    ASSERT_EQ(S_OK, advise(launcher.get(), sink.get()));
    ASSERT_TRUE(wait_for_calls(sink.get()));
    ASSERT_EQ(SinkCall::Abort, sink->calls[0].kind);
    EXPECT_EQ(L"Server name not found", sink->calls[0].error);
}

// A temp folder whose name the system code page cannot spell.
TEST_F(Transfer, TempFolderOutsideTheCodePage) {
    const std::wstring dir = widen(temp_dir) + L"\x0418\x0432\x0430\x043D";  // Иван
    const std::wstring temp = dir + L"\\Temp\\";
    ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(temp.c_str(), nullptr));
    RecordProperty("code_page", static_cast<int>(GetACP()));
    const std::wstring url = make_document_file(temp_dir, "doc.dzy", 30000);
    SetEnvironmentVariableW(L"TMP", temp.c_str());
    SetEnvironmentVariableW(L"TEMP", temp.c_str());
    {
        auto launcher = create_launcher();
        auto sink = TestSink::make();
        ASSERT_EQ(S_OK, browser_load(launcher.get(), url));
        ASSERT_EQ(S_OK, advise(launcher.get(), sink.get()));
        ASSERT_EQ(1u, sink->calls.size());
        ASSERT_EQ(SinkCall::DataAvailable, sink->calls[0].kind) << str(sink->calls[0].error);
        EXPECT_EQ(temp + L"DZ" + std::to_wstring(GetCurrentProcessId()) + L".tmp",
                  sink->calls[0].path);
        EXPECT_EQ(30000u, sink->calls[0].contents.size());
        EXPECT_TRUE(DocServer::body_matches(sink->calls[0].contents));
    }
    set_temp_dir(temp_dir);
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((temp + L"DZ*.tmp").c_str(), &found);
    EXPECT_EQ(INVALID_HANDLE_VALUE, h) << "a copy was left";
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
    RemoveDirectoryW(temp.c_str());
    RemoveDirectoryW(dir.c_str());
}

// A sign-in page or an error page sent with 200 where a document was announced.
TEST_F(Transfer, WebPageInsteadOfTheDocument) {
    ASSERT_TRUE(server.running());
    DocRoute page;
    page.content_type = "text/html; charset=utf-8";
    page.body = "<html><body>Please sign in</body></html>";
    server.route("/signin.dzy", page);
    const struct {
        const wchar_t* announced;
        bool handed_over;
    } rows[] = {{L"application/x-quorquery", false},
                {L"application/x-quorquerydata", false},
                {nullptr, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.announced ? str(row.announced) : "nothing announced");
        auto launcher = create_launcher();
        auto sink = TestSink::make();
        ASSERT_EQ(S_OK, load_with(launcher.get(), server.wurl("/signin.dzy"), nullptr, row.announced));
        ASSERT_EQ(S_OK, advise(launcher.get(), sink.get()));
        ASSERT_TRUE(wait_for_calls(sink.get()));
        if (row.handed_over) {
            EXPECT_EQ(SinkCall::DataAvailable, sink->calls[0].kind);
        } else {
            ASSERT_EQ(SinkCall::Abort, sink->calls[0].kind);
            EXPECT_EQ(L"The server sent a web page instead of the document (a sign-in may be needed)",
                      sink->calls[0].error);
        }
    }
}

// Run by the launcher_namespace test, which gives the temp folder a 1 MiB
// file system of its own (GN_SMALL_TEMP): the disk fills up at the first
// block written, in the middle, or within the last buffered MiB, with and
// without a Content-Length.
TEST_F(Transfer, FullDiskFailsWithItsReason) {
    std::string small = env("GN_SMALL_TEMP");
    if (small.empty()) GTEST_SKIP() << "run by launcher_namespace (GN_SMALL_TEMP)";
    if (small.back() != '\\') small += '\\';
    ASSERT_TRUE(server.running());
    const struct {
        const char* name;
        bool fill_first;  // the folder is full before the download
        unsigned long long length;
    } rows[] = {{"first block", true, 3000000},
                {"middle", false, 3000000},
                {"last buffered MiB", false, 1200000}};
    for (const auto& row : rows) {
        for (bool length : {true, false}) {
            SCOPED_TRACE(std::string(row.name) + (length ? " with" : " without") + " Content-Length");
            const std::string filler = small + "filler.bin";
            if (row.fill_first) {
                HANDLE f = CreateFileA(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
                ASSERT_NE(INVALID_HANDLE_VALUE, f);
                std::vector<char> block(4096, 'f');
                DWORD written = 0;
                while (WriteFile(f, block.data(), 4096, &written, nullptr) && written == 4096) {
                }
                CloseHandle(f);
            }
            DocRoute r;
            r.length = row.length;
            r.announce_length = length;
            server.route("/full.dzy", r);
            temp_dir = small;
            set_temp_dir(small);
            auto launcher = create_launcher();
            auto sink = TestSink::make();
            ASSERT_EQ(S_OK, browser_load(launcher.get(), server.wurl("/full.dzy")));
            ASSERT_EQ(S_OK, advise(launcher.get(), sink.get()));
            ASSERT_TRUE(wait_for_calls(sink.get()));
            ASSERT_EQ(SinkCall::Abort, sink->calls[0].kind)
                << sink->calls[0].contents.size() << " bytes handed over";
            EXPECT_EQ(L"Failed to write temp file: disk full", sink->calls[0].error);
            EXPECT_EQ(static_cast<HRESULT>(0x80070070), sink->calls[0].hr);  // ERROR_DISK_FULL
            launcher.reset();
            EXPECT_TRUE(pump_until([&] { return module->can_unload_now() == S_OK; }, 5000));
            EXPECT_TRUE(dz_files().empty());
            DeleteFileA(filler.c_str());
        }
    }
}
