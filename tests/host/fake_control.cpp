#include "fake_control.h"

#include <cstdio>

#include "frame/object.h"

namespace hosttest {

const CLSID CLSID_FakeControl = {0x0D5E8F41, 0x6B2A, 0x4C3D,
                                 {0x9E, 0x10, 0x7A, 0x8B, 0x9C, 0x0D, 0x1E, 0x21}};
const CLSID CLSID_FakeNoOleObject = {0x0D5E8F41, 0x6B2A, 0x4C3D,
                                     {0x9E, 0x10, 0x7A, 0x8B, 0x9C, 0x0D, 0x1E, 0x22}};

FakeState g_fake;

namespace {

std::string rect_text(const RECT* r) {
    if (!r) return "null";
    char text[64];
    snprintf(text, sizeof(text), "%ld,%ld,%ld,%ld", r->left, r->top, r->right, r->bottom);
    return text;
}

void record(const std::string& call) {
    g_fake.apartment.check(call);
    g_fake.calls.push_back(call);
    if (g_fake.expected) g_fake.expected->call(call);
}

LRESULT CALLBACK child_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg >= 0x2000 && msg < 0x3000) {
        g_fake.child_messages.push_back(msg);
        g_fake.child_lparams.push_back(lp);
        return 0x5A5A;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

const char kChildClass[] = "GNTest.FakeControlWindow";

class FakeControl final
    : public gn::implements<FakeControl, gn::no_lock, IOleObject, IOleInPlaceObject,
                            gn::alias<IOleWindow, IOleInPlaceObject>, IOleInPlaceActiveObject,
                            IObjectWithSite, IPersistStreamInit, IRunnableObject> {
public:
    FakeControl() { ++g_fake.created; ++g_fake.alive; }
    ~FakeControl() override {
        --g_fake.alive;
        if (site_) site_->Release();
    }

    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* site) override {
        record(site ? "SetClientSite(site)" : "SetClientSite(null)");
        g_fake.site = site;
        if (!g_fake.options.keep_site) return S_OK;
        if (site) site->AddRef();
        if (site_) site_->Release();
        site_ = site;
        return S_OK;
    }
    STDMETHODIMP GetClientSite(IOleClientSite** pp) override {
        *pp = site_;
        if (site_) site_->AddRef();
        return S_OK;
    }
    STDMETHODIMP SetHostNames(LPCOLESTR, LPCOLESTR) override { record("SetHostNames"); return S_OK; }
    STDMETHODIMP Close(DWORD option) override {
        record("Close(" + std::to_string(option) + ")");
        InPlaceDeactivate();
        return S_OK;
    }
    STDMETHODIMP SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    STDMETHODIMP DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent,
                        LPCRECT rect) override {
        record("DoVerb(" + std::to_string(verb) + "," + rect_text(rect) + ")");
        parent_ = parent;
        if (verb == OLEIVERB_INPLACEACTIVATE && site) activate_in_place(site, rect);
        if (verb == OLEIVERB_UIACTIVATE && site) {
            IOleInPlaceSite* ip = nullptr;
            if (SUCCEEDED(site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&ip)))) {
                ip->OnUIActivate();
                ip->Release();
            }
        }
        return g_fake.options.doverb_result;
    }
    STDMETHODIMP EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
    STDMETHODIMP Update() override { return S_OK; }
    STDMETHODIMP IsUpToDate() override { return S_OK; }
    STDMETHODIMP GetUserClassID(CLSID* clsid) override { *clsid = CLSID_FakeControl; return S_OK; }
    STDMETHODIMP GetUserType(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
    STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override {
        record("SetExtent(" + std::to_string(aspect) + "," + std::to_string(size->cx) + "x" +
               std::to_string(size->cy) + ")");
        extent_ = *size;
        return S_OK;
    }
    STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override {
        record("GetExtent(" + std::to_string(aspect) + ")");
        const SIZEL& c = g_fake.options.corrected_extent;
        *size = (c.cx || c.cy) ? c : extent_;
        return S_OK;
    }
    STDMETHODIMP Advise(IAdviseSink*, DWORD*) override { record("Advise"); return E_NOTIMPL; }
    STDMETHODIMP Unadvise(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
    STDMETHODIMP GetMiscStatus(DWORD, DWORD* status) override { *status = 0; return S_OK; }
    STDMETHODIMP SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // IOleWindow
    STDMETHODIMP GetWindow(HWND* phwnd) override { *phwnd = window_; return S_OK; }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return S_OK; }
    // IOleInPlaceObject
    STDMETHODIMP InPlaceDeactivate() override {
        if (!in_place_) return S_OK;
        in_place_ = false;
        if (window_) DestroyWindow(window_);
        window_ = nullptr;
        g_fake.window = nullptr;
        if (ip_site_) {
            ip_site_->OnInPlaceDeactivate();
            ip_site_->Release();
            ip_site_ = nullptr;
        }
        return S_OK;
    }
    STDMETHODIMP UIDeactivate() override { return S_OK; }
    STDMETHODIMP SetObjectRects(LPCRECT pos, LPCRECT clip) override {
        record("SetObjectRects(" + rect_text(pos) + "," + rect_text(clip) + ")");
        return S_OK;
    }
    STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }
    // IOleInPlaceActiveObject
    STDMETHODIMP TranslateAccelerator(LPMSG msg) override {
        record("TranslateAccelerator(" + std::to_string(msg ? msg->wParam : 0) + ")");
        return g_fake.options.translate_keys ? S_OK : S_FALSE;
    }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    // IObjectWithSite
    STDMETHODIMP SetSite(IUnknown* site) override {
        record(site ? "SetSite(site)" : "SetSite(null)");
        return S_OK;
    }
    STDMETHODIMP GetSite(REFIID, void** ppv) override { *ppv = nullptr; return E_FAIL; }
    // IPersistStreamInit
    STDMETHODIMP GetClassID(CLSID* clsid) override { *clsid = CLSID_FakeControl; return S_OK; }
    STDMETHODIMP IsDirty() override { return S_FALSE; }
    STDMETHODIMP Load(IStream*) override { return E_NOTIMPL; }
    STDMETHODIMP Save(IStream*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP InitNew() override { record("InitNew"); return S_OK; }
    // IRunnableObject
    STDMETHODIMP GetRunningClass(CLSID* clsid) override { *clsid = CLSID_FakeControl; return S_OK; }
    STDMETHODIMP Run(LPBINDCTX) override { return S_OK; }
    STDMETHODIMP_(BOOL) IsRunning() override { return TRUE; }
    STDMETHODIMP LockRunning(BOOL lock, BOOL) override {
        g_fake.running_locks += lock ? 1 : -1;
        return S_OK;
    }
    STDMETHODIMP SetContainedObject(BOOL) override { return S_OK; }

private:
    void activate_in_place(IOleClientSite* site, LPCRECT rect) {
        if (in_place_) return;
        IOleInPlaceSite* ip = nullptr;
        if (FAILED(site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&ip)))) return;
        if (ip->CanInPlaceActivate() != S_OK) { ip->Release(); return; }
        IOleInPlaceSiteEx* ex = nullptr;
        if (g_fake.options.use_activate_ex &&
            SUCCEEDED(ip->QueryInterface(IID_IOleInPlaceSiteEx, reinterpret_cast<void**>(&ex)))) {
            BOOL no_redraw = FALSE;
            ex->OnInPlaceActivateEx(&no_redraw, 0);
            ex->Release();
        } else {
            ip->OnInPlaceActivate();
        }
        IOleInPlaceFrame* frame = nullptr;
        IOleInPlaceUIWindow* doc = nullptr;
        RECT pos{}, clip{};
        g_fake.frame_info = OLEINPLACEFRAMEINFO{};
        g_fake.frame_info.cb = sizeof(OLEINPLACEFRAMEINFO);
        ip->GetWindowContext(&frame, &doc, &pos, &clip, &g_fake.frame_info);
        if (frame) frame->Release();
        if (doc) doc->Release();
        const RECT r = rect ? *rect : pos;
        window_ = CreateWindowExA(0, kChildClass, "fake", WS_CHILD | WS_VISIBLE, r.left, r.top,
                                  r.right - r.left, r.bottom - r.top, parent_,
                                  reinterpret_cast<HMENU>(77), GetModuleHandleA(nullptr), nullptr);
        g_fake.window = window_;
        ip_site_ = ip;
        in_place_ = true;
    }

    IOleClientSite* site_ = nullptr;
    IOleInPlaceSite* ip_site_ = nullptr;
    HWND parent_ = nullptr;
    HWND window_ = nullptr;
    bool in_place_ = false;
    SIZEL extent_{0, 0};
};

// Answers IUnknown only.
class NoOleObject final : public gn::implements<NoOleObject, gn::no_lock, IUnknown> {
public:
    NoOleObject() { ++g_fake.created; ++g_fake.alive; }
    ~NoOleObject() override { --g_fake.alive; }
};

template <class T>
class Factory final : public gn::implements<Factory<T>, gn::no_lock, IClassFactory> {
public:
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        return gn::create_instance<T>(outer, riid, ppv);
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

gn::com_ptr<IClassFactory> g_control_factory;
gn::com_ptr<IClassFactory> g_plain_factory;
DWORD g_cookies[2] = {};

}  // namespace

void register_fakes() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = child_proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kChildClass;
    RegisterClassA(&wc);
    g_control_factory = gn::make<Factory<FakeControl>>();
    g_plain_factory = gn::make<Factory<NoOleObject>>();
    CoRegisterClassObject(CLSID_FakeControl, g_control_factory.get(), CLSCTX_INPROC_SERVER,
                          REGCLS_MULTIPLEUSE, &g_cookies[0]);
    CoRegisterClassObject(CLSID_FakeNoOleObject, g_plain_factory.get(), CLSCTX_INPROC_SERVER,
                          REGCLS_MULTIPLEUSE, &g_cookies[1]);
}

void unregister_fakes() {
    CoRevokeClassObject(g_cookies[0]);
    CoRevokeClassObject(g_cookies[1]);
    g_control_factory.reset();
    g_plain_factory.reset();
}

void reset_fake(const FakeOptions& options) {
    g_fake.options = options;
    g_fake.apartment.reset();
    g_fake.expected = nullptr;
    g_fake.calls.clear();
    g_fake.child_messages.clear();
    g_fake.child_lparams.clear();
    g_fake.created = 0;
    g_fake.window = nullptr;
    g_fake.site = nullptr;
    g_fake.running_locks = 0;
    g_fake.frame_info = OLEINPLACEFRAMEINFO{};
}

int fake_call_index(const std::string& call) {
    for (size_t i = 0; i < g_fake.calls.size(); ++i)
        if (g_fake.calls[i] == call) return static_cast<int>(i);
    return -1;
}

bool fake_called(const std::string& call) { return fake_call_index(call) >= 0; }

}  // namespace hosttest
