// Shared by the launcher tests: a fixture that loads the module with its own
// temporary directory, drives a launcher the way a browser does, and test
// doubles for a moniker and a data stream.
#pragma once

#include <winsock2.h>  // before windows.h: the document server needs it

#include <gtest/gtest.h>

#include <windows.h>
#include <urlmon.h>

#include <memory>
#include <string>
#include <vector>

#include "frame/object.h"
#include "frame/interfaces.h"
#include "support/fake_moniker.h"
#include "support/module.h"
#include "support/test_sink.h"

namespace gntest {

// A stream that hands out the made-up document body in scripted portions:
// each step gives up to `bytes` (never more than asked) with result `hr`.
// Past the script every read answers E_PENDING with nothing.
class ScriptedStream final
    : public gn::implements<ScriptedStream, gn::no_lock, IStream,
                            gn::alias<ISequentialStream, IStream>> {
public:
    struct Step {
        ULONG bytes;
        HRESULT hr;
    };
    static gn::com_ptr<ScriptedStream> make(std::vector<Step> steps);

    std::vector<ULONG> requested;  // the size of every read request
    std::vector<ULONG> returned;   // the bytes every read gave
    unsigned long long offset = 0; // bytes handed out so far
    ULONG claim_extra = 0;         // a lying stream reports this many bytes more

    STDMETHODIMP Read(void* pv, ULONG cb, ULONG* pcbRead) override;
    STDMETHODIMP Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    STDMETHODIMP Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Commit(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Revert() override { return E_NOTIMPL; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Clone(IStream**) override { return E_NOTIMPL; }

private:
    std::vector<Step> steps_;
    size_t next_ = 0;
};

// Each test runs with a fresh module load, COM initialised and its own
// temporary directory (TMP/TEMP), and ends checking that the module can
// unload and that no DZ*.tmp file is left there.
class LauncherTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A new launcher, created by class through the module's class object.
    gn::com_ptr<IUnknown> create_launcher(REFCLSID clsid = CLSID_MorvaneLauncher);

    // The browser's way in: MIME type through IMonikerProp, then
    // IPersistMoniker::Load with a URL moniker and a fresh bind context.
    HRESULT browser_load(IUnknown* launcher, const std::wstring& url,
                         const wchar_t* mime = L"application/x-quorquery");
    // Load with a given moniker (and a fresh bind context).
    HRESULT load_moniker(IUnknown* launcher, IMoniker* moniker,
                         const wchar_t* mime = L"application/x-quorquery");
    HRESULT advise(IUnknown* launcher, TestSink* sink);
    // Pumps messages until the sink has at least n calls (30 s at most).
    bool wait_for_calls(TestSink* sink, size_t n = 1);

    // Reloads the module with its diagnostic log going to a file of this test.
    void reload_with_log();
    // Unloads the module (every launcher must be released) and returns the log.
    std::string finish_log();

    // Points TMP and TEMP elsewhere (restored after the test).
    void set_temp_dir(const std::string& dir);
    // The DZ*.tmp files in the test's temporary directory.
    std::vector<std::string> dz_files() const;
    // The name the launcher's first temp file gets: <dir>\DZ<n>.tmp.
    std::string temp_name(unsigned long n) const;

    std::unique_ptr<LoadedModule> module;
    std::string temp_dir;  // with a trailing backslash
    std::string log_path;
    bool com_ = false;
};

// Sets the legacy client's server path in the prefix's registry for one test
// and puts back what was there before. Any existing file stands for the
// client's server: it then counts as installed.
class LegacyRegistration {
public:
    explicit LegacyRegistration(const std::string& server_path);
    ~LegacyRegistration();
    LegacyRegistration(const LegacyRegistration&) = delete;
    LegacyRegistration& operator=(const LegacyRegistration&) = delete;

private:
    bool had_ = false;
    std::string previous_;
};

// The DZ*.tmp files in dir (with a trailing backslash).
std::vector<std::string> dz_files_in(const std::string& dir);

// A file in the test's scratch directory holding n bytes of the made-up body;
// returns its file:// URL.
std::wstring make_document_file(const std::string& dir, const std::string& name,
                                 unsigned long long n);

}  // namespace gntest
