// viewer_testdoc.dll: a stand-in active document for the viewer's tests. It
// writes every container call it receives, one per line, to the file named by
// the environment variable GNVIEWER_TESTDOC_LOG, and when shown it uses the
// browser object the way the main plugin does: properties, status texts and,
// for a document named first.gnvt, a navigation to second.gnvt; one named
// dialog.gnvt asks a question in a message box while it is being shown.
#include <windows.h>
#include <docobj.h>
#include <exdisp.h>
#include <ocidl.h>
#include <urlmon.h>

#include <string>

#include "frame/object.h"

namespace {

// {9C4E2B71-5A3D-4E8F-B1C6-7D20A5E3F914}
const CLSID CLSID_TestDocument = {0x9C4E2B71, 0x5A3D, 0x4E8F, {0xB1, 0xC6, 0x7D, 0x20, 0xA5, 0xE3, 0xF9, 0x14}};
const GUID SID_WebBrowserApp = {0x0002DF05, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

LONG g_objects = 0;
LONG g_locks = 0;

void log_line(const std::wstring& text) {
    wchar_t path[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(L"GNVIEWER_TESTDOC_LOG", path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    HANDLE f = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    std::string line;
    for (wchar_t c : text) line += c < 0x80 ? static_cast<char>(c) : '?';
    line += "\r\n";
    DWORD written = 0;
    WriteFile(f, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(f);
}

// Every live object of this DLL keeps it loaded.
struct object_count : gn::lock_policy {
    static void lock() noexcept { InterlockedIncrement(&g_objects); }
    static void unlock() noexcept { InterlockedDecrement(&g_objects); }
};
// A live class object counts as a server lock.
struct factory_lock : gn::lock_policy {
    static void lock() noexcept { InterlockedIncrement(&g_locks); }
    static void unlock() noexcept { InterlockedDecrement(&g_locks); }
};

template <class T>
void set(T*& slot, T* p) {
    if (p) p->AddRef();
    if (slot) slot->Release();
    slot = p;
}

class TestDocument final
    : public gn::implements<TestDocument, object_count, IOleObject, IOleDocument, IOleDocumentView,
                            IPersistMoniker, IMonikerProp> {
public:
    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* site) override {
        log_line(site ? L"SetClientSite" : L"SetClientSite(NULL)");
        set(site_, site);
        return S_OK;
    }
    STDMETHODIMP GetClientSite(IOleClientSite** pp) override {
        if (!pp) return E_POINTER;
        *pp = site_;
        if (site_) site_->AddRef();
        return S_OK;
    }
    STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP Close(DWORD) override {
        log_line(L"Close");
        if (window_) DestroyWindow(window_);
        window_ = nullptr;
        set<IOleInPlaceSite>(in_place_site_, nullptr);
        return S_OK;
    }
    STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite*, LONG, HWND, LPCRECT) override {
        log_line(L"DoVerb(" + std::to_wstring(verb) + L")");
        IOleDocumentSite* doc_site = nullptr;
        if (!site_ || FAILED(site_->QueryInterface(IID_IOleDocumentSite, reinterpret_cast<void**>(&doc_site))))
            return E_FAIL;
        const HRESULT hr = doc_site->ActivateMe(nullptr);
        doc_site->Release();
        return hr;
    }
    STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
    STDMETHODIMP Update() override { return S_OK; }
    STDMETHODIMP IsUpToDate() override { return S_OK; }
    STDMETHODIMP GetUserClassID(CLSID* p) override { if (!p) return E_POINTER; *p = CLSID_TestDocument; return S_OK; }
    STDMETHODIMP GetUserType(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
    STDMETHODIMP SetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    STDMETHODIMP GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    STDMETHODIMP Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP Unadvise(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
    STDMETHODIMP GetMiscStatus(DWORD, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // IOleDocument
    STDMETHODIMP CreateView(IOleInPlaceSite* site, IStream*, DWORD, IOleDocumentView** pp) override {
        log_line(L"CreateView");
        if (!pp) return E_POINTER;
        if (site) SetInPlaceSite(site);
        *pp = static_cast<IOleDocumentView*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP GetDocMiscStatus(DWORD* p) override { if (p) *p = DOCMISC_NOFILESUPPORT; return S_OK; }
    STDMETHODIMP EnumViews(IEnumOleDocumentViews**, IOleDocumentView**) override { return E_NOTIMPL; }

    // IOleDocumentView
    STDMETHODIMP SetInPlaceSite(IOleInPlaceSite* site) override {
        log_line(site ? L"SetInPlaceSite" : L"SetInPlaceSite(NULL)");
        if (site) set(in_place_site_, site);
        return S_OK;
    }
    STDMETHODIMP GetInPlaceSite(IOleInPlaceSite** pp) override {
        if (!pp) return E_POINTER;
        *pp = in_place_site_;
        if (in_place_site_) in_place_site_->AddRef();
        return S_OK;
    }
    STDMETHODIMP GetDocument(IUnknown** pp) override {
        if (!pp) return E_POINTER;
        *pp = static_cast<IOleObject*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP SetRect(LPRECT rc) override {
        if (!rc) return E_POINTER;
        log_line(L"SetRect(" + std::to_wstring(rc->right - rc->left) + L"x" + std::to_wstring(rc->bottom - rc->top) + L")");
        if (window_) MoveWindow(window_, rc->left, rc->top, rc->right - rc->left, rc->bottom - rc->top, TRUE);
        rect_ = *rc;
        return S_OK;
    }
    STDMETHODIMP GetRect(LPRECT rc) override { if (!rc) return E_POINTER; *rc = rect_; return S_OK; }
    STDMETHODIMP SetRectComplex(LPRECT, LPRECT, LPRECT, LPRECT) override { return E_NOTIMPL; }
    STDMETHODIMP Show(BOOL show) override {
        log_line(show ? L"Show(TRUE)" : L"Show(FALSE)");
        if (!show) {
            if (window_) ShowWindow(window_, SW_HIDE);
            return S_OK;
        }
        if (!in_place_site_) return E_UNEXPECTED;
        HWND parent = nullptr;
        in_place_site_->GetWindow(&parent);
        if (!window_)
            window_ = CreateWindowExW(0, L"STATIC", L"viewer test document", WS_CHILD | WS_VISIBLE, rect_.left,
                                      rect_.top, rect_.right - rect_.left, rect_.bottom - rect_.top, parent,
                                      nullptr, nullptr, nullptr);
        use_frame();
        use_browser();
        // A document that asks the user something while it is being shown.
        if (ends_with(L"dialog.gnvt"))
            log_line(L"MessageBox " + std::to_wstring(MessageBoxW(window_, L"Open it?", L"viewer test document",
                                                                  MB_OKCANCEL)));
        return S_OK;
    }
    STDMETHODIMP UIActivate(BOOL on) override { log_line(on ? L"UIActivate(TRUE)" : L"UIActivate(FALSE)"); return S_OK; }
    STDMETHODIMP Open() override { return E_NOTIMPL; }
    STDMETHODIMP CloseView(DWORD) override { log_line(L"CloseView"); return S_OK; }
    STDMETHODIMP SaveViewState(LPSTREAM) override { return E_NOTIMPL; }
    STDMETHODIMP ApplyViewState(LPSTREAM) override { return E_NOTIMPL; }
    STDMETHODIMP Clone(IOleInPlaceSite*, IOleDocumentView**) override { return E_NOTIMPL; }

    // IPersistMoniker
    STDMETHODIMP GetClassID(CLSID* p) override { if (!p) return E_POINTER; *p = CLSID_TestDocument; return S_OK; }
    STDMETHODIMP IsDirty() override { return S_FALSE; }
    STDMETHODIMP Load(BOOL, IMoniker* moniker, LPBC, DWORD) override {
        if (!moniker) return E_FAIL;
        LPOLESTR name = nullptr;
        if (SUCCEEDED(moniker->GetDisplayName(nullptr, nullptr, &name)) && name) {
            url_ = name;
            CoTaskMemFree(name);
        }
        log_line(L"Load " + url_);
        return S_OK;
    }
    STDMETHODIMP Save(IMoniker*, LPBC, BOOL) override { return S_OK; }
    STDMETHODIMP SaveCompleted(IMoniker*, LPBC) override { return S_OK; }
    STDMETHODIMP GetCurMoniker(IMoniker**) override { return E_NOTIMPL; }

    // IMonikerProp
    STDMETHODIMP PutProperty(MONIKERPROPERTY prop, LPCWSTR value) override {
        if (prop == MIMETYPEPROP) log_line(std::wstring(L"MIMETYPEPROP ") + (value ? value : L"(null)"));
        return S_OK;
    }

private:
    ~TestDocument() override {
        log_line(L"Released");
        if (window_) DestroyWindow(window_);
        set<IOleInPlaceSite>(in_place_site_, nullptr);
        set<IOleClientSite>(site_, nullptr);
    }

    void use_frame() {
        IOleInPlaceFrame* frame = nullptr;
        IOleInPlaceUIWindow* ui = nullptr;
        RECT pos{}, clip{};
        OLEINPLACEFRAMEINFO info{};
        info.cb = sizeof info;
        if (SUCCEEDED(in_place_site_->GetWindowContext(&frame, &ui, &pos, &clip, &info)) && frame) {
            frame->SetStatusText(L"testdoc frame status");
            log_line(ui ? L"GetWindowContext with UI window" : L"GetWindowContext");
        }
        if (frame) frame->Release();
        if (ui) ui->Release();
    }

    void use_browser() {
        IServiceProvider* services = nullptr;
        IWebBrowser2* browser = nullptr;
        if (site_ && SUCCEEDED(site_->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(&services))))
            services->QueryService(SID_WebBrowserApp, IID_IWebBrowser2, reinterpret_cast<void**>(&browser));
        if (services) services->Release();
        if (!browser) {
            log_line(L"no browser");
            return;
        }
        VARIANT location;
        location.vt = VT_BSTR;
        location.bstrVal = SysAllocString(url_.c_str());
        BSTR name = SysAllocString(L"document_location");
        browser->PutProperty(name, location);
        SysFreeString(name);
        VariantClear(&location);

        VARIANT self;
        self.vt = VT_UNKNOWN;
        self.punkVal = static_cast<IOleObject*>(this);
        name = SysAllocString(L"MorvaneLauncher");
        browser->PutProperty(name, self);  // the bag takes its own reference
        VARIANT back;
        VariantInit(&back);
        const HRESULT hr = browser->GetProperty(name, &back);
        IUnknown* identity = nullptr;
        if (SUCCEEDED(hr) && back.vt == VT_UNKNOWN && back.punkVal)
            back.punkVal->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
        log_line(identity == static_cast<IOleObject*>(this) ? L"GetProperty same object" : L"GetProperty other value");
        if (identity) identity->Release();
        VariantClear(&back);
        SysFreeString(name);

        BSTR status = SysAllocString(L"testdoc browser status");
        browser->put_StatusText(status);
        SysFreeString(status);
        BSTR where = nullptr;
        if (SUCCEEDED(browser->get_LocationURL(&where)) && where) log_line(std::wstring(L"LocationURL ") + where);
        SysFreeString(where);

        const std::wstring first = L"first.gnvt";
        if (ends_with(first)) {
            BSTR next = SysAllocString((url_.substr(0, url_.size() - first.size()) + L"second.gnvt").c_str());
            log_line(L"Navigate " + std::to_wstring(browser->Navigate(next, nullptr, nullptr, nullptr, nullptr)));
            SysFreeString(next);
        }
        browser->Release();
    }

    bool ends_with(const std::wstring& tail) const {
        return url_.size() >= tail.size() && url_.compare(url_.size() - tail.size(), tail.size(), tail) == 0;
    }

    IOleClientSite* site_ = nullptr;
    IOleInPlaceSite* in_place_site_ = nullptr;
    HWND window_ = nullptr;
    RECT rect_{};
    std::wstring url_;
};

class Factory final : public gn::implements<Factory, factory_lock, IClassFactory> {
public:
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        const HRESULT hr = gn::create_instance<TestDocument>(outer, riid, ppv);
        if (hr != CLASS_E_NOAGGREGATION && hr != E_POINTER && hr != E_OUTOFMEMORY) log_line(L"Created");
        return hr;
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        lock ? InterlockedIncrement(&g_locks) : InterlockedDecrement(&g_locks);
        return S_OK;
    }
};

}  // namespace

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_TestDocument)) return CLASS_E_CLASSNOTAVAILABLE;
    gn::com_ptr<Factory> factory = gn::make<Factory>();
    if (!factory) return E_OUTOFMEMORY;
    return factory.query_to(riid, ppv);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return g_objects == 0 && g_locks == 0 ? S_OK : S_FALSE; }
