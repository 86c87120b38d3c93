// Download benchmark. One document of the loopback server, same URL, fetched
//   (a) through the launcher, driven as a browser drives it,
//   (b) by a bare asynchronous BindToStorage that reads and discards,
//   (c) by URLDownloadToFileA,
//   (d) by a plain wininet InternetOpenUrl/InternetReadFile loop into a file,
//   (e) by a bare asynchronous BindToStorage that writes every byte to a file
//       in the temp folder as fast as it can (the ceiling for a component that
//       must write the document),
// and the same number of bytes handed, without the platform's transfer, from
// memory in the same notifications to
//   (f) the launcher's binding callback,
//   (g) the binding callback of (e).
// It runs in rounds: each round runs (a) to (e) once, the order turning by one
// road from one round to the next, then (f) and (g) in turn five times each. It prints the median MB/s
// of each road, the ratios launcher/(e), launcher/(b), launcher/(c), launcher/(e) again with the
// transfer's swings taken out (below), and the launcher's peak working-set growth.
//
// Two more sets follow:
//   (s) small documents: many documents of 10 KiB, each opened as a browser
//       opens it (Load, the view shown, the hand-over to a stand-in for the
//       main plugin, the view closed), in turn with (e)'s bare binding
//       writing the same document, and with that binding plus the least view
//       an active document can show; per round the ratios of their times,
//       and the medians over the rounds;
//   (n) network speed: road (a) from a server that sends at 12, 50 and
//       100 MB/s, with the longest single message dispatch of each.
//
// The platform's transfer swings between a few large reads and many small
// ones from one road to the next, and with it the MB/s of every road, by up to
// a factor of three, so launcher/(e) moves by as much from run to run. Both
// roads take the same transfer, and only the work of their callbacks differs:
// (f) less (g) is that difference, measured on equal terms, and (e)'s time
// plus it is the launcher's time with the swings taken out. The document
// server runs in a second process (this program started with --serve), so
// that making the body never takes CPU from the road measured.
//
// Usage: bench_download.exe [size in MiB, default 256] [rounds, default 5]
//                           [roads and sets to run, default abcdefgsn]
#include <winsock2.h>
#include <windows.h>
#include <psapi.h>
#include <shlwapi.h>
#include <urlmon.h>
#include <wininet.h>

#include <exdisp.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "frame/com.h"
#include "frame/object.h"
#include "frame/interfaces.h"
#include "viewer/container/site.h"
#include "support/doc_server.h"
#include "support/fake_moniker.h"

namespace {

double now_seconds() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

SIZE_T working_set();

// The calling thread's time on a processor and its time waiting for one
// (ready to run while the machine ran others), in seconds, as Linux counts
// them (/proc/thread-self/schedstat, through Wine's drive Z:); not known on
// a system without that file.
class ThreadClock {
public:
    ThreadClock()
        : file_(CreateFileA("Z:\\proc\\thread-self\\schedstat", GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr)) {}
    ~ThreadClock() {
        if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    }
    ThreadClock(const ThreadClock&) = delete;
    ThreadClock& operator=(const ThreadClock&) = delete;

    bool read(double* running, double* waiting) const {
        char text[128];
        DWORD n = 0;
        OVERLAPPED from_start{};  // read again from its start
        unsigned long long run = 0, wait = 0;
        if (file_ == INVALID_HANDLE_VALUE || !ReadFile(file_, text, sizeof text - 1, &n, &from_start))
            return false;
        text[n] = '\0';
        if (std::sscanf(text, "%llu %llu", &run, &wait) != 2) return false;
        *running = static_cast<double>(run) * 1e-9;
        *waiting = static_cast<double>(wait) * 1e-9;
        return true;
    }

private:
    HANDLE file_;
};

// How long road (a) held the browser's thread at once, in seconds: the
// longest single message dispatch and its message; with g_clock set, the
// thread's time in it on a processor and waiting for one (the rest it was
// blocked: on the disk, or on the window server); and the dispatch that
// ended the download (the hand-over, then the file deleted).
struct DispatchRecord {
    double longest = 0;
    UINT message = 0;
    double running = -1, waiting = -1;
    double last = 0;
};
DispatchRecord g_dispatch;
const ThreadClock* g_clock = nullptr;

// Runs the messages already waiting: what a road left behind (a repaint of
// the browser's window after the view went, a message of the binding's
// window) counts to it, not to the road after it.
void drain_messages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// Pumps until done (or for at most give_up_after seconds); with peak set
// (road (a)), samples the working set every 20 ms and times every dispatch.
void pump_until(const volatile bool& done, SIZE_T* peak = nullptr, double give_up_after = 3600) {
    DWORD last = GetTickCount();
    const double deadline = now_seconds() + give_up_after;
    while (!done && now_seconds() < deadline) {
        if (peak && GetTickCount() - last >= 20) {
            last = GetTickCount();
            const SIZE_T ws = working_set();
            if (ws > *peak) *peak = ws;
        }
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            double running = 0, waiting = 0;
            const bool clocked = peak && g_clock && g_clock->read(&running, &waiting);
            const bool was_done = done;
            const double started = peak ? now_seconds() : 0;
            DispatchMessageA(&msg);
            const double took = peak ? now_seconds() - started : 0;
            if (took > g_dispatch.longest) {
                g_dispatch.longest = took;
                g_dispatch.message = msg.message;
                double ran = 0, waited = 0;
                if (clocked && g_clock->read(&ran, &waited)) {
                    g_dispatch.running = ran - running;
                    g_dispatch.waiting = waited - waiting;
                }
            }
            if (peak && done && !was_done) g_dispatch.last = took;
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

    ~WriteCallback() override {
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

// A new launcher from the module's class object; empty on failure.
gn::com_ptr<IUnknown> create_launcher(HMODULE module) {
    auto get_class_object = reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    gn::com_ptr<IClassFactory> factory;
    gn::com_ptr<IUnknown> launcher;
    if (get_class_object &&
        SUCCEEDED(get_class_object(CLSID_MorvaneLauncher, IID_IClassFactory, factory.put_void())))
        factory->CreateInstance(nullptr, IID_IUnknown, launcher.put_void());
    return launcher;
}

// A launcher from the module's class object, Loaded with the moniker as a
// browser does, and the sink advised; empty on any failure.
struct OpenLauncher {
    gn::com_ptr<IUnknown> launcher;
    gn::com_ptr<BenchSink> sink;
};
OpenLauncher open_launcher(HMODULE module, IMoniker* moniker) {
    OpenLauncher open;
    gn::com_ptr<IUnknown> launcher = create_launcher(module);
    if (!launcher) return open;
    auto prop = gn::try_query<IMonikerProp>(launcher.get());
    auto persist = gn::try_query<IPersistMoniker>(launcher.get());
    auto adv = gn::try_query<ILauncherAdvise>(launcher.get());
    gn::com_ptr<BenchSink> sink = gn::make<BenchSink>();
    gn::com_ptr<IBindCtx> bc;
    if (!prop || !persist || !adv || !sink || FAILED(CreateBindCtx(0, bc.put()))) return open;
    prop->PutProperty(MIMETYPEPROP, L"application/x-quorquery");
    if (persist->Load(FALSE, moniker, bc.get(), 0) != S_OK || FAILED(adv->Advise(sink.get())))
        return open;
    open.launcher = std::move(launcher);
    open.sink = std::move(sink);
    return open;
}

Result via_launcher(HMODULE module, const std::wstring& url, unsigned long long size,
                    SIZE_T* ws_growth) {
    Result r;
    const SIZE_T before = working_set();
    const double start = now_seconds();
    gn::com_ptr<IMoniker> moniker;
    CreateURLMonikerEx(nullptr, url.c_str(), moniker.put(), URL_MK_UNIFORM);
    OpenLauncher open = open_launcher(module, moniker.get());
    if (!open.launcher) return r;
    SIZE_T peak = before;
    pump_until(open.sink->done, &peak);
    r.seconds = now_seconds() - start;
    r.ok = open.sink->ok && open.sink->size == size;
    const SIZE_T after = working_set();
    if (after > peak) peak = after;
    *ws_growth = peak - before;
    return r;
}

// The component's own share of the work, without the platform's transfer:
// the same notifications, kNotification bytes ready at each and read from
// memory, handed straight to the launcher's callback and to (e)'s. How the
// platform delivers (a few large reads, or many small ones), which swings the
// roads above by a factor of three from round to round, plays no part here.
constexpr ULONG kNotification = 1 << 16;

// Hands size bytes of block (a multiple of kNotification long, repeated) to
// the callback, one memory stream per notification, then ends the binding.
HRESULT feed(IBindStatusCallback* callback, unsigned long long size,
             const std::vector<char>& block) {
    FORMATETC format{0, nullptr, DVASPECT_CONTENT, -1, TYMED_ISTREAM};
    RETURN_IF_FAILED(callback->OnStartBinding(0, nullptr));
    for (unsigned long long sent = 0; sent < size; sent += kNotification) {
        const ULONG n = static_cast<ULONG>(std::min<unsigned long long>(kNotification, size - sent));
        gn::com_ptr<IStream> stream;
        stream.attach(SHCreateMemStream(
            reinterpret_cast<const BYTE*>(block.data() + sent % block.size()), n));
        if (!stream) return E_OUTOFMEMORY;
        STGMEDIUM medium{};
        medium.tymed = TYMED_ISTREAM;
        medium.pstm = stream.get();
        const DWORD flags = sent == 0 ? BSCF_FIRSTDATANOTIFICATION
                            : sent + n == size ? BSCF_LASTDATANOTIFICATION
                                               : BSCF_INTERMEDIATEDATANOTIFICATION;
        RETURN_IF_FAILED(callback->OnDataAvailable(flags, static_cast<DWORD>(sent + n), &format,
                                                   &medium));
    }
    return callback->OnStopBinding(S_OK, nullptr);
}

Result fed_launcher(HMODULE module, unsigned long long size, const std::vector<char>& block) {
    Result r;
    const double start = now_seconds();
    // A moniker whose binding stays under way: the callbacks come from feed().
    auto moniker = gntest::FakeMoniker::make(L"http://127.0.0.1/fed.dzy", MK_S_ASYNCHRONOUS);
    OpenLauncher open = open_launcher(module, moniker.get());
    auto callback = gn::try_query<IBindStatusCallback>(open.launcher.get());
    if (!callback || FAILED(feed(callback.get(), size, block))) return r;
    r.seconds = now_seconds() - start;
    r.ok = open.sink->ok && open.sink->size == size;
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

// (e) and (g): a WriteCallback with its output open is given to transfer,
// which returns when the binding has ended; then the output is closed, the
// time noted, what was written checked and the file deleted.
template <class Transfer>
Result write_road(const std::string& file, unsigned long long size, Transfer transfer) {
    Result r;
    gn::com_ptr<WriteCallback> callback = gn::make<WriteCallback>();
    if (!callback) return r;
    const double start = now_seconds();
    callback->file = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (callback->file == INVALID_HANDLE_VALUE) return r;
    const HRESULT hr = transfer(callback.get());
    CloseHandle(callback->file);
    callback->file = INVALID_HANDLE_VALUE;
    r.seconds = now_seconds() - start;
    r.ok = SUCCEEDED(hr) && SUCCEEDED(callback->result) && callback->bytes == size &&
           file_size(file) == size;
    DeleteFileA(file.c_str());
    return r;
}

// The least view an active document can show, which (s) adds to the bare
// binding for its third road: a child window of the browser's document
// window, made visible, focused and painted at its creation (the activation),
// then hidden and destroyed (the teardown). Its class draws nothing.
class PlainView {
public:
    explicit PlainView(HWND parent) {
        if (!parent) return;
        window_ = CreateWindowExA(0, "GNBenchBrowser", nullptr,
                                  WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0, 600,
                                  400, parent, nullptr, GetModuleHandleA(nullptr), nullptr);
        if (!window_) return;
        SetFocus(window_);
        UpdateWindow(window_);
    }
    ~PlainView() {
        if (!window_) return;
        ShowWindow(window_, SW_HIDE);
        DestroyWindow(window_);
    }
    PlainView(const PlainView&) = delete;
    PlainView& operator=(const PlainView&) = delete;

private:
    HWND window_ = nullptr;
};

// (e)'s binding; with view_parent, a PlainView lives in it from the binding's
// start to its end.
Result via_bare_write(const std::wstring& url, const std::string& file, unsigned long long size,
                      HWND view_parent = nullptr) {
    return write_road(file, size, [&](WriteCallback* callback) {
        gn::com_ptr<IMoniker> moniker;
        gn::com_ptr<IBindCtx> bc;
        CreateURLMonikerEx(nullptr, url.c_str(), moniker.put(), URL_MK_UNIFORM);
        CreateBindCtx(0, bc.put());
        gn::com_ptr<IBindStatusCallback> previous;
        RegisterBindStatusCallback(bc.get(), callback, previous.put(), 0);
        gn::com_ptr<IStream> stream;
        const HRESULT hr =
            moniker->BindToStorage(bc.get(), nullptr, IID_IStream, stream.put_void());
        stream.reset();
        {
            const PlainView view(view_parent);
            if (SUCCEEDED(hr)) pump_until(callback->done);
        }
        drain_messages();
        return hr;
    });
}

Result fed_bare_write(const std::string& file, unsigned long long size,
                      const std::vector<char>& block) {
    return write_road(file, size,
                      [&](WriteCallback* callback) { return feed(callback, size, block); });
}

// ---------------------------------------------------------------------------
// (s): small documents, each opened as a browser opens it.

// The main plugin's stand-in, which the launcher's control host creates in
// the launcher window (its class object is registered for the plugin's class
// in this process): at its activation it finds the launcher through the
// browser's property "MorvaneLauncher", as the main plugin does, and
// subscribes g_plugin_sink, the sink of the document being opened.
gn::com_ptr<BenchSink> g_plugin_sink;

class BenchPlugin final : public gn::implements<BenchPlugin, gn::no_lock, IOleObject> {
public:
    STDMETHODIMP SetClientSite(IOleClientSite* site) override {
        site_.assign(site);
        return S_OK;
    }
    STDMETHODIMP GetClientSite(IOleClientSite** site) override { return site_.copy_to(site); }
    STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP Close(DWORD) override {
        launcher_.reset();
        return S_OK;
    }
    STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    STDMETHODIMP DoVerb(LONG, LPMSG, IOleClientSite*, LONG, HWND, LPCRECT) override {
        gn::com_ptr<IWebBrowser2> browser;
        if (auto services = site_.try_query<IServiceProvider>())
            services->QueryService(gn::SID_SWebBrowserApp, IID_IWebBrowser2, browser.put_void());
        gn::unique_variant launcher;
        auto name = gn::unique_bstr::copy_of(L"MorvaneLauncher");
        if (!browser || FAILED(browser->GetProperty(name.get(), &launcher)) || launcher.vt != VT_UNKNOWN)
            return E_FAIL;
        launcher_ = gn::try_query<ILauncherAdvise>(launcher.punkVal);
        return launcher_ && g_plugin_sink ? launcher_->Advise(g_plugin_sink.get()) : E_FAIL;
    }
    STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
    STDMETHODIMP Update() override { return S_OK; }
    STDMETHODIMP IsUpToDate() override { return S_OK; }
    STDMETHODIMP GetUserClassID(CLSID*) override { return E_NOTIMPL; }
    STDMETHODIMP GetUserType(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
    STDMETHODIMP SetExtent(DWORD, SIZEL*) override { return S_OK; }
    STDMETHODIMP GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    STDMETHODIMP Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP Unadvise(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
    STDMETHODIMP GetMiscStatus(DWORD, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // Makes this class the main plugin's for this process's thread, and undoes it.
    static void register_class();
    static void revoke_class();

private:
    gn::com_ptr<IOleClientSite> site_;
    gn::com_ptr<ILauncherAdvise> launcher_;
};

class BenchPluginFactory final : public gn::implements<BenchPluginFactory, gn::no_lock, IClassFactory> {
public:
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        return gn::create_instance<BenchPlugin>(outer, riid, ppv);
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

DWORD g_plugin_cookie = 0;

void BenchPlugin::register_class() {
    gn::com_ptr<BenchPluginFactory> factory = gn::make<BenchPluginFactory>();
    if (factory)
        CoRegisterClassObject(gn::CLSID_PluginCtl, static_cast<IClassFactory*>(factory.get()),
                              CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &g_plugin_cookie);
}

void BenchPlugin::revoke_class() {
    if (g_plugin_cookie) CoRevokeClassObject(g_plugin_cookie);
    g_plugin_cookie = 0;
}

// The browser's side: a frame window with a document window, the container
// objects the viewer uses (site, frame, browser object with its property
// bag), and the calls a browser makes to open a document and to close it.
class BenchBrowser final : public gncontainer::Host {
public:
    BenchBrowser() {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "GNBenchBrowser";
        RegisterClassA(&wc);
        frame_ = CreateWindowExA(0, wc.lpszClassName, "bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                 640, 480, nullptr, nullptr, wc.hInstance, nullptr);
        document_ = CreateWindowExA(0, wc.lpszClassName, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 600, 400,
                                    frame_, nullptr, wc.hInstance, nullptr);
        frame_object_ = gn::make<gncontainer::Frame>(this, gncontainer::Frame::kind::frame);
        browser_ = gn::make<gncontainer::WebBrowser>(this);
        site_ = gn::make<gncontainer::Site>(this, frame_object_, browser_);
    }
    ~BenchBrowser() {
        site_->detach();
        frame_object_->detach();
        browser_->detach();
        if (frame_) DestroyWindow(frame_);
    }
    BenchBrowser(const BenchBrowser&) = delete;
    BenchBrowser& operator=(const BenchBrowser&) = delete;

    // MIME type, client site, Load with a URL moniker and a new bind
    // context, DoVerb(SHOW): the document asks for its view to be shown.
    HRESULT open(IUnknown* document, const wchar_t* url) {
        document_object_.assign(document);
        auto prop = gn::try_query<IMonikerProp>(document);
        auto persist = gn::try_query<IPersistMoniker>(document);
        auto ole = gn::try_query<IOleObject>(document);
        RETURN_HR_IF(E_NOINTERFACE, !prop || !persist || !ole);
        prop->PutProperty(MIMETYPEPROP, L"application/x-quorquery");
        RETURN_IF_FAILED(ole->SetClientSite(static_cast<IOleClientSite*>(site_.get())));
        gn::com_ptr<IMoniker> moniker;
        gn::com_ptr<IBindCtx> bind_context;
        RETURN_IF_FAILED(CreateURLMonikerEx(nullptr, url, moniker.put(), URL_MK_UNIFORM));
        RETURN_IF_FAILED(CreateBindCtx(0, bind_context.put()));
        RETURN_IF_FAILED(persist->Load(FALSE, moniker.get(), bind_context.get(), STGM_READ));
        RECT rc = view_rect();
        return ole->DoVerb(OLEIVERB_SHOW, nullptr, static_cast<IOleClientSite*>(site_.get()), 0,
                           document_, &rc);
    }
    // The teardown: UIActivate(FALSE), Show(FALSE), CloseView,
    // SetInPlaceSite(NULL), Close, SetClientSite(NULL), and the browser
    // object's properties dropped with the document.
    void close() {
        if (view_) {
            view_->UIActivate(FALSE);
            view_->Show(FALSE);
            view_->CloseView(0);
            view_->SetInPlaceSite(nullptr);
            view_.reset();
        }
        if (auto ole = document_object_.try_query<IOleObject>()) {
            ole->Close(OLECLOSE_NOSAVE);
            ole->SetClientSite(nullptr);
        }
        document_object_.reset();
        browser_->clear_properties();
    }

    // gncontainer::Host
    HWND frame_window() const override { return frame_; }
    HWND document_window() const override { return document_; }
    RECT view_rect() const override { return RECT{0, 0, 600, 400}; }
    HRESULT activate_me(IOleDocumentView* view) override {
        gn::com_ptr<IOleDocumentView> shown(view);
        if (!shown) {
            auto document = document_object_.try_query<IOleDocument>();
            RETURN_HR_IF(E_NOINTERFACE, !document);
            RETURN_IF_FAILED(document->CreateView(static_cast<IOleInPlaceSiteEx*>(site_.get()), nullptr,
                                                  0, shown.put()));
        }
        view_ = shown;
        RECT rc = view_rect();
        view_->SetRect(&rc);
        return view_->Show(TRUE);
    }

private:
    HWND frame_ = nullptr;
    HWND document_ = nullptr;
    gn::com_ptr<gncontainer::Frame> frame_object_;
    gn::com_ptr<gncontainer::WebBrowser> browser_;
    gn::com_ptr<gncontainer::Site> site_;
    gn::com_ptr<IUnknown> document_object_;
    gn::com_ptr<IOleDocumentView> view_;
};

// One document opened as a browser opens it, until the main plugin's
// stand-in has the file, then closed and released: the launcher's whole
// share of a document the user opens.
Result via_browser(HMODULE module, BenchBrowser& browser, const std::wstring& url,
                   unsigned long long size) {
    Result r;
    const double start = now_seconds();
    g_plugin_sink = gn::make<BenchSink>();
    gn::com_ptr<IUnknown> launcher = create_launcher(module);
    if (!launcher || !g_plugin_sink) return r;
    const HRESULT hr = browser.open(launcher.get(), url.c_str());
    if (SUCCEEDED(hr)) pump_until(g_plugin_sink->done, nullptr, 30);
    browser.close();
    launcher.reset();
    drain_messages();
    r.seconds = now_seconds() - start;
    r.ok = SUCCEEDED(hr) && g_plugin_sink->ok && g_plugin_sink->size == size;
    g_plugin_sink.reset();
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

// (s): the size of the small documents, and their rounds: each round opens
// kSmallPairs documents on each road, one pair after the other.
constexpr unsigned long long kSmallSize = 10ull * 1024;
constexpr int kSmallRounds = 25;
constexpr int kSmallPairs = 40;
// (n): the rates the server sends at, in MB/s.
constexpr int kNetworkRates[] = {12, 50, 100};

// --serve: the document server's process. Prints its port on a line, then
// serves until its standard input ends (the benchmark closes it, or ends).
int serve(unsigned long long size) {
    gntest::DocServer server;
    if (!server.running()) return 1;
    gntest::DocRoute route;
    route.length = size;
    server.route("/bench.dzy", route);
    gntest::DocRoute small;
    small.length = 1 << 20;
    server.route("/warmup.dzy", small);
    small.length = kSmallSize;
    server.route("/small.dzy", small);
    for (const int rate : kNetworkRates) {
        gntest::DocRoute paced = route;
        paced.send_rate = static_cast<unsigned long long>(rate) * 1000000;
        server.route("/rate" + std::to_string(rate) + ".dzy", paced);
    }
    std::printf("%u\n", static_cast<unsigned>(server.port()));
    std::fflush(stdout);
    char c;
    DWORD n = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &c, 1, &n, nullptr) && n) {
    }
    return 0;
}

// The server's process, seen from the benchmark: started with pipes for its
// standard input and output, ended by closing its input.
class ServerProcess {
public:
    ServerProcess(const char* self, unsigned long long mib) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        HANDLE child_in = nullptr, child_out = nullptr;
        if (!CreatePipe(&child_in, &to_child_, &inherit, 0)) return;
        if (!CreatePipe(&from_child_, &child_out, &inherit, 0)) {
            CloseHandle(child_in);
            return;
        }
        SetHandleInformation(to_child_, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(from_child_, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOA si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = child_in;
        si.hStdOutput = child_out;
        si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        std::string command = std::string("\"") + self + "\" --serve " + std::to_string(mib);
        PROCESS_INFORMATION pi{};
        if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                           &pi)) {
            process_ = pi.hProcess;
            CloseHandle(pi.hThread);
        }
        CloseHandle(child_in);
        CloseHandle(child_out);
        if (!process_) return;
        std::string line;
        char c;
        DWORD n = 0;
        while (line.size() < 16 && ReadFile(from_child_, &c, 1, &n, nullptr) && n && c != '\n')
            line += c;
        const unsigned long value = std::strtoul(line.c_str(), nullptr, 10);
        if (value > 0 && value < 65536) port_ = static_cast<unsigned short>(value);
    }
    ~ServerProcess() {
        if (to_child_) CloseHandle(to_child_);
        if (process_ && WaitForSingleObject(process_, 5000) != WAIT_OBJECT_0)
            TerminateProcess(process_, 1);
        if (process_) CloseHandle(process_);
        if (from_child_) CloseHandle(from_child_);
    }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    unsigned short port() const { return port_; }
    std::string url(const char* path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    std::wstring wurl(const char* path) const {
        const std::string u = url(path);
        return std::wstring(u.begin(), u.end());
    }

private:
    HANDLE to_child_ = nullptr;
    HANDLE from_child_ = nullptr;
    HANDLE process_ = nullptr;
    unsigned short port_ = 0;
};

std::wstring widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// (s): small documents through the launcher as a browser opens them, in
// turn with (e)'s bare binding that writes the same document to a file and
// with that binding plus the least view (PlainView): the launcher's road
// against the platform's work alone, and against the work any active
// document must do. The road that goes first turns from one document to the
// next, every document has a URL of its own (as a browser's documents do),
// and the platform's cache is emptied after each round. The roads drift as
// that cache grows and the machine's load changes, so the verdicts are the
// medians over the rounds of each round's ratios and differences.
// False when a document failed.
bool small_documents(HMODULE module, const ServerProcess& server, const std::string& file) {
    BenchPlugin::register_class();
    BenchBrowser browser;
    std::printf("small documents: %llu KiB, %d round(s) of %d on each road\n", kSmallSize / 1024,
                kSmallRounds, kSmallPairs);
    std::printf(
        "  round   launcher   bare   bare+view   (ms per document)   extra ms   bare/launcher"
        "   (bare+view)/launcher\n");
    std::vector<double> launcher_ms, bare_ms, view_ms, extra_ms, floor_ms, ratios, view_ratios;
    int failed = 0;
    unsigned long serial = 0;
    for (int k = -1; k < kSmallRounds; ++k) {  // round -1 warms the roads up
        double seconds[3] = {};                // launcher, bare, bare with the least view
        int round_failed = 0;
        std::vector<std::string> urls;
        for (int j = 0; j < kSmallPairs; ++j) {
            for (int step = 0; step < 3; ++step) {
                const int road = (step + j + k + 3) % 3;
                urls.push_back(server.url("/small.dzy") + "?doc=" + std::to_string(++serial));
                const std::wstring url = widen(urls.back());
                const Result r = road == 0
                                     ? via_browser(module, browser, url, kSmallSize)
                                     : via_bare_write(url, file, kSmallSize,
                                                      road == 2 ? browser.document_window() : nullptr);
                seconds[road] += r.seconds;
                if (!r.ok) ++round_failed;
            }
        }
        for (const std::string& url : urls) DeleteUrlCacheEntryA(url.c_str());
        if (k < 0) continue;
        failed += round_failed;
        const double launcher = seconds[0] * 1000 / kSmallPairs;
        const double bare = seconds[1] * 1000 / kSmallPairs;
        const double viewed = seconds[2] * 1000 / kSmallPairs;
        std::printf("  %5d   %8.3f   %6.3f   %9.3f                       %8.3f   %13.3f   %20.3f%s\n",
                    k + 1, launcher, bare, viewed, launcher - bare, bare / launcher, viewed / launcher,
                    round_failed ? "  (failures)" : "");
        std::fflush(stdout);
        if (round_failed) continue;
        launcher_ms.push_back(launcher);
        bare_ms.push_back(bare);
        view_ms.push_back(viewed);
        extra_ms.push_back(launcher - bare);
        floor_ms.push_back(viewed - bare);
        ratios.push_back(bare / launcher);
        view_ratios.push_back(viewed / launcher);
    }
    BenchPlugin::revoke_class();
    if (ratios.empty()) {
        std::printf("  (s) failed: %d document(s)\n", failed);
        return false;
    }
    std::printf("  (s) launcher, opened as a browser does   %8.3f ms per document (median)\n",
                median(launcher_ms));
    std::printf("  (s) bare BindToStorage, WriteFile        %8.3f ms per document (median)\n",
                median(bare_ms));
    std::printf("  (s) the same with the least view         %8.3f ms per document (median)\n",
                median(view_ms));
    std::printf("  (s) launcher's extra time per document = %.3f ms   (target <= 0.3 ms)\n",
                median(extra_ms));
    std::printf("  (s) the least view's own time per document = %.3f ms\n", median(floor_ms));
    std::printf("  (s) bare/launcher per round, median = %.3f   (target >= 0.9)%s\n", median(ratios),
                failed ? "  (some documents failed)" : "");
    std::printf("  (s) (bare+view)/launcher per round, median = %.3f\n", median(view_ratios));
    return failed == 0;
}

// (n): road (a) from a server that sends at a network's speed. The longest
// single dispatch on the thread is how long the browser's thread was held
// at once: the launcher reads whatever the stream has in each notification.
// False when a transfer failed.
bool network_speeds(HMODULE module, const ServerProcess& server, unsigned long long size) {
    bool all_ok = true;
    for (const int rate : kNetworkRates) {
        const std::string url = server.url(("/rate" + std::to_string(rate) + ".dzy").c_str());
        g_dispatch = DispatchRecord{};
        const ThreadClock clock;
        g_clock = &clock;
        SIZE_T growth = 0;
        const Result r = via_launcher(module, widen(url), size, &growth);
        g_clock = nullptr;
        DeleteUrlCacheEntryA(url.c_str());
        if (!r.ok) {
            std::printf("  (n) sent at %3d MB/s: failed\n", rate);
            all_ok = false;
            continue;
        }
        std::printf(
            "  (n) sent at %3d MB/s: %6.1f MB/s, longest single dispatch = %7.1f ms"
            " (message 0x%04x",
            rate, mbps(size, r.seconds), g_dispatch.longest * 1000.0, g_dispatch.message);
        if (g_dispatch.running >= 0)
            std::printf(": %.1f ms on a processor, %.1f ms waiting for one, %.1f ms blocked",
                        g_dispatch.running * 1000.0, g_dispatch.waiting * 1000.0,
                        (g_dispatch.longest - g_dispatch.running - g_dispatch.waiting) * 1000.0);
        std::printf("), the last %.1f ms\n", g_dispatch.last * 1000.0);
        std::fflush(stdout);
    }
    return all_ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--serve")
        return serve(std::strtoull(argv[2], nullptr, 10) * 1024 * 1024);
    const unsigned long long mib = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 256;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    const std::string only = argc > 3 ? argv[3] : "abcdefgsn";  // the roads to run
    const unsigned long long size = mib * 1024 * 1024;
    if (mib == 0 || rounds < 1) {
        std::fprintf(stderr, "usage: bench_download [MiB] [rounds] [roads and sets, e.g. aefg, sn]\n");
        return 2;
    }
    CoInitialize(nullptr);

    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    ServerProcess server(self, mib);
    if (!server.port()) {
        std::fprintf(stderr, "the document server did not start on 127.0.0.1\n");
        return 1;
    }
    const std::string url = server.url("/bench.dzy");
    const std::wstring wurl = server.wurl("/bench.dzy");

    char dir[MAX_PATH];
    GetTempPathA(MAX_PATH, dir);
    const std::string file = std::string(dir) + "bench_download.out";

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
        SIZE_T ignored = 0;
        via_launcher(module, server.wurl("/warmup.dzy"), 1 << 20, &ignored);
        via_bare_binding(server.wurl("/warmup.dzy"), 1 << 20);
        DeleteUrlCacheEntryA(server.url("/warmup.dzy").c_str());
    }

    SIZE_T growth = 0;
    // What every road is given.
    struct Context {
        std::wstring wurl;
        std::string url, file;
        unsigned long long size;
        HMODULE module;
        std::vector<char> block;  // the bytes fed to (f) and (g)
    };
    const Context context{wurl, url, file, size, module, std::vector<char>(1 << 20, 'x')};
    struct Road {
        const char* name;
        Result (*run)(const Context&, SIZE_T*);
        std::vector<double> seconds;  // of the rounds it succeeded in, in round order
        int failed;
    };
    Road roads[] = {
        {"(a) launcher",
         [](const Context& c, SIZE_T* g) { return via_launcher(c.module, c.wurl, c.size, g); }, {}, 0},
        {"(b) bare BindToStorage, discarding",
         [](const Context& c, SIZE_T*) { return via_bare_binding(c.wurl, c.size); }, {}, 0},
        {"(c) URLDownloadToFileA",
         [](const Context& c, SIZE_T*) { return via_url_download(c.url, c.file, c.size); }, {}, 0},
        {"(d) wininet InternetReadFile (info)",
         [](const Context& c, SIZE_T*) { return via_wininet(c.url, c.file, c.size); }, {}, 0},
        {"(e) bare BindToStorage, WriteFile",
         [](const Context& c, SIZE_T*) { return via_bare_write(c.wurl, c.file, c.size); }, {}, 0},
        {"(f) launcher, fed from memory",
         [](const Context& c, SIZE_T*) { return fed_launcher(c.module, c.size, c.block); }, {}, 0},
        {"(g) WriteFile callback, fed from memory",
         [](const Context& c, SIZE_T*) { return fed_bare_write(c.file, c.size, c.block); }, {}, 0},
    };
    constexpr int kRoads = sizeof roads / sizeof roads[0];
    // launcher/(e) of each round where both succeeded: a pair measured under
    // the same load.
    std::vector<double> paired;

    const bool large = only.find_first_of("abcdefg") != std::string::npos;
    if (large)
        std::printf(
            "  round   order                MB/s: (a)    (b)    (c)    (d)    (e)    (f)    (g)\n");
    // (f) and (g) take a tenth of a second or so, and writing to the file
    // system swings them too: each round runs them kFedPairs times in turn.
    constexpr int kFedPairs = 5;
    for (int k = 0; large && k < rounds; ++k) {
        double round_seconds[kRoads] = {};
        std::vector<int> sequence;
        for (int j = 0; j < 5; ++j) sequence.push_back((k + j) % 5);
        for (int j = 0; j < kFedPairs; ++j) {
            const int first = 5 + (k + j) % 2;
            sequence.push_back(first);
            sequence.push_back(11 - first);
        }
        std::string order;
        for (const int i : sequence) {
            const char name = static_cast<char>('a' + i);
            if (only.find(name) == std::string::npos) {
                order += '-';
                continue;
            }
            order += name;
            SIZE_T g = 0;
            const Result r = roads[i].run(context, &g);
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
        std::printf("  %5d   %s  ", k + 1, order.c_str());
        for (int i = 0; i < kRoads; ++i) {
            if (round_seconds[i] > 0)
                std::printf(" %6.1f", mbps(size, round_seconds[i]));
            else if (only.find(static_cast<char>('a' + i)) == std::string::npos)
                std::printf("     - ");
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
        if (only.find(static_cast<char>('a' + i)) == std::string::npos) continue;
        if (!r.seconds.empty()) {
            median_mbps[i] = mbps(size, median(r.seconds));
            std::printf("  %-40s %8.1f MB/s  (median %.2f s", r.name, median_mbps[i],
                        median(r.seconds));
        } else {
            std::printf("  %-40s   failed (", r.name);
        }
        if (r.failed) std::printf(", %d run(s) failed", r.failed);
        std::printf(")\n");
    }
    auto ratio = [&](const char* name, int a, int b, const char* target) {
        if (median_mbps[a] > 0 && median_mbps[b] > 0)
            std::printf("  %s = %.3f   (target %s)\n", name, median_mbps[a] / median_mbps[b],
                        target);
    };
    ratio("launcher/(e)", 0, 4, ">= 0.97");
    if (!paired.empty())
        std::printf("  launcher/(e) per round, median = %.3f\n", median(paired));
    // The launcher's own work beyond the ceiling's ((f) less (g)), added to
    // (e)'s whole time: launcher/(e) with the platform's transfer taking the
    // same time under both, which it does but for its swings.
    if (!roads[4].seconds.empty() && !roads[5].seconds.empty() && !roads[6].seconds.empty()) {
        const double e = median(roads[4].seconds);
        // Below zero when the launcher's own work is the lighter.
        const double extra = median(roads[5].seconds) - median(roads[6].seconds);
        std::printf("  launcher/(e), the transfer's swings taken out = %.3f   (target >= 0.97)\n",
                    e / (e + extra));
    }
    ratio("launcher/(b)", 0, 1, ">= 0.95");
    ratio("launcher/(c)", 0, 2, ">= 0.90");
    if (only.find('a') != std::string::npos) {
        std::printf("  launcher peak working-set growth = %.2f MiB   (target < 4 MiB)\n",
                    static_cast<double>(growth) / (1024.0 * 1024.0));
        std::printf("  (a) longest single message dispatch = %.1f ms   (target <= 50 ms)\n",
                    g_dispatch.longest * 1000.0);
    }
    bool all_ok = true;
    if (only.find('s') != std::string::npos) all_ok = small_documents(module, server, file);
    if (only.find('n') != std::string::npos) all_ok = network_speeds(module, server, size) && all_ok;

    FreeLibrary(module);
    CoUninitialize();
    for (const Road& r : roads) all_ok = all_ok && r.failed == 0;
    return all_ok ? 0 : 1;
}
