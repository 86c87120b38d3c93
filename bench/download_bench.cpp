// Download benchmark. One document of the loopback server, same URL, fetched
//   (a) through the launcher, driven as a browser drives it,
//   (b) by a bare asynchronous BindToStorage that reads and discards,
//   (c) by URLDownloadToFileA,
//   (d) by a plain wininet InternetOpenUrl/InternetReadFile loop into a file,
// printing MB/s of each, launcher/(b), launcher/(c) and the launcher's peak
// working-set growth.
//
// Usage: bench_download.exe [size in MiB, default 256] [runs, default 1]
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>
#include <urlmon.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <string>

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

// (b): the platform's ceiling for this road: same flags, data read and dropped.
class DiscardCallback final
    : public gn::implements<DiscardCallback, gn::no_lock, IBindStatusCallback> {
public:
    volatile bool done = false;
    HRESULT result = S_OK;
    unsigned long long bytes = 0;
    STDMETHODIMP OnStartBinding(DWORD, IBinding*) override { return S_OK; }
    STDMETHODIMP GetPriority(LONG*) override { return S_OK; }
    STDMETHODIMP OnLowResource(DWORD) override { return S_OK; }
    STDMETHODIMP OnProgress(ULONG, ULONG, ULONG, LPCWSTR) override { return S_OK; }
    STDMETHODIMP OnStopBinding(HRESULT hr, LPCWSTR) override {
        result = hr;
        done = true;
        return S_OK;
    }
    STDMETHODIMP GetBindInfo(DWORD* flags, BINDINFO*) override {
        if (flags) *flags = BINDF_ASYNCHRONOUS | BINDF_PULLDATA;
        return S_OK;
    }
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
    STDMETHODIMP OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }
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

double mbps(unsigned long long size, const Result& r) {
    return r.seconds > 0 ? static_cast<double>(size) / 1e6 / r.seconds : 0;
}

void keep_best(Result& best, const Result& r) {
    if (r.ok && (!best.ok || r.seconds < best.seconds)) best = r;
}

}  // namespace

int main(int argc, char** argv) {
    const unsigned long long mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 256;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 1;
    const unsigned long long size = mib * 1024 * 1024;
    if (mib == 0 || runs < 1) {
        std::fprintf(stderr, "usage: bench_download [MiB] [runs]\n");
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

    std::printf("document: %llu MiB from %s, best of %d run(s)\n", mib, url.c_str(), runs);
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

    Result a, b, c, d;
    SIZE_T growth = 0;
    for (int i = 0; i < runs; ++i) {
        // The platform keeps a cache copy of every transfer: dropped after
        // each road, so that no road reads another's copy and none piles up.
        SIZE_T g = 0;
        keep_best(a, via_launcher(module, wurl, size, &g));
        DeleteUrlCacheEntryA(url.c_str());
        if (g > growth) growth = g;
        keep_best(b, via_bare_binding(wurl, size));
        DeleteUrlCacheEntryA(url.c_str());
        keep_best(c, via_url_download(url, file, size));
        DeleteUrlCacheEntryA(url.c_str());
        keep_best(d, via_wininet(url, file, size));
        DeleteUrlCacheEntryA(url.c_str());
    }

    auto line = [&](const char* name, const Result& r) {
        if (r.ok)
            std::printf("  %-40s %8.1f MB/s  (%.2f s)\n", name, mbps(size, r), r.seconds);
        else
            std::printf("  %-40s   failed\n", name);
    };
    line("(a) launcher", a);
    line("(b) bare BindToStorage, discarding", b);
    line("(c) URLDownloadToFileA", c);
    line("(d) wininet InternetReadFile (info)", d);
    if (a.ok && b.ok)
        std::printf("  launcher/(b) = %.3f   (target >= 0.95)\n", mbps(size, a) / mbps(size, b));
    if (a.ok && c.ok)
        std::printf("  launcher/(c) = %.3f   (target >= 0.90)\n", mbps(size, a) / mbps(size, c));
    std::printf("  launcher peak working-set growth = %.2f MiB   (target < 4 MiB)\n",
                static_cast<double>(growth) / (1024.0 * 1024.0));

    FreeLibrary(module);
    CoUninitialize();
    return a.ok && b.ok && c.ok ? 0 : 1;
}
