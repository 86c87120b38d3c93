#include "launcher_fixture.h"

#include "support/doc_server.h"

#include <cstdlib>
#include <fstream>

namespace gntest {

// ---------------------------------------------------------------------------
// ScriptedStream

gn::com_ptr<ScriptedStream> ScriptedStream::make(std::vector<Step> steps) {
    gn::com_ptr<ScriptedStream> s = gn::make<ScriptedStream>();
    if (!s) return s;
    s->steps_ = std::move(steps);
    return s;
}

STDMETHODIMP ScriptedStream::Read(void* pv, ULONG cb, ULONG* pcbRead) {
    requested.push_back(cb);
    ULONG n = 0;
    HRESULT hr = E_PENDING;
    if (next_ < steps_.size()) {
        n = steps_[next_].bytes < cb ? steps_[next_].bytes : cb;
        hr = steps_[next_].hr;
        ++next_;
    }
    DocServer::fill_body(offset, static_cast<char*>(pv), n);
    offset += n;
    returned.push_back(n);
    if (pcbRead) *pcbRead = n + claim_extra;
    return hr;
}

// ---------------------------------------------------------------------------
// LauncherTest

namespace {

std::string saved_tmp, saved_temp;

std::string get_env(const char* name) {
    char buf[32768];
    const DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
    return n && n < sizeof buf ? std::string(buf, n) : std::string();
}

std::string test_dir_name() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("launcher_") + info->test_suite_name() + "_" + info->name();
    for (char& c : name)
        if (c == '/' || c == '\\') c = '_';
    return name;
}

}  // namespace

void LauncherTest::SetUp() {
    com_ = SUCCEEDED(CoInitialize(nullptr));
    saved_tmp = get_env("TMP");
    saved_temp = get_env("TEMP");
    temp_dir = make_scratch_dir(test_dir_name());
    set_temp_dir(temp_dir);
    module = std::make_unique<LoadedModule>();
    ASSERT_TRUE(module->loaded());
}

void LauncherTest::TearDown() {
    if (module) {
        // The bindings let go of their callbacks once their last messages ran.
        pump_until([&] { return module->can_unload_now() == S_OK; }, 5000);
        EXPECT_EQ(S_OK, module->can_unload_now());
        module.reset();
    }
    EXPECT_TRUE(dz_files().empty()) << "a DZ*.tmp file was left in " << temp_dir;
    SetEnvironmentVariableA("TMP", saved_tmp.empty() ? nullptr : saved_tmp.c_str());
    SetEnvironmentVariableA("TEMP", saved_temp.empty() ? nullptr : saved_temp.c_str());
    if (com_) CoUninitialize();
}

gn::com_ptr<IUnknown> LauncherTest::create_launcher(REFCLSID clsid) {
    gn::com_ptr<IUnknown> unk;
    EXPECT_EQ(S_OK, module->create(clsid, IID_IUnknown, unk.put_void()));
    return unk;
}

HRESULT LauncherTest::load_moniker(IUnknown* launcher, IMoniker* moniker, const wchar_t* mime) {
    if (mime) {
        auto prop = gn::try_query<IMonikerProp>(launcher);
        if (!prop) return E_NOINTERFACE;
        prop->PutProperty(MIMETYPEPROP, mime);
    }
    gn::com_ptr<IBindCtx> bc;
    RETURN_IF_FAILED(CreateBindCtx(0, bc.put()));
    auto persist = gn::try_query<IPersistMoniker>(launcher);
    if (!persist) return E_NOINTERFACE;
    return persist->Load(FALSE, moniker, bc.get(), 0);
}

HRESULT LauncherTest::browser_load(IUnknown* launcher, const std::wstring& url,
                                   const wchar_t* mime) {
    gn::com_ptr<IMoniker> moniker;
    RETURN_IF_FAILED(CreateURLMonikerEx(nullptr, url.c_str(), moniker.put(), URL_MK_UNIFORM));
    return load_moniker(launcher, moniker.get(), mime);
}

HRESULT LauncherTest::advise(IUnknown* launcher, TestSink* sink) {
    auto adv = gn::try_query<ILauncherAdvise>(launcher);
    if (!adv) return E_NOINTERFACE;
    return adv->Advise(sink);
}

bool LauncherTest::wait_for_calls(TestSink* sink, size_t n) {
    return pump_until([&] { return sink->calls.size() >= n; }, 30000);
}

void LauncherTest::reload_with_log() {
    module.reset();
    log_path = temp_dir + "launcher.log";
    DeleteFileA(log_path.c_str());
    _putenv_s("GNLAUNCHERLOG", log_path.c_str());
    module = std::make_unique<LoadedModule>();
    _putenv_s("GNLAUNCHERLOG", "");
    ASSERT_TRUE(module->loaded());
}

std::string LauncherTest::finish_log() {
    if (module) {
        pump_until([&] { return module->can_unload_now() == S_OK; }, 5000);
        EXPECT_EQ(S_OK, module->can_unload_now());
        module.reset();
    }
    const std::string text = read_file(log_path);
    DeleteFileA(log_path.c_str());
    return text;
}

void LauncherTest::set_temp_dir(const std::string& dir) {
    SetEnvironmentVariableA("TMP", dir.c_str());
    SetEnvironmentVariableA("TEMP", dir.c_str());
}

std::vector<std::string> dz_files_in(const std::string& dir) {
    std::vector<std::string> out;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "DZ*.tmp").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return out;
    do out.push_back(fd.cFileName);
    while (FindNextFileA(h, &fd));
    FindClose(h);
    return out;
}

std::vector<std::string> LauncherTest::dz_files() const { return dz_files_in(temp_dir); }

std::string LauncherTest::temp_name(unsigned long n) const {
    return temp_dir + "DZ" + std::to_string(n) + ".tmp";
}

std::wstring make_document_file(const std::string& dir, const std::string& name,
                                 unsigned long long n) {
    const std::string path = dir + name;
    std::ofstream out(path, std::ios::binary);
    std::vector<char> block(65536);
    for (unsigned long long done = 0; done < n;) {
        const size_t k = static_cast<size_t>(std::min<unsigned long long>(block.size(), n - done));
        DocServer::fill_body(done, block.data(), k);
        out.write(block.data(), static_cast<std::streamsize>(k));
        done += k;
    }
    out.close();
    std::string url = "file:///" + path;
    for (char& c : url)
        if (c == '\\') c = '/';
    return widen(url);
}

namespace {
const char kLegacyKey[] = "CLSID\\{6F3B9D20-4E1A-11D5-A7C3-0050DA6E1B42}\\InprocServer32";
void set_legacy_server(const std::string& value) {
    RegSetValueA(HKEY_CLASSES_ROOT, kLegacyKey, REG_SZ, value.c_str(),
                 static_cast<DWORD>(value.size()));
}
}  // namespace

LegacyRegistration::LegacyRegistration(const std::string& server_path) {
    gn::unique_hkey key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kLegacyKey, 0, KEY_READ, key.put()) == ERROR_SUCCESS) {
        char value[MAX_PATH + 1] = {};
        DWORD size = sizeof value - 1;
        had_ = RegQueryValueExA(key.get(), nullptr, nullptr, nullptr,
                                reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS;
        previous_ = value;
    }
    set_legacy_server(server_path);
}

LegacyRegistration::~LegacyRegistration() {
    if (had_)
        set_legacy_server(previous_);
    else
        RegDeleteKeyA(HKEY_CLASSES_ROOT, kLegacyKey);
}

}  // namespace gntest
