// Download benchmark. One document of the loopback server, same URL, fetched
//   (a) through the launcher, driven as a browser drives it,
//   (b) by a bare asynchronous BindToStorage that reads and discards,
//   (c) by URLDownloadToFileA,
//   (d) by a plain wininet InternetOpenUrl/InternetReadFile loop into a file,
//   (e) by a bare asynchronous BindToStorage that writes every byte to a file
//       in the temp folder as fast as it can (the ceiling for a component that
//       must write the document),
// in rounds: each round runs every road once, the order turning by one road
// from one round to the next. It prints the median MB/s of each road, the
// ratios launcher/(e), launcher/(b), launcher/(c) and the launcher's peak
// working-set growth.
//
// Usage: bench_download.exe [size in MiB, default 256] [rounds, default 5]
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>
#include <urlmon.h>
#include <wininet.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "frame/com.h"
#include "frame/object.h"
#include "frame/interfaces.h"
#include "support/doc_server.h"

namespace {

double now_seconds() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

SIZE_T working_set();

// Pumps until done; with peak set, samples the working set every 20 ms.
void pump_until(const volatile bool& done, SIZE_T* peak = nullptr) {
    DWORD last = GetTickCount();
    while (!done) {
        if (peak && GetTickCount() - last >= 20) {
            last = GetTickCount();
            const SIZE_T ws = working_set();
            if (ws > *peak) *peak = ws;
        }
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (!done) MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

SIZE_T working_set() {
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
    return pmc.WorkingSetSize;
}


// The main plugin's part: notes the end and the size of the file it is given.
class BenchSink final : public gn::implements<BenchSink, gn::no_lock, ILauncherEvent> {
public:
    volatile bool done = false;
    bool ok = false;
    unsigned long long size = 0;
    STDMETHODIMP OnDZxDataAvailable(BSTR, BSTR path, BSTR) override {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (path && GetFileAttributesExW(path, GetFileExInfoStandard, &data))
            size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        ok = true;
        done = true;
        return S_OK;
    }
    STDMETHODIMP OnAbort(HRESULT hr, BSTR error) override {
        std::printf("  launcher: OnAbort %08lx %ls\n", static_cast<unsigned long>(hr),
                    error ? error : L"");
        done = true;
        return S_OK;
    }
};

// A bare binding's callback with the launcher's flags: Derived reads the data;
// the end of the binding is kept in result and done.
template <class Derived>
class BareCallback : public gn::implements<Derived, gn::no_lock, IBindStatusCallback> {
public:
    volatile bool done = false;
    HRESULT result = S_OK;
    unsigned long long bytes = 0;
    STDMETHODIMP OnStartBinding(DWORD, IBinding*) override { return S_OK; }
    STDMETHODIMP GetPriority(LONG*) override { return S_OK; }
    STDMETHODIMP OnLowResource(DWORD) override { return S_OK; }
    STDMETHODIMP OnProgress(ULONG, ULONG, ULONG, LPCWSTR) override { return S_OK; }
    STDMETHODIMP OnStopBinding(HRESULT hr, LPCWSTR) override {
        result = static_cast<Derived*>(this)->finish(hr);
        done = true;
        return S_OK;
    }
    STDMETHODIMP GetBindInfo(DWORD* flags, BINDINFO*) override {
        if (flags) *flags = BINDF_ASYNCHRONOUS | BINDF_PULLDATA;
        return S_OK;
    }
    STDMETHODIMP OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }
};

// (b): the platform's ceiling for this road: same flags, data read and dropped.
class DiscardCallback final : public BareCallback<DiscardCallback> {
public:
    HRESULT finish(HRESULT hr) { return hr; }
    STDMETHODIMP OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM* medium) override {
        if (!medium || medium->tymed != TYMED_ISTREAM) return S_OK;
        char buffer[8192];
        for (;;) {
            ULONG n = 0;
            const HRESULT hr = medium->pstm->Read(buffer, sizeof buffer, &n);
            bytes += n;
            if (hr != S_OK || n == 0) return S_OK;
        }
    }
};

// (e): the ceiling for a component that writes the document: same flags,
// 64 KiB reads gathered in a 1 MiB buffer, one WriteFile per full buffer.
// Measured in the temp folder, 64 MiB: WriteFile of 1 MiB and fwrite through a
// 1 MiB stream buffer are level (about 4 GB/s); 8 KiB WriteFile calls are a
// third of that. 8 KiB reads instead of 64 KiB changed nothing measurable.
class WriteCallback final : public BareCallback<WriteCallback> {
public:
    static constexpr ULONG kBuffer = 1 << 20;
    static constexpr ULONG kRead = 1 << 16;
    HANDLE file = INVALID_HANDLE_VALUE;
    std::vector<char> buffer = std::vector<char>(kBuffer);
    ULONG used = 0;
    bool write_failed = false;

    ~WriteCallback() {
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
    void flush() {
        DWORD written = 0;
        if (used && (!WriteFile(file, buffer.data(), used, &written, nullptr) || written != used))
            write_failed = true;
        used = 0;
    }
    HRESULT finish(HRESULT hr) {
        flush();
        return write_failed ? E_FAIL : hr;
    }
    STDMETHODIMP OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM* medium) override {
        if (!medium || medium->tymed != TYMED_ISTREAM) return S_OK;
        for (;;) {
            if (kBuffer - used < kRead) flush();
            ULONG n = 0;
            const HRESULT hr = medium->pstm->Read(buffer.data() + used, kRead, &n);
            if (n > kRead) n = kRead;  // never past the buffer
            used += n;
            bytes += n;
            if (hr != S_OK || n == 0) return S_OK;
        }
    }
};

struct Result {
    double seconds = 0;
    bool ok = false;
};

Result via_launcher(HMODULE module, const std::wstring& url, unsigned long long size,
                    SIZE_T* ws_growth) {
    Result r;
    auto get_class_object = reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    if (!get_class_object) return r;
    gn::com_ptr<IClassFactory> factory;
    if (FAILED(get_class_object(CLSID_MorvaneLauncher, IID_IClassFactory, factory.put_void())))
        return r;
    gn::com_ptr<IUnknown> launcher;
    if (FAILED(factory->CreateInstance(nullptr, IID_IUnknown, launcher.put_void()))) return r;
    auto prop = gn::try_query<IMonikerProp>(launcher.get());
    auto persist = gn::try_query<IPersistMoniker>(launcher.get());
    auto adv = gn::try_query<ILauncherAdvise>(launcher.get());
    if (!prop || !persist || !adv) return r;

    gn::com_ptr<BenchSink> sink = gn::make<BenchSink>();
    if (!sink) return r;
    const SIZE_T before = working_set();
    const double start = now_seconds();
    prop->PutProperty(MIMETYPEPROP, L"application/x-quorquery");
    gn::com_ptr<IMoniker> moniker;
    gn::com_ptr<IBindCtx> bc;
    CreateURLMonikerEx(nullptr, url.c_str(), moniker.put(), URL_MK_UNIFORM);
    CreateBindCtx(0, bc.put());
    if (persist->Load(FALSE, moniker.get(), bc.get(), 0) != S_OK) return r;
    adv->Advise(sink.get());
    SIZE_T peak = before;
    pump_until(sink->done, &peak);
    r.seconds = now_seconds() - start;
    r.ok = sink->ok && sink->size == size;
    const SIZE_T after = working_set();
    if (after > peak) peak = after;
    *ws_growth = peak - before;
    return r;
}

Result via_bare_binding(const std::wstring& url, unsigned long long size) {
    Result r;
    gn::com_ptr<DiscardCallback> callback = gn::make<DiscardCallback>();
    if (!callback) return r;
    const double start = now_seconds();
    gn::com_ptr<IMoniker> moniker;
    gn::com_ptr<IBindCtx> bc;
    CreateURLMonikerEx(nullptr, url.c_str(), moniker.put(), URL_MK_UNIFORM);
    CreateBindCtx(0, bc.put());
    gn::com_ptr<IBindStatusCallback> previous;
    RegisterBindStatusCallback(bc.get(), callback.get(), previous.put(), 0);
    gn::com_ptr<IStream> stream;
    if (FAILED(moniker->BindToStorage(bc.get(), nullptr, IID_IStream, stream.put_void())))
        return r;
    stream.reset();
    pump_until(callback->done);
    r.seconds = now_seconds() - start;
    r.ok = SUCCEEDED(callback->result) && callback->bytes == size;
    return r;
}

unsigned long long file_size(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

Result via_bare_write(const std::wstring& url, const std::string& file, unsigned long long size) {
    Result r;
    gn::com_ptr<WriteCallback> callback = gn::make<WriteCallback>();
    if (!callback) return r;
    const double start = now_seconds();
    callback->file = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (callback->file == INVALID_HANDLE_VALUE) return r;
    gn::com_ptr<IMoniker> moniker;
    gn::com_ptr<IBindCtx> bc;
    CreateURLMonikerEx(nullptr, url.c_str(), moniker.put(), URL_MK_UNIFORM);
    CreateBindCtx(0, bc.put());
    gn::com_ptr<IBindStatusCallback> previous;
    RegisterBindStatusCallback(bc.get(), callback.get(), previous.put(), 0);
    gn::com_ptr<IStream> stream;
    const HRESULT hr = moniker->BindToStorage(bc.get(), nullptr, IID_IStream, stream.put_void());
    stream.reset();
    if (SUCCEEDED(hr)) pump_until(callback->done);
    CloseHandle(callback->file);
    callback->file = INVALID_HANDLE_VALUE;
    r.seconds = now_seconds() - start;
    r.ok = SUCCEEDED(hr) && SUCCEEDED(callback->result) && callback->bytes == size &&
           file_size(file) == size;
    DeleteFileA(file.c_str());
    return r;
}

Result via_url_download(const std::string& url, const std::string& file, unsigned long long size) {
    Result r;
    const double start = now_seconds();
    const HRESULT hr = URLDownloadToFileA(nullptr, url.c_str(), file.c_str(), 0, nullptr);
    r.seconds = now_seconds() - start;
    r.ok = SUCCEEDED(hr) && file_size(file) == size;
    DeleteFileA(file.c_str());
    return r;
}

Result via_wininet(const std::string& url, const std::string& file, unsigned long long size) {
    Result r;
    const double start = now_seconds();
    HINTERNET session = InternetOpenA("bench", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    HINTERNET request =
        session ? InternetOpenUrlA(session, url.c_str(), nullptr, 0,
                                   INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0)
                : nullptr;
    FILE* out = request ? std::fopen(file.c_str(), "wb") : nullptr;
    unsigned long long total = 0;
    if (out) {
        static char buffer[65536];
        DWORD n = 0;
        while (InternetReadFile(request, buffer, sizeof buffer, &n) && n) {
            std::fwrite(buffer, 1, n, out);
            total += n;
        }
        std::fclose(out);
    }
    if (request) InternetCloseHandle(request);
    if (session) InternetCloseHandle(session);
    r.seconds = now_seconds() - start;
    r.ok = total == size;
    DeleteFileA(file.c_str());
    return r;
}

double mbps(unsigned long long size, double seconds) {
    return seconds > 0 ? static_cast<double>(size) / 1e6 / seconds : 0;
}

// The median of the values (the mean of the middle two for an even count);
// 0 for none.
double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t m = v.size() / 2;
    return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    const unsigned long long mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 256;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    const unsigned long long size = mib * 1024 * 1024;
    if (mib == 0 || rounds < 1) {
        std::fprintf(stderr, "usage: bench_download [MiB] [rounds]\n");
        return 2;
    }
    CoInitialize(nullptr);

    gntest::DocServer server;
    if (!server.running()) {
        std::fprintf(stderr, "cannot listen on 127.0.0.1\n");
        return 1;
    }
    gntest::DocRoute route;
    route.length = size;
    server.route("/bench.dzy", route);
    const std::string url = server.url("/bench.dzy");
    const std::wstring wurl = server.wurl("/bench.dzy");

    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    const std::string file = std::string(dir) + "bench_download.out";

    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string module_path(self);
    module_path = module_path.substr(0, module_path.find_last_of("\\/") + 1) + "GNLauncher.dll";
    HMODULE module = LoadLibraryA(module_path.c_str());
    if (!module) {
        std::fprintf(stderr, "cannot load %s\n", module_path.c_str());
        return 1;
    }

    std::printf("document: %llu MiB from %s, median of %d round(s)\n", mib, url.c_str(), rounds);
    // The platform's first use pages in its code and sets up its caches:
    // one small transfer first, so that the growth measured is the launcher's.
    {
        gntest::DocRoute small;
        small.length = 1 << 20;
        server.route("/warmup.dzy", small);
        SIZE_T ignored = 0;
        via_launcher(module, server.wurl("/warmup.dzy"), small.length, &ignored);
        via_bare_binding(server.wurl("/warmup.dzy"), small.length);
        DeleteUrlCacheEntryA(server.url("/warmup.dzy").c_str());
    }

    SIZE_T growth = 0;
    struct Road {
        const char* name;
        Result (*run)(const std::wstring&, const std::string&, const std::string&,
                      unsigned long long, HMODULE, SIZE_T*);
        std::vector<double> seconds;  // of the rounds it succeeded in, in round order
        int failed;
    };
    Road roads[] = {
        {"(a) launcher",
         [](const std::wstring& w, const std::string&, const std::string&, unsigned long long n,
            HMODULE m, SIZE_T* g) { return via_launcher(m, w, n, g); }, {}, 0},
        {"(b) bare BindToStorage, discarding",
         [](const std::wstring& w, const std::string&, const std::string&, unsigned long long n,
            HMODULE, SIZE_T*) { return via_bare_binding(w, n); }, {}, 0},
        {"(c) URLDownloadToFileA",
         [](const std::wstring&, const std::string& u, const std::string& f,
            unsigned long long n, HMODULE, SIZE_T*) { return via_url_download(u, f, n); }, {}, 0},
        {"(d) wininet InternetReadFile (info)",
         [](const std::wstring&, const std::string& u, const std::string& f,
            unsigned long long n, HMODULE, SIZE_T*) { return via_wininet(u, f, n); }, {}, 0},
        {"(e) bare BindToStorage, WriteFile",
         [](const std::wstring& w, const std::string&, const std::string& f,
            unsigned long long n, HMODULE, SIZE_T*) { return via_bare_write(w, f, n); }, {}, 0},
    };
    constexpr int kRoads = sizeof roads / sizeof roads[0];
    // launcher/(e) of each round where both succeeded: a pair measured under
    // the same load.
    std::vector<double> paired;

    std::printf("  round   order   MB/s: (a)    (b)    (c)    (d)    (e)\n");
    for (int k = 0; k < rounds; ++k) {
        double round_seconds[kRoads] = {};
        char order[kRoads + 1] = {};
        for (int j = 0; j < kRoads; ++j) {
            const int i = (k + j) % kRoads;
            order[j] = static_cast<char>('a' + i);
            SIZE_T g = 0;
            const Result r = roads[i].run(wurl, url, file, size, module, &g);
            // The platform keeps a cache copy of every transfer: dropped after
            // each road, so that no road reads another's copy and none piles up.
            DeleteUrlCacheEntryA(url.c_str());
            if (g > growth) growth = g;
            if (r.ok) {
                roads[i].seconds.push_back(r.seconds);
                round_seconds[i] = r.seconds;
            } else {
                ++roads[i].failed;
            }
        }
        std::printf("  %5d   %s  ", k + 1, order);
        for (int i = 0; i < kRoads; ++i) {
            if (round_seconds[i] > 0)
                std::printf(" %6.1f", mbps(size, round_seconds[i]));
            else
                std::printf("  fail ");
        }
        std::printf("\n");
        if (round_seconds[0] > 0 && round_seconds[4] > 0)
            paired.push_back(round_seconds[4] / round_seconds[0]);
        std::fflush(stdout);
    }

    double median_mbps[kRoads] = {};
    for (int i = 0; i < kRoads; ++i) {
        const Road& r = roads[i];
        if (!r.seconds.empty()) {
            median_mbps[i] = mbps(size, median(r.seconds));
            std::printf("  %-40s %8.1f MB/s  (median %.2f s", r.name, median_mbps[i],
                        median(r.seconds));
        } else {
            std::printf("  %-40s   failed (", r.name);
        }
        if (r.failed) std::printf(", %d of %d round(s) failed", r.failed, rounds);
        std::printf(")\n");
    }
    auto ratio = [&](const char* name, int i, const char* target) {
        if (median_mbps[0] > 0 && median_mbps[i] > 0)
            std::printf("  launcher/%s = %.3f   (target %s)\n", name, median_mbps[0] / median_mbps[i],
                        target);
    };
    ratio("(e)", 4, ">= 0.97");
    if (!paired.empty())
        std::printf("  launcher/(e) per round, median = %.3f\n", median(paired));
    ratio("(b)", 1, ">= 0.95");
    ratio("(c)", 2, ">= 0.90");
    std::printf("  launcher peak working-set growth = %.2f MiB   (target < 4 MiB)\n",
                static_cast<double>(growth) / (1024.0 * 1024.0));

    FreeLibrary(module);
    CoUninitialize();
    bool all_ok = true;
    for (const Road& r : roads) all_ok = all_ok && r.failed == 0;
    return all_ok ? 0 : 1;
}
