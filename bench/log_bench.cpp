// Log benchmark: several processes sharing one log, and a storm of traced
// failures. Not a test: run it by hand, with the module of either tree.
//
//   bench_log.exe share DLL LOG N   two processes each write N lines to LOG
//                                   through DLL (a page script's
//                                   Clear6xUrlMap, one line a call) at once;
//                                   prints the lines expected, found whole,
//                                   and torn or missing.
//   bench_log.exe storm DLL LOG N   N failing Map6xUrlTo8 calls with no
//                                   arguments, failure tracing switched on;
//                                   prints the log's lines and bytes a second.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "frame/com.h"
#include "frame/interfaces.h"
#include "frame/log.h"

namespace {

using get_class_object_fn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

// The version service of the module at dll, loaded with the log at log.
gn::com_ptr<IMorvaneVersion> load_version(const char* dll, const char* log, HMODULE* module) {
    SetEnvironmentVariableA("GNLAUNCHERLOG", log);
    _putenv_s("GNLAUNCHERLOG", log);
    *module = LoadLibraryA(dll);
    if (!*module) return nullptr;
    const auto get = reinterpret_cast<get_class_object_fn>(
        reinterpret_cast<void*>(GetProcAddress(*module, "DllGetClassObject")));
    gn::com_ptr<IClassFactory> factory;
    gn::com_ptr<IMorvaneVersion> version;
    if (!get || FAILED(get(CLSID_MorvaneVersion, IID_IClassFactory, factory.put_void())) ||
        FAILED(factory->CreateInstance(nullptr, IID_IMorvaneVersion, version.put_void())))
        return nullptr;
    return version;
}

std::string read_all(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

double seconds_since(const LARGE_INTEGER& began) {
    LARGE_INTEGER now{}, frequency{};
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - began.QuadPart) / static_cast<double>(frequency.QuadPart);
}

int writer(const char* dll, const char* log, long calls) {
    HMODULE module = nullptr;
    {
        const gn::com_ptr<IMorvaneVersion> version = load_version(dll, log, &module);
        if (!version) return 2;
        for (long i = 0; i < calls; ++i) version->Clear6xUrlMap();
    }
    FreeLibrary(module);
    return 0;
}

int share(const char* self, const char* dll, const char* log, long lines) {
    DeleteFileA(log);
    const long calls = lines;  // one line a call
    PROCESS_INFORMATION children[2]{};
    for (PROCESS_INFORMATION& child : children) {
        char command[2048];
        std::snprintf(command, sizeof command, "\"%s\" write \"%s\" \"%s\" %ld", self, dll, log, calls);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &child))
            return 2;
    }
    for (PROCESS_INFORMATION& child : children) {
        WaitForSingleObject(child.hProcess, INFINITE);
        CloseHandle(child.hProcess);
        CloseHandle(child.hThread);
    }
    std::istringstream text(read_all(log));
    const std::regex whole(
        R"(^[A-Z][a-z]{2} [A-Z][a-z]{2} [ 123]\d \d\d:\d\d:\d\d \d{4}  (Clear6xURLMap\(\) invoked|No translation file at: .*|\t\*\*\* (Started|Exiting) \*\*\*)\r$)");
    long found = 0, torn = 0;
    for (std::string line; std::getline(text, line);) {
        if (std::regex_match(line, whole))
            ++found;
        else if (++torn <= 3)
            std::printf("  torn: '%s'\n", line.c_str());
    }
    const long expected = 2 * (calls + 3);  // and the start, translation and exit lines
    std::printf("share: %ld lines expected, %ld whole, %ld torn, %ld missing\n", expected, found, torn,
                expected - found);
    return found == expected && torn == 0 ? 0 : 1;
}

int storm(const char* dll, const char* log, long calls) {
    DeleteFileA(log);
    const DWORD on = 1;
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, gn::kTracePolicyKey, "TraceFailures", REG_DWORD, &on, sizeof on);
    HMODULE module = nullptr;
    double elapsed = 0;
    {
        const gn::com_ptr<IMorvaneVersion> version = load_version(dll, log, &module);
        if (!version) return 2;
        DISPID id = 0;
        OLECHAR name[] = L"Map6xUrlTo8";
        LPOLESTR names[] = {name};
        if (FAILED(version->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return 2;
        LARGE_INTEGER began{};
        QueryPerformanceCounter(&began);
        for (long i = 0; i < calls; ++i) {
            DISPPARAMS none{};
            VARIANT result;
            VariantInit(&result);
            version->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &result, nullptr,
                            nullptr);
            VariantClear(&result);
        }
        elapsed = seconds_since(began);
    }
    FreeLibrary(module);
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, gn::kTracePolicyKey, "TraceFailures");
    const std::string text = read_all(log);
    long lines = 0;
    for (char c : text) lines += c == '\n';
    std::printf(
        "storm: %ld failing calls in %.2f s: %ld lines, %zu bytes in the log; %.0f lines/s, %.0f "
        "bytes/s\n",
        calls, elapsed, lines, text.size(), lines / elapsed, static_cast<double>(text.size()) / elapsed);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fprintf(stderr, "usage: bench_log.exe share|storm DLL LOG N\n");
        return 2;
    }
    CoInitialize(nullptr);
    const long n = std::atol(argv[4]);
    int rc = 2;
    try {
        if (!std::strcmp(argv[1], "write")) rc = writer(argv[2], argv[3], n);
        if (!std::strcmp(argv[1], "share")) rc = share(argv[0], argv[2], argv[3], n);
        if (!std::strcmp(argv[1], "storm")) rc = storm(argv[2], argv[3], n);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_log: %s\n", e.what());
        rc = 1;
    }
    CoUninitialize();
    return rc;
}
