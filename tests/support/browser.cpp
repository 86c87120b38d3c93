#include "support/browser.h"

#include <urlmon.h>

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
    frame_ = gn::make<gncontainer::Frame>(this, gncontainer::Frame::kind::frame);
    browser_ = gn::make<gncontainer::WebBrowser>(this);
    site_ = gn::make<gncontainer::Site>(this, frame_, browser_);
}

BrowserContainer::~BrowserContainer() {
    close();
    // Objects the document may still hold must not call back into a dead container.
    site_->detach();
    frame_->detach();
    browser_->detach();
    browser_->clear_properties();
    if (frame_hwnd_) DestroyWindow(frame_hwnd_);
    pump(0);
}

RECT BrowserContainer::view_rect() const {
    RECT rc{};
    GetClientRect(doc_hwnd_, &rc);
    return rc;
}

bool BrowserContainer::offers(REFIID riid) const {
    if (IsEqualIID(riid, IID_IOleDocumentSite)) return options_.document_site;
    if (IsEqualIID(riid, IID_IServiceProvider)) return options_.service_provider;
    if (IsEqualIID(riid, IID_IDispatch)) return options_.ambient_dispatch;
    return true;
}

HRESULT BrowserContainer::property_put(const std::wstring& name) {
    put_names.push_back(name);
    return name == L"MorvaneLauncher" ? options_.launcher_property_result : S_OK;
}

bool BrowserContainer::called(const std::string& name) const {
    return std::find(calls.begin(), calls.end(), name) != calls.end();
}

void BrowserContainer::pump(DWORD ms) {
    const DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            const DWORD began = GetTickCount();
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
            longest_dispatch_ms = std::max(longest_dispatch_ms, GetTickCount() - began);
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
    return ole->SetClientSite(static_cast<IOleClientSite*>(site_.get()));
}

HRESULT BrowserContainer::load(const wchar_t* url) {
    gn::com_ptr<IPersistMoniker> persist = document_.try_query<IPersistMoniker>();
    if (!persist) return E_NOINTERFACE;
    gn::com_ptr<IMoniker> moniker;
    RETURN_IF_FAILED(CreateURLMonikerEx(nullptr, url, moniker.put(), URL_MK_UNIFORM));
    gn::com_ptr<IBindCtx> bind_context;
    RETURN_IF_FAILED(CreateBindCtx(0, bind_context.put()));
    location_ = url;
    return persist->Load(FALSE, moniker.get(), bind_context.get(), STGM_READ);
}

HRESULT BrowserContainer::do_verb(LONG verb) {
    gn::com_ptr<IOleObject> ole = document_.try_query<IOleObject>();
    if (!ole) return E_NOINTERFACE;
    RECT rc = options_.view;
    return ole->DoVerb(verb, nullptr, static_cast<IOleClientSite*>(site_.get()), 0, doc_hwnd_, &rc);
}

HRESULT BrowserContainer::activate_me(IOleDocumentView* view) {
    gn::com_ptr<IOleDocumentView> v(view);
    if (!v) {
        gn::com_ptr<IOleDocument> doc = document_.try_query<IOleDocument>();
        if (!doc) return E_NOINTERFACE;
        create_view_result =
            doc->CreateView(static_cast<IOleInPlaceSiteEx*>(site_.get()),
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
