// Downloads through the platform's URL binding, driven the way a browser
// drives the launcher, against the loopback document server and file URLs.
#include "launcher_fixture.h"

#include "support/browser_callback.h"
#include "support/doc_server.h"
#include "support/fake_moniker.h"

#include <wininet.h>

#include <algorithm>
#include <fstream>

using namespace gntest;

namespace {

std::string str(const std::wstring& s) { return narrow(s); }

std::string generated_body(size_t size) {
    std::string body(size, '\0');
    DocServer::fill_body(0, &body[0], size);
    return body;
}

// A gzip member of stored (uncompressed) deflate blocks: what a server sends
// as "Content-Encoding: gzip", made without a compressor.
std::string gzip_stored(const std::string& data) {
    auto le32 = [](std::string& out, unsigned long v) {
        for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    std::string out("\x1f\x8b\x08\0\0\0\0\0\0\xff", 10);
    size_t pos = 0;
    do {
        const size_t n = std::min<size_t>(65535, data.size() - pos);
        out += static_cast<char>(pos + n == data.size() ? 1 : 0);  // last block?
        for (unsigned v : {static_cast<unsigned>(n), static_cast<unsigned>(~n & 0xFFFF)}) {
            out += static_cast<char>(v & 0xFF);
            out += static_cast<char>(v >> 8);
        }
        out.append(data, pos, n);
        pos += n;
    } while (pos < data.size());
    unsigned long crc = 0xFFFFFFFFul;
    for (unsigned char b : data) {
        crc ^= b;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320ul & (0ul - (crc & 1)));
    }
    le32(out, crc ^ 0xFFFFFFFFul);
    le32(out, static_cast<unsigned long>(data.size()));
    return out;
}

class Download : public LauncherTest {
protected:
    DocServer server;

    // Loads url into a new launcher with a sink subscribed at once, and waits
    // for the one call back.
    SinkCall fetch(const std::wstring& url) {
        auto launcher = create_launcher();
        auto sink = TestSink::make();
        EXPECT_EQ(S_OK, browser_load(launcher.get(), url));
        EXPECT_EQ(S_OK, advise(launcher.get(), sink.get()));
        EXPECT_TRUE(wait_for_calls(sink.get()));
        EXPECT_EQ(1u, sink->calls.size());
        EXPECT_EQ(1u, sink->refs()) << "the launcher keeps no sink after the call";
        EXPECT_TRUE(dz_files().empty()) << "the file is deleted when the call returns";
        return sink->calls.empty() ? SinkCall{} : sink->calls[0];
    }
};

}  // namespace

TEST_F(Download, DocumentOfAnySizeArrivesWhole) {
    ASSERT_TRUE(server.running());
    for (unsigned long long size : {1ull, 8191ull, 8192ull, 8193ull, 20000ull, 4000000ull}) {
        SCOPED_TRACE(size);
        const std::string path = "/doc" + std::to_string(size) + ".dzy";
        DocRoute r;
        r.length = size;
        server.route(path, r);
        const SinkCall call = fetch(server.wurl(path));
        ASSERT_EQ(SinkCall::DataAvailable, call.kind) << str(call.error);
        EXPECT_EQ(server.wurl(path), call.url);
        EXPECT_EQ(L"application/x-quorquery", call.mime);
        EXPECT_EQ(temp_name(GetCurrentProcessId()), str(call.path)) << "one backslash after the folder";
        EXPECT_TRUE(call.file_existed);
        EXPECT_EQ(size, call.contents.size());
        EXPECT_TRUE(DocServer::body_matches(call.contents));
    }
}

TEST_F(Download, TrickledDocumentArrivesWhole) {
    ASSERT_TRUE(server.running());
    DocRoute r;
    r.length = 300000;
    r.trickle_bytes = 7000;
    r.trickle_pause_ms = 2;
    server.route("/slow.dzy", r);
    const SinkCall call = fetch(server.wurl("/slow.dzy"));
    ASSERT_EQ(SinkCall::DataAvailable, call.kind) << str(call.error);
    EXPECT_EQ(300000u, call.contents.size());
    EXPECT_TRUE(DocServer::body_matches(call.contents));
    const auto requests = server.requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ("GET", requests[0].method);
    EXPECT_EQ("/slow.dzy", requests[0].target);
}

// One answer of the server and how the download must end. Document: the
// whole body of `size` bytes arrives. Failure: OnAbort with hr and the text.
// Either: a cut the platform may hide from the launcher (docs/limits.md): a
// failure whose text starts with `error`, or at most the bytes that were
// sent, never more.
enum Expect { Document, Failure, Either };
struct Outcome {
    const char* name;
    DocRoute (*route)(const std::string& redirect);  // redirect: a Location header
    Expect expect;
    size_t size;
    HRESULT hr;
    const wchar_t* error;
};

DocRoute answer(int status, const char* reason, const std::string& headers, const std::string& body) {
    DocRoute r;
    r.status = status;
    r.reason = reason;
    r.extra_headers = headers;
    r.body = body;
    r.announce_length = !body.empty();
    return r;
}
DocRoute doc(unsigned long long length, const std::string& headers = "",
             unsigned long long cut_after = ~0ull, size_t chunk_bytes = 0) {
    DocRoute r;
    r.length = length;
    r.extra_headers = headers;
    r.announce_length = headers.find("Content-Length") == std::string::npos;
    r.cut_after = cut_after;
    r.chunk_bytes = chunk_bytes;
    return r;
}
const std::string& gzipped_body() {
    static const std::string gz = gzip_stored(generated_body(100000));
    return gz;
}
DocRoute gzipped(unsigned long long cut_after) {
    DocRoute r = answer(200, "OK", "Content-Encoding: gzip\r\n", gzipped_body());
    r.cut_after = cut_after;
    return r;
}

const Outcome kOutcomes[] = {
    {"ok", [](const std::string&) { return doc(5000); }, Document, 5000, S_OK, L""},
    {"404", nullptr, Failure, 0, INET_E_RESOURCE_NOT_FOUND, L"HTTP 404 Not Found"},
    {"500",
     [](const std::string&) { return answer(500, "Internal Server Error", "", "<html>broken</html>"); },
     Failure, 0, INET_E_DOWNLOAD_FAILURE, L"HTTP 500 Internal Server Error"},
    {"302_to_file",
     [](const std::string&) {
         return answer(302, "Found", "Location: file:///C:/windows/win.ini\r\n", "moved");
     },
     Failure, 0, INET_E_REDIRECT_FAILED, L"HTTP 302 Found"},
    {"302_nowhere", [](const std::string&) { return answer(302, "Found", "", "moved"); }, Failure, 0,
     INET_E_REDIRECT_FAILED, L"HTTP 302 Found"},
    {"401",
     [](const std::string&) {
         DocRoute r = doc(1000);
         r.basic_auth = "reader:secret";
         return r;
     },
     Failure, 0, INET_E_DOWNLOAD_FAILURE, L"HTTP 401 Unauthorized"},
    {"304", [](const std::string&) { return answer(304, "Not Modified", "", ""); }, Failure, 0,
     INET_E_DOWNLOAD_FAILURE, L"HTTP 304 Not Modified"},
    {"301", [](const std::string& to) { return answer(301, "Moved Permanently", to, ""); }, Document,
     1000, S_OK, L""},
    {"302", [](const std::string& to) { return answer(302, "Found", to, ""); }, Document, 1000, S_OK,
     L""},
    {"303", [](const std::string& to) { return answer(303, "See Other", to, ""); }, Document, 1000, S_OK,
     L""},
    {"307", [](const std::string& to) { return answer(307, "Temporary Redirect", to, ""); }, Document,
     1000, S_OK, L""},
    // Wine 8 does not follow a 308: it arrives as the final answer.
    {"308", [](const std::string& to) { return answer(308, "Permanent Redirect", to, ""); }, Either,
     1000, INET_E_REDIRECT_FAILED, L"HTTP 308 Permanent Redirect"},
    {"cut", [](const std::string&) { return doc(400000, "", 200000); }, Failure, 0,
     INET_E_DOWNLOAD_FAILURE, L"Incomplete download: 200000 of 400000 bytes"},
    {"chunked", [](const std::string&) { return doc(100000, "", ~0ull, 16384); }, Document, 100000, S_OK,
     L""},
    {"chunked_cut", [](const std::string&) { return doc(100000, "", 50000, 16384); }, Either, 50000,
     INET_E_DOWNLOAD_FAILURE, L"Incomplete download"},
    {"gzip", [](const std::string&) { return gzipped(~0ull); }, Document, 100000, S_OK, L""},
    {"gzip_cut", [](const std::string&) { return gzipped(gzipped_body().size() / 2); }, Either, 100000,
     INET_E_DOWNLOAD_FAILURE, L"Incomplete download"},
    {"length_negative", [](const std::string&) { return doc(1000, "Content-Length: -5\r\n"); }, Failure,
     0, INET_E_DOWNLOAD_FAILURE, L"Invalid Content-Length"},
    {"length_garbage", [](const std::string&) { return doc(1000, "Content-Length: abc\r\n"); }, Failure,
     0, INET_E_DOWNLOAD_FAILURE, L"Invalid Content-Length"},
    {"length_hex",
     [](const std::string&) {
         DocRoute r = doc(100000);
         r.length_text = "0x186a0";
         return r;
     },
     Failure, 0, INET_E_DOWNLOAD_FAILURE, L"Invalid Content-Length"},
    {"chunked_length",
     [](const std::string&) {
         DocRoute r = doc(100000, "", ~0ull, 16384);
         r.length_text = "200000";
         return r;
     },
     Document, 100000, S_OK, L""},
    {"gzip_chunked",
     [](const std::string&) {
         DocRoute r = doc(100000, "", ~0ull, 16384);
         r.coding = "gzip, chunked";
         return r;
     },
     Failure, 0, INET_E_DOWNLOAD_FAILURE, L"Unsupported transfer coding: gzip"},
};

// Only a whole document is one: an answer without content, a part never
// asked for, no body at all (also a server that closed inside its headers).
DocRoute head_cut(const std::string&) {
    DocRoute r = doc(1000);
    r.head_bytes = 40;
    return r;
}
const Outcome kWholeOnly[] = {
    {"206", [](const std::string&) { return answer(206, "Partial Content", "", generated_body(2000)); },
     Failure, 0, INET_E_DOWNLOAD_FAILURE, L"HTTP 206 Partial Content"},
    {"204", [](const std::string&) { return answer(204, "No Content", "", ""); }, Failure, 0,
     INET_E_DOWNLOAD_FAILURE, L"HTTP 204 No Content"},
    {"205", [](const std::string&) { return answer(205, "Reset Content", "", ""); }, Failure, 0,
     INET_E_DOWNLOAD_FAILURE, L"HTTP 205 Reset Content"},
    {"empty", [](const std::string&) { return doc(0); }, Failure, 0, INET_E_DATA_NOT_AVAILABLE,
     L"Empty document"},
    {"cut_in_headers", head_cut, Failure, 0, INET_E_DATA_NOT_AVAILABLE, L"Empty document"},
};

class DownloadOutcome : public Download, public ::testing::WithParamInterface<Outcome> {};

TEST_P(DownloadOutcome, HostileAnswersNeverPassForTheDocument) {
    ASSERT_TRUE(server.running());
    server.route("/target.dzy", doc(1000));
    const Outcome& row = GetParam();
    if (row.route) server.route("/answer.dzy", row.route("Location: " + server.url("/target.dzy") + "\r\n"));
    const SinkCall call = fetch(server.wurl("/answer.dzy"));  // no route: 404
    if (call.kind == SinkCall::DataAvailable && row.expect != Failure) {
        EXPECT_TRUE(row.expect == Either ? call.contents.size() <= row.size : call.contents.size() == row.size)
            << call.contents.size();
        EXPECT_TRUE(DocServer::body_matches(call.contents));
    } else if (call.kind == SinkCall::Abort && row.expect != Document) {
        EXPECT_EQ(row.hr, call.hr);
        EXPECT_EQ(0u, call.error.find(row.error)) << str(call.error);
    } else {
        ADD_FAILURE() << "ended as " << call.kind << ": " << str(call.error);
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, DownloadOutcome, ::testing::ValuesIn(kOutcomes),
                         [](const ::testing::TestParamInfo<Outcome>& info) { return std::string(info.param.name); });
INSTANTIATE_TEST_SUITE_P(WholeOnly, DownloadOutcome, ::testing::ValuesIn(kWholeOnly),
                         [](const ::testing::TestParamInfo<Outcome>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(Download, RefusedConnectionEndsTheDownloadAsFailed) {
    // A port that was just free: nobody listens there.
    unsigned short port;
    {
        DocServer probe;
        ASSERT_TRUE(probe.running());
        port = probe.port();
    }
    const SinkCall call = fetch(L"http://127.0.0.1:" + std::to_wstring(port) + L"/doc.dzy");
    EXPECT_EQ(SinkCall::Abort, call.kind);
    EXPECT_TRUE(FAILED(call.hr)) << std::hex << call.hr;
}

TEST_F(Download, FileUrlCompletesInsideLoad) {
    const std::wstring url = make_document_file(temp_dir, "doc.dzy", 50000);
    auto launcher = create_launcher();
    ASSERT_EQ(S_OK, browser_load(launcher.get(), url, nullptr));
    // No subscriber yet: the file waits for one.
    EXPECT_EQ(1u, dz_files().size());
    auto sink = TestSink::make();
    ASSERT_EQ(S_OK, advise(launcher.get(), sink.get()));
    ASSERT_EQ(1u, sink->calls.size());
    const SinkCall& call = sink->calls[0];
    ASSERT_EQ(SinkCall::DataAvailable, call.kind) << str(call.error);
    EXPECT_EQ(url, call.url);
    EXPECT_TRUE(call.mime_null) << "no MIME type was announced";
    EXPECT_EQ(50000u, call.contents.size());
    EXPECT_TRUE(DocServer::body_matches(call.contents));
    EXPECT_TRUE(dz_files().empty());
}

TEST_F(Download, TempFileTakesTheNextFreeNumber) {
    // Whatever holds the first name (a file, one held open without sharing,
    // a directory), the launcher creates its own file under the next one and
    // never opens the other.
    enum Holder { File, FileHeldOpen, Directory };
    const DWORD pid = GetCurrentProcessId();
    const std::string taken = temp_name(pid);
    const std::wstring url = make_document_file(temp_dir, "doc.dzy", 100);
    for (Holder holder : {File, FileHeldOpen, Directory}) {
        SCOPED_TRACE(holder);
        HANDLE held = INVALID_HANDLE_VALUE;
        if (holder == Directory) {
            ASSERT_TRUE(CreateDirectoryA(taken.c_str(), nullptr));
        } else {
            { std::ofstream(taken) << "someone else's"; }
            if (holder == FileHeldOpen)
                held = CreateFileA(taken.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                                   nullptr);
        }
        auto launcher = create_launcher();
        ASSERT_EQ(S_OK, browser_load(launcher.get(), url));
        auto sink = TestSink::make();
        ASSERT_EQ(S_OK, advise(launcher.get(), sink.get()));
        ASSERT_EQ(1u, sink->calls.size());
        EXPECT_EQ(SinkCall::DataAvailable, sink->calls[0].kind);
        EXPECT_EQ(temp_name(pid + 1), str(sink->calls[0].path));
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        if (holder == Directory) {
            EXPECT_TRUE(RemoveDirectoryA(taken.c_str()));
        } else {
            EXPECT_EQ("someone else's", read_file(taken)) << "an existing file is never touched";
            DeleteFileA(taken.c_str());
        }
    }
}

TEST_F(Download, TempPathTooLongFailsCleanly) {
    const std::wstring url = make_document_file(temp_dir, "doc.dzy", 100);
    reload_with_log();
    // 253 characters of directory: the directory fits the 260-byte buffer,
    // "<dir>\DZ<n>.tmp" does not, however few digits the number has (7 bytes
    // of name, a digit and the terminator: 262). Then a directory that does
    // not fit at all.
    const std::string near_limit = "C:\\" + std::string(249, 'x') + "\\";
    const std::string too_long = "C:\\" + std::string(300, 'y') + "\\";
    for (const std::string& dir : {near_limit, too_long}) {
        set_temp_dir(dir);
        auto launcher = create_launcher();
        auto sink = TestSink::make();
        ASSERT_EQ(S_OK, browser_load(launcher.get(), url));
        ASSERT_EQ(S_OK, advise(launcher.get(), sink.get()));
        ASSERT_TRUE(wait_for_calls(sink.get()));
        EXPECT_EQ(SinkCall::Abort, sink->calls[0].kind);
        EXPECT_TRUE(FAILED(sink->calls[0].hr));
        EXPECT_EQ(0u, sink->calls[0].error.find(L"Failed to create temp file"))
            << str(sink->calls[0].error);
    }
    set_temp_dir(temp_dir);
    const std::string log = finish_log();
    EXPECT_NE(std::string::npos, log.find("Temp file name does not fit the path buffer"));
    EXPECT_EQ(std::string::npos, log.find("Creating temp file"));
}

TEST_F(Download, LongUrlDownloads) {
    ASSERT_TRUE(server.running());
    const std::string path = "/" + std::string(600, 'p') + ".dzy";
    DocRoute r;
    r.length = 1000;
    server.route(path, r);
    const SinkCall call = fetch(server.wurl(path));
    ASSERT_EQ(SinkCall::DataAvailable, call.kind) << str(call.error);
    EXPECT_EQ(server.wurl(path), call.url);
    EXPECT_EQ(1000u, call.contents.size());
}

// The browser's callback sees the binding start, its progress and the
// launcher's outcome, and answers the services of its UI; the data and the
// bind flags stay the launcher's.
TEST_F(Download, BrowserCallbackSeesProgressAndTheOutcome) {
    ASSERT_TRUE(server.running());
    server.route("/big.dzy", doc(1000000));
    const struct {
        const char* path;
        const char* stop;
        ULONG last;
        bool fails_to_start = false;  // the first Load's BindToStorage fails before any callback
    } cases[] = {{"/big.dzy", "stop 00000000 ", 1000000},
                 {"/none.dzy", "stop 800c0005 HTTP 404 Not Found", 0},
                 {"/big.dzy", "stop 00000000 ", 1000000, true}};
    Expectations told;  // on the test's thread, the start first and the stop last
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        auto launcher = create_launcher();
        auto sink = TestSink::make();
        auto browser = gn::make<BrowserCallback>();
        browser->launcher = gn::try_query<IServiceProvider>(launcher.get()).get();
        ASSERT_TRUE(browser->launcher);
        std::vector<std::string> expected = {"start", c.stop, "start", c.stop};
        if (c.fails_to_start) expected.erase(expected.begin(), expected.begin() + 2);
        if (c.fails_to_start)
            told.expect_sequence({"OnStartBinding", "OnStopBinding"});
        else
            told.expect_sequence({"OnStartBinding", "OnStopBinding", "OnStartBinding", "OnStopBinding"});
        told.allow("OnProgress");
        told.allow("QueryService");  // the launcher passes questions for the UI on
        browser->expected = &told;
        gn::com_ptr<IBindCtx> bc;
        gn::com_ptr<IMoniker> moniker;
        ASSERT_EQ(S_OK, CreateBindCtx(0, bc.put()));
        ASSERT_EQ(S_OK, RegisterBindStatusCallback(bc.get(), browser.get(), nullptr, 0));
        ASSERT_EQ(S_OK, CreateURLMonikerEx(nullptr, server.wurl(c.path).c_str(), moniker.put(), URL_MK_UNIFORM));
        // Loaded, then refreshed on the same bind context once the first binding ended.
        const auto unknown = FakeMoniker::make(L"gnnosuch://doc.dzy", INET_E_UNKNOWN_PROTOCOL);
        for (size_t n = 1; n <= 2; ++n) {
            IMoniker* const loaded = c.fails_to_start && n == 1 ? unknown.get() : moniker.get();
            ASSERT_EQ(S_OK,
                      gn::try_query<IPersistMoniker>(launcher.get())->Load(FALSE, loaded, bc.get(), 0));
            ASSERT_EQ(S_OK, advise(launcher.get(), sink.get()));
            ASSERT_TRUE(wait_for_calls(sink.get(), n));
        }
        EXPECT_EQ(expected, browser->calls);
        EXPECT_GE(browser->progress, 2u);
        if (c.last) {
            EXPECT_EQ(c.last, browser->last_progress);
        }
        told.check_called();
        bc.reset();
        launcher.reset();
        EXPECT_EQ(1u, browser->refs()) << "the launcher keeps no browser callback after the binding";
    }
}
