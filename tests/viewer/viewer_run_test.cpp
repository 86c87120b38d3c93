// gnviewer.exe run as a user runs it, against GNLauncher.dll and against a
// stand-in document (viewer_testdoc.dll), checked through its record.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/doc_server.h"
#include "support/module.h"

namespace {

// The launcher loads and activates under the viewer (download and client
// selection are in the module): the launcher test also expects Load and
// activation S_OK, the two browser properties put, and exit code 0.
constexpr bool kLauncherLoadsDocuments = true;

const char kLauncherClsid[] = "{5B2D7A10-3C4E-4F81-9A6B-2E7C4D1F8A03}";
const char kTestDocClsid[] = "{9C4E2B71-5A3D-4E8F-B1C6-7D20A5E3F914}";
const char kTestDocType[] = "application/x-gnviewer-test";

// Registry values under HKEY_CLASSES_ROOT for the length of a test: keys it
// creates are deleted afterwards, values it replaces in existing keys restored.
class ClassesEntries {
public:
    ~ClassesEntries() {
        for (auto it = undo_.rbegin(); it != undo_.rend(); ++it) {
            if (it->delete_tree) {
                RegDeleteTreeA(HKEY_CLASSES_ROOT, it->key.c_str());
                RegDeleteKeyA(HKEY_CLASSES_ROOT, it->key.c_str());
                continue;
            }
            HKEY key = nullptr;
            if (RegOpenKeyExA(HKEY_CLASSES_ROOT, it->key.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
                continue;
            const char* name = it->name.empty() ? nullptr : it->name.c_str();
            if (it->had_value)
                RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(it->old.c_str()),
                               static_cast<DWORD>(it->old.size() + 1));
            else
                RegDeleteValueA(key, name);
            RegCloseKey(key);
        }
    }

    void set(const std::string& path, const std::string& name, const std::string& value) {
        // The first missing key on the path goes with everything below it.
        std::string partial;
        size_t pos = 0;
        bool created = false;
        while (pos != std::string::npos && !created) {
            const size_t next = path.find('\\', pos);
            partial = path.substr(0, next);
            HKEY probe = nullptr;
            if (RegOpenKeyExA(HKEY_CLASSES_ROOT, partial.c_str(), 0, KEY_READ, &probe) == ERROR_SUCCESS) {
                RegCloseKey(probe);
            } else {
                undo_.push_back({partial, "", true, false, ""});
                created = true;
            }
            pos = next == std::string::npos ? next : next + 1;
        }
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0,
                                                 KEY_READ | KEY_SET_VALUE, nullptr, &key, nullptr));
        const char* value_name = name.empty() ? nullptr : name.c_str();
        if (!created) {
            char old[1024] = {};
            DWORD size = sizeof old - 1, type = 0;
            const bool had = RegQueryValueExA(key, value_name, nullptr, &type, reinterpret_cast<BYTE*>(old),
                                              &size) == ERROR_SUCCESS;
            undo_.push_back({path, name, false, had, had ? std::string(old) : std::string()});
        }
        RegSetValueExA(key, value_name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
        RegCloseKey(key);
    }

    // The class, its MIME type and a file extension, as registration writes them.
    void register_document(const char* clsid, const std::string& server, const char* type, const char* ext) {
        set(std::string("CLSID\\") + clsid + "\\InprocServer32", "", server);
        set(std::string("CLSID\\") + clsid + "\\InprocServer32", "ThreadingModel", "Apartment");
        set(std::string("MIME\\Database\\Content Type\\") + type, "CLSID", clsid);
        if (ext) set(ext, "Content Type", type);
    }

private:
    struct Undo {
        std::string key, name;
        bool delete_tree, had_value;
        std::string old;
    };
    std::vector<Undo> undo_;
};

// A loopback HTTP server on its own thread: fixed answers per path, every
// request line kept. Ends when destroyed.
class LoopbackServer {
public:
    struct Answer {
        std::string path;
        int status;
        std::string type;
        std::string body;
    };
    explicit LoopbackServer(std::vector<Answer> answers) : answers_(std::move(answers)) {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        EXPECT_TRUE(bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
                    listen(listener_, 8) == 0)
            << "loopback listener: " << WSAGetLastError();
        int len = sizeof addr;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~LoopbackServer() {
        stop_ = true;
        thread_.join();
        closesocket(listener_);
        WSACleanup();
    }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    std::vector<std::string> requests() {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

private:
    void serve() {
        while (!stop_) {
            fd_set set;
            FD_ZERO(&set);
            FD_SET(listener_, &set);
            timeval tv{0, 50000};
            if (select(0, &set, nullptr, nullptr, &tv) <= 0) continue;
            SOCKET s = accept(listener_, nullptr, nullptr);
            if (s == INVALID_SOCKET) continue;
            DWORD timeout = 5000;
            setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
            std::string request;
            char buffer[2048];
            while (request.find("\r\n\r\n") == std::string::npos && request.size() < 16384) {
                const int n = recv(s, buffer, sizeof buffer, 0);
                if (n <= 0) break;
                request.append(buffer, n);
            }
            const std::string line = request.substr(0, request.find("\r\n"));
            {
                std::lock_guard<std::mutex> lock(mutex_);
                requests_.push_back(line);
            }
            std::istringstream words(line);
            std::string method, path;
            words >> method >> path;
            Answer a{path, 404, "text/plain", "Not Found\n"};
            for (const auto& candidate : answers_)
                if (candidate.path == path) a = candidate;
            std::string reply = "HTTP/1.0 " + std::to_string(a.status) + (a.status == 200 ? " OK" : " Error") +
                                "\r\nContent-Type: " + a.type + "\r\nContent-Length: " +
                                std::to_string(a.body.size()) + "\r\nConnection: close\r\n\r\n";
            if (method != "HEAD") reply += a.body;
            send(s, reply.data(), static_cast<int>(reply.size()), 0);
            shutdown(s, SD_SEND);
            closesocket(s);
        }
    }
    std::vector<Answer> answers_;
    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::vector<std::string> requests_;
};

struct ViewerRun {
    DWORD exit_code = 0xFFFFFFFF;
    std::vector<std::string> record;  // the viewer's record, one event per line
    std::vector<std::string> doc;     // the stand-in document's calls

    bool has(const std::string& line) const {
        return std::find(record.begin(), record.end(), line) != record.end();
    }
    // The value of the first record line starting with "key ".
    std::string value(const std::string& key) const {
        for (const auto& l : record)
            if (l.compare(0, key.size() + 1, key + " ") == 0) return l.substr(key.size() + 1);
        return "(missing)";
    }
    size_t count(const std::string& key) const {
        return std::count_if(record.begin(), record.end(), [&](const std::string& l) {
            return l == key || l.compare(0, key.size() + 1, key + " ") == 0;
        });
    }
    std::string dump() const {
        std::string all = "record:\n";
        for (const auto& l : record) all += "  " + l + "\n";
        all += "document:\n";
        for (const auto& l : doc) all += "  " + l + "\n";
        return all;
    }
};

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) {
        if (!l.empty() && l.back() == '\r') l.pop_back();
        lines.push_back(l);
    }
    return lines;
}

class ViewerRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = gntest::make_scratch_dir("viewer");
        bin_ = gntest::LoadedModule::program_dir();
    }
    void TearDown() override {
        SetEnvironmentVariableA("GNVIEWER_TESTDOC_LOG", nullptr);
    }

    // Runs the viewer with these arguments (plus --record), bounded in time.
    ViewerRun run(const std::string& args) {
        ViewerRun r;
        const std::string record = dir_ + "record.txt";
        const std::string doc_log = dir_ + "testdoc.log";
        DeleteFileA(record.c_str());
        DeleteFileA(doc_log.c_str());
        SetEnvironmentVariableA("GNVIEWER_TESTDOC_LOG", doc_log.c_str());
        std::string command = "\"" + bin_ + "gnviewer.exe\" " + args + " --record \"" + record + "\"";
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        std::vector<char> line(command.begin(), command.end());
        line.push_back('\0');
        if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
            ADD_FAILURE() << "cannot start " << command;
            return r;
        }
        if (WaitForSingleObject(pi.hProcess, 60000) != WAIT_OBJECT_0) {
            TerminateProcess(pi.hProcess, 99);
            WaitForSingleObject(pi.hProcess, 10000);
            ADD_FAILURE() << "the viewer did not end in time: " << command;
        }
        GetExitCodeProcess(pi.hProcess, &r.exit_code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
        r.record = lines_of(gntest::read_file(record));
        r.doc = lines_of(gntest::read_file(doc_log));
        DeleteFileA(record.c_str());
        DeleteFileA(doc_log.c_str());
        return r;
    }

    std::string copy_sample(const char* name, const std::string& as) {
        const std::string target = dir_ + as;
        CopyFileA((std::string(GN_SAMPLES_DIR) + name).c_str(), target.c_str(), FALSE);
        return target;
    }
    std::string write_file(const std::string& name, const std::string& text) {
        const std::string path = dir_ + name;
        HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        CloseHandle(f);
        return path;
    }

    std::string dir_, bin_;
    ClassesEntries classes_;
};

}  // namespace

// The whole browser road on a document that does what a browser expects:
// creation, type, site, load, activation, view, property bag, status texts,
// and the teardown in a browser's order, after which its server can unload.
TEST_F(ViewerRunTest, DrivesADocumentThroughActivationAndTeardown) {
    classes_.register_document(kTestDocClsid, bin_ + "viewer_testdoc.dll", kTestDocType, ".gnvt");
    const std::string doc = write_file("shown.gnvt", "x");
    const ViewerRun r = run("\"" + doc + "\" --close-after-ms 300");

    EXPECT_EQ(0u, r.exit_code) << r.dump();
    EXPECT_EQ(std::string(kTestDocType) + " (file type)", r.value("mime")) << r.dump();
    EXPECT_EQ(kTestDocClsid, r.value("class"));
    EXPECT_EQ("file://" + doc, r.value("url"));
    for (const char* step : {"create", "client_site", "load", "activation", "create_view", "set_rect", "show"})
        EXPECT_EQ("0x00000000", r.value(step)) << step << "\n" << r.dump();
    EXPECT_EQ("0x00000000", r.value("mimetypeprop"));
    EXPECT_TRUE(r.has("put_property document_location")) << r.dump();
    EXPECT_TRUE(r.has("put_property MorvaneLauncher"));
    EXPECT_TRUE(r.has("get_property MorvaneLauncher"));
    EXPECT_TRUE(r.has("status SetStatusText testdoc frame status"));
    EXPECT_TRUE(r.has("status put_StatusText testdoc browser status"));
    EXPECT_TRUE(r.has("status viewer Done"));
    EXPECT_TRUE(r.has("close_after_ms_elapsed"));
    // The property bag held the document; closing dropped it, so nothing is left.
    EXPECT_EQ("0x00000000", r.value("can_unload")) << r.dump();
    EXPECT_EQ("exit 0", r.record.empty() ? "" : r.record.back());

    const std::vector<std::string> expected = {
        "Created", "MIMETYPEPROP application/x-gnviewer-test", "SetClientSite", "Load file://" + doc,
        "DoVerb(-1)", "CreateView", "SetInPlaceSite", "SetRect(" , "Show(TRUE)", "GetWindowContext",
        "GetProperty same object", "LocationURL file://" + doc,
        "UIActivate(FALSE)", "Show(FALSE)", "CloseView", "SetInPlaceSite(NULL)", "Close",
        "SetClientSite(NULL)", "Released"};
    ASSERT_EQ(expected.size(), r.doc.size()) << r.dump();
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(0u, r.doc[i].find(expected[i])) << i << ": " << r.doc[i];
}

// A navigation asked by the document closes it and opens the new target.
TEST_F(ViewerRunTest, NavigationFromTheDocumentOpensTheNextOne) {
    classes_.register_document(kTestDocClsid, bin_ + "viewer_testdoc.dll", kTestDocType, ".gnvt");
    const std::string first = write_file("first.gnvt", "1");
    const std::string second = write_file("second.gnvt", "2");
    const ViewerRun r = run("\"" + first + "\" --close-after-ms 500");
    EXPECT_EQ(0u, r.exit_code) << r.dump();
    EXPECT_TRUE(r.has("navigate file://" + second)) << r.dump();
    EXPECT_EQ(2u, r.count("target"));
    EXPECT_EQ(2u, r.count("close"));
    EXPECT_EQ(2u, std::count(r.doc.begin(), r.doc.end(), std::string("Released"))) << r.dump();
    EXPECT_EQ(1u, std::count(r.doc.begin(), r.doc.end(), "Load file://" + second)) << r.dump();
}

// Closing while the document is still being shown (here: waiting in a
// dialog of its own) ends the dialog and closes once the document returns.
TEST_F(ViewerRunTest, CloseDuringADocumentDialogWaitsForTheDocument) {
    classes_.register_document(kTestDocClsid, bin_ + "viewer_testdoc.dll", kTestDocType, ".gnvt");
    const ViewerRun r = run("\"" + write_file("dialog.gnvt", "d") + "\" --close-after-ms 300");
    EXPECT_EQ(0u, r.exit_code) << r.dump();
    EXPECT_TRUE(r.has("close_deferred")) << r.dump();
    EXPECT_EQ("0x00000000", r.value("can_unload")) << r.dump();
    const auto answer = std::find(r.doc.begin(), r.doc.end(), "MessageBox 2");  // IDCANCEL
    ASSERT_NE(r.doc.end(), answer) << r.dump();
    // The teardown starts only after the dialog has ended.
    EXPECT_EQ(std::find(r.doc.begin(), r.doc.end(), std::string("UIActivate(FALSE)")), answer + 1) << r.dump();
    EXPECT_EQ("Released", r.doc.back());
}

// GNLauncher.dll opened from a file and over loopback http. What holds today:
// the viewer finds the launcher through the MIME database, creates it, gives
// it its site and loads it, and the launcher can unload once closed.
TEST_F(ViewerRunTest, OpensQuorQueryDocumentsWithTheLauncher) {
    const std::string module = gntest::LoadedModule::module_path();
    classes_.register_document(kLauncherClsid, module, "application/x-quorquery", ".dzy");
    const std::string file = copy_sample("quarterly.dzy", "quarterly.dzy");
    LoopbackServer server({{"/quarterly.dzy", 200, "application/x-quorquery",
                            gntest::read_file(std::string(GN_SAMPLES_DIR) + "quarterly.dzy")}});

    for (const std::string& target : {file, server.url("/quarterly.dzy")}) {
        const ViewerRun r = run("\"" + target + "\" --close-after-ms 1500");
        SCOPED_TRACE(target);
        EXPECT_EQ(std::string("application/x-quorquery") +
                      (target == file ? " (file type)" : " (server)"),
                  r.value("mime")) << r.dump();
        EXPECT_EQ(kLauncherClsid, r.value("class"));
        EXPECT_EQ("0x00000000", r.value("create")) << r.dump();
        EXPECT_EQ("0x00000000", r.value("client_site"));
        EXPECT_NE("(missing)", r.value("load"));
        EXPECT_TRUE(r.has("close"));
        EXPECT_EQ("0x00000000", r.value("can_unload")) << r.dump();
        if (kLauncherLoadsDocuments) {
            EXPECT_EQ("0x00000000", r.value("load")) << r.dump();
            EXPECT_EQ("0x00000000", r.value("activation")) << r.dump();
            EXPECT_EQ("0x00000000", r.value("show"));
            EXPECT_TRUE(r.has("put_property document_location"));
            EXPECT_TRUE(r.has("put_property MorvaneLauncher"));
            EXPECT_EQ(0u, r.exit_code);
        }
    }
    const auto requests = server.requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ("HEAD /quarterly.dzy HTTP/1.1", requests.front());
}

// Every way a target can fail ends the run with a clear error and no
// document object: bounded, with the reason in the record.
TEST_F(ViewerRunTest, UnusableTargetsAreReportedWithoutADocument) {
    classes_.register_document(kTestDocClsid, bin_ + "viewer_testdoc.dll", kTestDocType, ".gnvt");
    LoopbackServer server({{"/untyped.gnvt", 200, "", "x"},
                           {"/plain.txt", 200, "text/x-gnviewer-unknown", "x"}});
    // A port that was free a moment ago: nothing listens there.
    int closed_port;
    {
        LoopbackServer gone({});
        closed_port = std::stoi(gone.url("").substr(17));
    }
    const std::string folder = dir_.substr(0, dir_.size() - 1);
    const std::string no_type = write_file("notype.gnvt-none", "x");
    const struct {
        std::string target;
        std::string error;
    } cases[] = {
        {"\"" + dir_ + "missing.gnvt\"", "there is no file"},
        {"\"" + folder + "\"", "there is no file"},
        {"\"" + no_type + "\"", "no content type is registered for files of type .gnvt-none"},
        {server.url("/missing.gnvt"), "the document server answered 404"},
        {server.url("/untyped.gnvt"), "the document server gave no content type"},
        {server.url("/plain.txt"), "no document handler is registered for the type text/x-gnviewer-unknown"},
        {"http://127.0.0.1:" + std::to_string(closed_port) + "/x.gnvt", "the document server cannot be reached"},
        {"http://192.0.2.1/x.gnvt", "only documents on this machine's loopback address"},
        {"ftp://127.0.0.1/x.gnvt", "only http://, file:// URLs and file paths are opened"},
    };
    for (const auto& c : cases) {
        const ViewerRun r = run(c.target + " --close-after-ms 100");
        EXPECT_EQ(1u, r.exit_code) << c.target << "\n" << r.dump();
        EXPECT_EQ(0u, r.value("error").find(c.error)) << c.target << "\n" << r.dump();
        EXPECT_EQ("(missing)", r.value("create")) << c.target;
        EXPECT_TRUE(r.doc.empty()) << c.target;
    }
    for (const auto& request : server.requests()) EXPECT_EQ(0u, request.find("HEAD /")) << request;
}

TEST_F(ViewerRunTest, BadCommandLinesStopBeforeAnyWindow) {
    for (const char* args : {"", "a.dzy b.dzy", "a.dzy --close-after-ms 99999999", "a.dzy --bogus"}) {
        const ViewerRun r = run(args);
        EXPECT_EQ(2u, r.exit_code) << args;
        ASSERT_EQ(1u, r.record.size()) << args << "\n" << r.dump();
        EXPECT_EQ(0u, r.record[0].find("error ")) << r.record[0];
    }
}

namespace {

// The main plugin (gnclients.dll) registered for the length of a test, its
// calls written to a file.
class PluginRegistration {
public:
    explicit PluginRegistration(const std::string& calls) : calls_(calls) {
        module_ = LoadLibraryA((gntest::LoadedModule::program_dir() + "gnclients.dll").c_str());
        if (auto reg = entry("DllRegisterServer")) registered_ = reg() == S_OK;
        DeleteFileA(calls_.c_str());
        SetEnvironmentVariableA("GNCLIENTS_CALLS", calls_.c_str());
    }
    ~PluginRegistration() {
        SetEnvironmentVariableA("GNCLIENTS_CALLS", nullptr);
        if (auto unreg = entry("DllUnregisterServer")) unreg();
        if (module_) FreeLibrary(module_);
        DeleteFileA(calls_.c_str());
    }
    bool registered() const { return registered_; }
    std::string calls() const { return gntest::read_file(calls_); }
    void clear() const { DeleteFileA(calls_.c_str()); }

private:
    using entry_point = HRESULT(WINAPI*)();
    entry_point entry(const char* name) const {
        return module_ ? reinterpret_cast<entry_point>(reinterpret_cast<void*>(GetProcAddress(module_, name)))
                       : nullptr;
    }
    std::string calls_;
    HMODULE module_ = nullptr;
    bool registered_ = false;
};

}  // namespace

// The launcher's download under the viewer: its progress reaches the viewer's
// own bind callback in steps, and a document behind a login opens with the
// login given on the command line and fails, shown by the plugin, without it.
TEST_F(ViewerRunTest, LauncherDownloadShowsProgressAndTakesALogin) {
    classes_.register_document(kLauncherClsid, gntest::LoadedModule::module_path(), "application/x-quorquery", ".dzy");
    PluginRegistration plugin(dir_ + "plugin-calls.txt");
    ASSERT_TRUE(plugin.registered());
    gntest::DocServer server;
    ASSERT_TRUE(server.running());
    gntest::DocRoute big;
    big.length = 64ull << 20;
    // In pieces, as a real network delivers it: a loopback transfer that never
    // runs dry is reported by the platform as its start and its end only.
    big.trickle_bytes = 65536;
    big.trickle_pause_ms = 1;
    server.route("/big.dzy", big);
    gntest::DocRoute locked;
    locked.body = "QUORQUERY 1\r\nTitle: Locked\r\nEnd\r\n";
    locked.basic_auth = "reader:secret";
    server.route("/locked.dzy", locked);

    const ViewerRun r = run(server.url("/big.dzy") + " --close-after-ms 6000");
    EXPECT_EQ("0x00000000", r.value("bind_callback")) << r.dump();
    EXPECT_EQ("0x00000000", r.value("download_end")) << r.dump();
    EXPECT_GE(r.count("download"), 5u) << r.dump();
    EXPECT_TRUE(r.has("download 100% 67108864 of 67108864")) << r.dump();

    const struct {
        const char* login;
        const char* end;
        const char* plugin;
    } cases[] = {{" --user reader --password secret", "0x00000000", "PluginCtl OnDZxDataAvailable"},
                 {"", "0x800C0008 HTTP 401 Unauthorized", "PluginCtl OnAbort 0x800C0008 HTTP 401 Unauthorized"},
                 {" --user reader --password wrong", "0x800C0008 HTTP 401 Unauthorized", "PluginCtl OnAbort 0x800C0008"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.login);
        plugin.clear();
        const ViewerRun login = run(server.url("/locked.dzy") + c.login + " --close-after-ms 1500");
        EXPECT_EQ(c.end, login.value("download_end")) << login.dump();
        EXPECT_NE(std::string::npos, plugin.calls().find(c.plugin)) << plugin.calls();
        EXPECT_EQ(std::string::npos, plugin.calls().find("secret")) << "no password reaches the plugin";
    }
}
