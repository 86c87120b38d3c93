// Downloads through the platform's URL binding, driven the way a browser
// drives the launcher, against the loopback document server and file URLs.
#include "launcher_fixture.h"

#include "support/doc_server.h"

#include <wininet.h>

#include <fstream>

using namespace gntest;

namespace {

std::string str(const std::wstring& s) { return narrow(s); }

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
    for (unsigned long long size : {0ull, 1ull, 8191ull, 8192ull, 8193ull, 20000ull, 4000000ull}) {
        SCOPED_TRACE(size);
        const std::string path = "/doc" + std::to_string(size) + ".dzy";
        DocRoute r;
        r.length = size;
        server.route(path, r);
        const SinkCall call = fetch(server.wurl(path));
        ASSERT_EQ(SinkCall::DataAvailable, call.kind) << str(call.error);
        EXPECT_EQ(server.wurl(path), call.url);
        EXPECT_EQ(L"application/x-quorquery", call.mime);
        EXPECT_EQ(temp_name(GetCurrentProcessId()), str(call.path));
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

TEST_F(Download, HttpErrorStatusEndsTheDownloadAsFailed) {
    ASSERT_TRUE(server.running());
    DocRoute e500;
    e500.status = 500;
    e500.reason = "Internal Server Error";
    e500.content_type = "text/html";
    e500.body = "<html>something broke</html>";
    server.route("/broken.dzy", e500);

    SinkCall call = fetch(server.wurl("/missing.dzy"));  // no route: 404
    EXPECT_EQ(SinkCall::Abort, call.kind);
    EXPECT_EQ(INET_E_RESOURCE_NOT_FOUND, call.hr);
    EXPECT_EQ(L"HTTP 404 Not Found", call.error);

    call = fetch(server.wurl("/broken.dzy"));
    EXPECT_EQ(SinkCall::Abort, call.kind);
    EXPECT_EQ(INET_E_DOWNLOAD_FAILURE, call.hr);
    EXPECT_EQ(L"HTTP 500 Internal Server Error", call.error);
}

TEST_F(Download, ConnectionCutMidBodyEndsTheDownloadAsFailed) {
    ASSERT_TRUE(server.running());
    DocRoute r;
    r.length = 4000000;
    r.cut_after = 2000000;
    server.route("/cut.dzy", r);
    const SinkCall call = fetch(server.wurl("/cut.dzy"));
    EXPECT_EQ(SinkCall::Abort, call.kind);
    // The platform's binding reports this end as a success; the launcher
    // compares the bytes it wrote with the announced length.
    EXPECT_EQ(INET_E_DOWNLOAD_FAILURE, call.hr);
    EXPECT_EQ(L"Incomplete download: 2000000 of 4000000 bytes", call.error);
}

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
