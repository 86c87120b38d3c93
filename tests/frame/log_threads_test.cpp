// Lines written by launchers on several threads at once stay whole, the
// failure traces among them.
#include <gtest/gtest.h>

#include <urlmon.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "frame/interfaces.h"
#include "support/module.h"

using gn::com_ptr;
using gntest::LoadedModule;

namespace {

struct Job {
    LoadedModule* module;
    std::wstring url;
    LONG failures;
};

// Each thread opens the same file:// document with 25 launchers in turn: a
// file URL downloads inside Load, and the release deletes the copy, so every
// round writes a dozen lines.
DWORD WINAPI open_documents(void* p) {
    auto* job = static_cast<Job*>(p);
    CoInitialize(nullptr);
    for (int i = 0; i < 25; ++i) {
        com_ptr<IPersistMoniker> persist;
        com_ptr<IMoniker> moniker;
        com_ptr<IBindCtx> context;
        if (FAILED(job->module->create(CLSID_MorvaneLauncher, persist.put())) ||
            FAILED(CreateURLMonikerEx(nullptr, job->url.c_str(), moniker.put(), URL_MK_UNIFORM)) ||
            FAILED(CreateBindCtx(0, context.put())) ||
            FAILED(persist->Load(FALSE, moniker.get(), context.get(), STGM_READ)))
            InterlockedIncrement(&job->failures);
        com_ptr<IUnknown> refused;  // the launcher cannot be aggregated: one failure
        if (job->module->create(CLSID_MorvaneLauncher, IID_IDispatch, refused.put_void(),
                                persist.get()) != CLASS_E_NOAGGREGATION)
            InterlockedIncrement(&job->failures);
    }
    CoUninitialize();
    return 0;
}

}  // namespace

TEST(LogThreads, LinesFromSeveralThreadsNeverInterleave) {
    const std::string dir = gntest::make_scratch_dir("log_threads");
    const std::string doc = dir + "doc.dzy";
    std::ofstream(doc, std::ios::binary) << "QUORQUERY 1\r\nTitle: threads\r\n";
    const std::string log = dir + "threads.log";
    _putenv_s("GNLAUNCHERLOG", log.c_str());
    // Failure tracing switched on, as an administrator does.
    const char policy[] = "Software\\Policies\\Quor Software";
    const DWORD on = 1;
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetKeyValueA(HKEY_LOCAL_MACHINE, "Software\\Policies\\Quor Software\\GNLauncher",
                              "TraceFailures", REG_DWORD, &on, sizeof on));
    auto off = gn::scope_exit([&] { RegDeleteTreeA(HKEY_LOCAL_MACHINE, policy); });
    {
        LoadedModule module;
        ASSERT_TRUE(module.loaded());
        Job job{&module, L"file:///" + std::wstring(doc.begin(), doc.end()), 0};
        HANDLE threads[4];
        for (HANDLE& t : threads) t = CreateThread(nullptr, 0, open_documents, &job, 0, nullptr);
        WaitForMultipleObjects(4, threads, TRUE, INFINITE);
        for (HANDLE t : threads) CloseHandle(t);
        EXPECT_EQ(0, job.failures);
        EXPECT_EQ(S_OK, module.can_unload_now());
    }
    _putenv_s("GNLAUNCHERLOG", "");

    std::istringstream lines(gntest::read_file(log));
    const std::regex stamp(R"(^[A-Z][a-z]{2} [A-Z][a-z]{2} [ 123]\d \d\d:\d\d:\d\d \d{4}  [^ ].*\r$)");
    std::string line;
    const std::regex traced(
        R"(.*  Failure 0x80040110 at frame/class_factory\.cpp:\d+: outer && !IsEqualIID\(riid, IID_IUnknown\)\r)");
    int total = 0, removed = 0, failures = 0;
    while (std::getline(lines, line)) {
        ++total;
        EXPECT_TRUE(std::regex_match(line, stamp)) << "line " << total << ": " << line;
        if (line.find("  Removing temp file: ") != std::string::npos) ++removed;
        if (std::regex_match(line, traced)) ++failures;
    }
    EXPECT_EQ(100, removed);
    EXPECT_EQ(100, failures);
    EXPECT_GT(total, 400);
}
