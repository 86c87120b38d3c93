#include "support/browser.h"

#include <urlmon.h>

#include "frame/interfaces.h"

#include <algorithm>

namespace gntest {

namespace {

const char kFrameClass[] = "GNTestBrowserFrame";

LRESULT CALLBACK frame_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return DefWindowProcA(hwnd, msg, wp, lp);
}

void register_frame_class() {
    static bool done = false;
    if (done) return;
    WNDCLASSA wc{};
    wc.lpfnWndProc = frame_proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kFrameClass;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassA(&wc);
    done = true;
}

}  // namespace

// The frame window object (and, as a second instance, the UI window object).
class BrowserFrame final : public IOleInPlaceFrame {
public:
    BrowserFrame(BrowserContainer* owner, const char* name, HWND hwnd)
        : owner_(owner), name_(name), hwnd_(hwnd) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleWindow) ||
            IsEqualIID(riid, IID_IOleInPlaceUIWindow) || IsEqualIID(riid, IID_IOleInPlaceFrame)) {
            *ppv = static_cast<IOleInPlaceFrame*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --refs_;
        if (!left) delete this;
        return left;
    }
    STDMETHODIMP GetWindow(HWND* phwnd) override {
        if (!phwnd) return E_POINTER;
        *phwnd = hwnd_;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override {
        record("SetBorderSpace");
        return S_OK;
    }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* active, LPCOLESTR) override {
        record("SetActiveObject");
        if (owner_) owner_->active_object = active;
        return S_OK;
    }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    BrowserContainer* owner_;

private:
    ~BrowserFrame() = default;
    void record(const char* what) {
        if (owner_) owner_->calls.push_back(std::string(name_) + "." + what);
    }
    const char* name_;
    HWND hwnd_;
    ULONG refs_ = 1;
};

// The document site: client site, document site, in-place site, control site,
// service provider and ambient properties in one object, as browsers do it.
class BrowserSite final : public IOleClientSite,
                          public IOleDocumentSite,
                          public IOleInPlaceSiteEx,
                          public IOleControlSite,
                          public IServiceProvider,
                          public IDispatch {
public:
    explicit BrowserSite(BrowserContainer* owner) : owner_(owner) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        const auto& o = owner_ ? owner_->options_ : BrowserContainer::Options{};
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite))
            *ppv = static_cast<IOleClientSite*>(this);
        else if (IsEqualIID(riid, IID_IOleDocumentSite) && o.document_site)
            *ppv = static_cast<IOleDocumentSite*>(this);
        else if (IsEqualIID(riid, IID_IOleInPlaceSite) || IsEqualIID(riid, IID_IOleInPlaceSiteEx) ||
                 IsEqualIID(riid, IID_IOleWindow))
            *ppv = static_cast<IOleInPlaceSiteEx*>(this);
        else if (IsEqualIID(riid, IID_IOleControlSite))
            *ppv = static_cast<IOleControlSite*>(this);
        else if (IsEqualIID(riid, IID_IServiceProvider) && o.service_provider)
            *ppv = static_cast<IServiceProvider*>(this);
        else if (IsEqualIID(riid, IID_IDispatch) && o.ambient_dispatch)
            *ppv = static_cast<IDispatch*>(this);
        if (!*ppv) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --refs_;
        if (!left) delete this;
        return left;
    }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP GetContainer(IOleContainer**) override { return E_NOINTERFACE; }
    STDMETHODIMP ShowObject() override { return record("ShowObject"), S_OK; }
    STDMETHODIMP OnShowWindow(BOOL show) override {
        return record(show ? "OnShowWindow(TRUE)" : "OnShowWindow(FALSE)"), S_OK;
    }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleDocumentSite
    STDMETHODIMP ActivateMe(IOleDocumentView* view) override {
        record("ActivateMe");
        return owner_ ? owner_->activate_me(view) : E_UNEXPECTED;
    }

    // IOleWindow
    STDMETHODIMP GetWindow(HWND* phwnd) override {
        if (!phwnd) return E_POINTER;
        *phwnd = owner_ ? owner_->doc_hwnd_ : nullptr;
        return *phwnd ? S_OK : E_FAIL;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite(Ex)
    STDMETHODIMP CanInPlaceActivate() override {
        record("CanInPlaceActivate");
        return owner_ ? owner_->options_.can_in_place_activate : S_OK;
    }
    STDMETHODIMP OnInPlaceActivate() override { return record("OnInPlaceActivate"), S_OK; }
    STDMETHODIMP OnUIActivate() override {
        record("OnUIActivate");
        return owner_ ? owner_->options_.on_ui_activate : S_OK;
    }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                  LPRECT pos, LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
        record("GetWindowContext");
        if (!frame || !doc || !pos || !clip || !info) return E_POINTER;
        *frame = nullptr;
        *doc = nullptr;
        if (!owner_) return E_UNEXPECTED;
        *frame = owner_->frame_;
        (*frame)->AddRef();
        if (owner_->options_.ui_window) *doc = new BrowserFrame(owner_, "UIWindow", owner_->doc_hwnd_);
        GetClientRect(owner_->doc_hwnd_, pos);
        *clip = *pos;
        info->fMDIApp = FALSE;
        info->hwndFrame = owner_->frame_hwnd_;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return record("OnUIDeactivate"), S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return record("OnInPlaceDeactivate"), S_OK; }
    STDMETHODIMP DiscardUndoState() override { return S_OK; }
    STDMETHODIMP DeactivateAndUndo() override { return S_OK; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }
    STDMETHODIMP OnInPlaceActivateEx(BOOL* no_redraw, DWORD) override {
        if (no_redraw) *no_redraw = FALSE;
        return OnInPlaceActivate();
    }
    STDMETHODIMP OnInPlaceDeactivateEx(BOOL) override { return OnInPlaceDeactivate(); }
    STDMETHODIMP RequestUIActivate() override { return S_OK; }

    // IOleControlSite
    STDMETHODIMP OnControlInfoChanged() override { return S_OK; }
    STDMETHODIMP LockInPlaceActive(BOOL) override { return S_OK; }
    STDMETHODIMP GetExtendedControl(IDispatch** pp) override {
        if (pp) *pp = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP TransformCoords(POINTL*, POINTF*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAccelerator(MSG*, DWORD modifiers) override {
        record("TranslateAccelerator(" + std::to_string(modifiers) + ")");
        return S_FALSE;
    }
    STDMETHODIMP OnFocus(BOOL) override { return S_OK; }
    STDMETHODIMP ShowPropertyFrame() override { return E_NOTIMPL; }

    // IServiceProvider
    STDMETHODIMP QueryService(REFGUID sid, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (owner_ && IsEqualGUID(sid, gn::SID_SWebBrowserApp) && owner_->browser_)
            return owner_->browser_->QueryInterface(riid, ppv);
        return E_NOINTERFACE;
    }

    // IDispatch: ambient properties; none are answered.
    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        if (n) *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                        UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }

    BrowserContainer* owner_;

private:
    ~BrowserSite() = default;
    void record(const std::string& what) {
        if (owner_) owner_->calls.push_back(what);
    }
    ULONG refs_ = 1;
};

BrowserContainer::BrowserContainer() : BrowserContainer(Options{}) {}

BrowserContainer::BrowserContainer(const Options& options) : options_(options) {
    register_frame_class();
    frame_hwnd_ = CreateWindowExA(0, kFrameClass, "GN test browser",
                                  WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN | WS_VISIBLE, 0, 0, 640,
                                  480, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    doc_hwnd_ = CreateWindowExA(0, kFrameClass, nullptr,
                                WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0,
                                options_.view.right, options_.view.bottom, frame_hwnd_, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    site_ = new BrowserSite(this);
    frame_ = new BrowserFrame(this, "Frame", frame_hwnd_);
    browser_ = new FakeWebBrowser();
    browser_->window = frame_hwnd_;
}

BrowserContainer::~BrowserContainer() {
    close();
    // Objects the document may still hold must not call back into a dead container.
    site_->owner_ = nullptr;
    frame_->owner_ = nullptr;
    browser_->clear_properties();
    site_->Release();
    frame_->Release();
    browser_->Release();
    if (frame_hwnd_) DestroyWindow(frame_hwnd_);
    pump(0);
}

bool BrowserContainer::called(const std::string& name) const {
    return std::find(calls.begin(), calls.end(), name) != calls.end();
}

void BrowserContainer::pump(DWORD ms) {
    const DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (ms) MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    } while (GetTickCount() - start < ms);
}

void BrowserContainer::attach(IUnknown* document) { document_.assign(document); }

HRESULT BrowserContainer::announce_mime_type(const wchar_t* mime) {
    gn::com_ptr<IMonikerProp> prop = document_.try_query<IMonikerProp>();
    if (!prop) return E_NOINTERFACE;
    return prop->PutProperty(MIMETYPEPROP, mime);
}

HRESULT BrowserContainer::set_client_site() {
    gn::com_ptr<IOleObject> ole = document_.try_query<IOleObject>();
    if (!ole) return E_NOINTERFACE;
    return ole->SetClientSite(static_cast<IOleClientSite*>(site_));
}

HRESULT BrowserContainer::load(const wchar_t* url) {
    gn::com_ptr<IPersistMoniker> persist = document_.try_query<IPersistMoniker>();
    if (!persist) return E_NOINTERFACE;
    gn::com_ptr<IMoniker> moniker;
    RETURN_IF_FAILED(CreateURLMonikerEx(nullptr, url, moniker.put(), URL_MK_UNIFORM));
    gn::com_ptr<IBindCtx> bind_context;
    RETURN_IF_FAILED(CreateBindCtx(0, bind_context.put()));
    browser_->location = url;
    return persist->Load(FALSE, moniker.get(), bind_context.get(), STGM_READ);
}

HRESULT BrowserContainer::do_verb(LONG verb) {
    gn::com_ptr<IOleObject> ole = document_.try_query<IOleObject>();
    if (!ole) return E_NOINTERFACE;
    RECT rc = options_.view;
    return ole->DoVerb(verb, nullptr, static_cast<IOleClientSite*>(site_), 0, doc_hwnd_, &rc);
}

HRESULT BrowserContainer::activate_me(IOleDocumentView* view) {
    gn::com_ptr<IOleDocumentView> v(view);
    if (!v) {
        gn::com_ptr<IOleDocument> doc = document_.try_query<IOleDocument>();
        if (!doc) return E_NOINTERFACE;
        create_view_result =
            doc->CreateView(static_cast<IOleInPlaceSite*>(static_cast<IOleInPlaceSiteEx*>(site_)),
                            nullptr, 0, v.put());
        if (FAILED(create_view_result)) return create_view_result;
    }
    view_ = v;
    RECT rc = options_.view;
    set_rect_result = view_->SetRect(&rc);
    show_result = options_.ui_activate ? view_->UIActivate(TRUE) : view_->Show(TRUE);
    return show_result;
}

void BrowserContainer::close() {
    if (view_) {
        view_->UIActivate(FALSE);
        view_->Show(FALSE);
        view_->CloseView(0);
        view_->SetInPlaceSite(nullptr);
        view_.reset();
    }
    if (document_) {
        if (gn::com_ptr<IOleObject> ole = document_.try_query<IOleObject>()) {
            ole->Close(OLECLOSE_NOSAVE);
            ole->SetClientSite(nullptr);
        }
        document_.reset();
    }
    pump(0);
}

HRESULT BrowserContainer::open(IUnknown* document, const wchar_t* url, const wchar_t* mime) {
    attach(document);
    if (mime) RETURN_IF_FAILED(announce_mime_type(mime));
    RETURN_IF_FAILED(set_client_site());
    if (url) RETURN_IF_FAILED(load(url));
    return do_verb(OLEIVERB_SHOW);
}

}  // namespace gntest
