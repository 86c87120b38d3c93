// A browser-like container for active documents, for tests: a top-level frame
// window with the shared container's site, frame and browser objects. It
// drives a document object the way a browser does and records what the
// object asks of it.
#pragma once

#include <windows.h>
#include <docobj.h>
#include <ocidl.h>

#include <string>
#include <vector>

#include "frame/com.h"
#include "support/expect.h"
#include "viewer/container/site.h"

namespace gntest {

class BrowserContainer final : public gncontainer::Host {
public:
    struct Options {
        bool document_site = true;       // the client site answers IOleDocumentSite
        bool ambient_dispatch = true;    // the client site answers IDispatch
        bool service_provider = true;    // the client site answers IServiceProvider
        bool ui_activate = false;        // ActivateMe shows with UIActivate(TRUE), not Show(TRUE)
        bool ui_window = true;           // GetWindowContext hands out a UI window object
        HRESULT can_in_place_activate = S_OK;
        HRESULT on_ui_activate = S_OK;
        HRESULT launcher_property_result = S_OK;  // what PutProperty("MorvaneLauncher") returns
        RECT view{0, 0, 400, 300};       // the view rectangle given with SetRect
    };

    BrowserContainer();
    explicit BrowserContainer(const Options& options);
    virtual ~BrowserContainer();
    BrowserContainer(const BrowserContainer&) = delete;
    BrowserContainer& operator=(const BrowserContainer&) = delete;

    // Takes the document object (the container holds one reference until close()).
    void attach(IUnknown* document);
    // IMonikerProp(MIMETYPEPROP).
    HRESULT announce_mime_type(const wchar_t* mime);
    // IOleObject::SetClientSite(site).
    HRESULT set_client_site();
    // IPersistMoniker::Load with a URL moniker and a fresh bind context.
    HRESULT load(const wchar_t* url);
    // IOleObject::DoVerb(verb), which makes the document call ActivateMe; the
    // site then creates the view, places it and shows it.
    HRESULT do_verb(LONG verb = OLEIVERB_SHOW);
    // The teardown a browser runs: UIActivate(FALSE), Show(FALSE), CloseView,
    // SetInPlaceSite(NULL), Close, SetClientSite(NULL), final release.
    void close();
    // The whole opening sequence: attach, MIME type, client site, load, DoVerb(SHOW).
    HRESULT open(IUnknown* document, const wchar_t* url, const wchar_t* mime);

    // Pumps messages until pred holds or the time runs out.
    template <class Pred>
    bool pump_until(Pred pred, DWORD timeout_ms = 10000);
    void pump(DWORD ms);
    // The longest single message dispatch pump() has seen, in ms.
    DWORD longest_dispatch_ms = 0;

    IOleDocumentView* view() const { return view_.get(); }
    IUnknown* document() const { return document_.get(); }
    gncontainer::WebBrowser* web_browser() const { return browser_.get(); }
    IOleInPlaceActiveObject* active_object() const { return frame_->active_object(); }
    Options& options() { return options_; }

    // Calls the document made on the sites, in order ("ActivateMe", "OnUIActivate", ...).
    std::vector<std::string> calls;
    std::vector<std::wstring> put_names;  // every PutProperty name, in order
    Expectations* expected = nullptr;     // when set, every call is checked against it
    bool called(const std::string& name) const;

    // gncontainer::Host
    HWND frame_window() const override { return frame_hwnd_; }
    HWND document_window() const override { return doc_hwnd_; }
    RECT view_rect() const override;
    HRESULT activate_me(IOleDocumentView* view) override;
    std::wstring location() const override { return location_; }
    void on_call(const std::string& what) override {
        apartment_.check(what);
        calls.push_back(what);
        if (expected) expected->call(what);
    }
    bool offers(REFIID riid) const override;
    HRESULT can_in_place_activate() override { return options_.can_in_place_activate; }
    HRESULT on_ui_activate() override { return options_.on_ui_activate; }
    bool ui_window() const override { return options_.ui_window; }
    HRESULT property_put(const std::wstring& name) override;
    // Results the container saw while activating.
    HRESULT create_view_result = E_PENDING;
    HRESULT show_result = E_PENDING;
    HRESULT set_rect_result = E_PENDING;

private:
    ApartmentThread apartment_;
    Options options_;
    HWND frame_hwnd_ = nullptr;
    HWND doc_hwnd_ = nullptr;
    std::wstring location_;
    gn::com_ptr<gncontainer::Frame> frame_;
    gn::com_ptr<gncontainer::WebBrowser> browser_;
    gn::com_ptr<gncontainer::Site> site_;
    gn::com_ptr<IUnknown> document_;
    gn::com_ptr<IOleDocumentView> view_;
};

template <class Pred>
bool BrowserContainer::pump_until(Pred pred, DWORD timeout_ms) {
    const DWORD start = GetTickCount();
    while (!pred()) {
        if (GetTickCount() - start > timeout_ms) return false;
        pump(10);
    }
    return true;
}

}  // namespace gntest
