// The viewer application: a top-level window with a document area and a
// status bar, that opens one URL or file as an active document the way a
// browser does and tears it down when the window closes.
#pragma once

#include <windows.h>
#include <docobj.h>

#include <string>
#include <vector>

#include "frame/com.h"
#include "viewer/bind_callback.h"
#include "viewer/container/site.h"
#include "viewer/record.h"
#include "viewer/viewer_text.h"

namespace gnviewer {

class Viewer final : public gncontainer::Host, public BindListener {
public:
    explicit Viewer(const Options& options);
    ~Viewer();
    Viewer(const Viewer&) = delete;
    Viewer& operator=(const Viewer&) = delete;

    // Shows the window, opens the target and runs the message loop until the
    // window is closed. 0: the document was shown; 1: it could not be; 3: no window.
    int run();

    // gncontainer::Host
    HWND frame_window() const override { return frame_; }
    HWND document_window() const override { return area_; }
    RECT view_rect() const override;
    std::wstring location() const override { return location_; }
    void on_call(const std::string& what) override;
    void status_text(const std::wstring& text, const char* from) override;
    HRESULT activate_me(IOleDocumentView* view) override;
    void navigate(const std::wstring& url) override;
    void quit() override;
    HRESULT property_put(const std::wstring& name) override;
    void property_get(const std::wstring& name, bool found) override;

    // BindListener: the document's download, as told to the viewer's bind callback.
    void download_step(unsigned percent, ULONG done, ULONG total) override;
    void download_ended(HRESULT hr, const std::wstring& error) override;
    void bind_event(const std::string& what) override;

private:
    static LRESULT CALLBACK frame_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK area_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT on_frame_message(UINT msg, WPARAM wp, LPARAM lp);
    bool create_windows();
    void layout();
    void paint_area();

    // Opening: finds the URL, type and class of a target, then drives the
    // document through creation, load and activation. False on the first failure.
    bool open(const std::wstring& target);
    // open() with close and navigation requests that arrive meanwhile (from a
    // nested message loop) held back until it returns.
    void open_now(const std::wstring& target);
    void cancel_dialogs();
    bool find_url_and_type(const std::wstring& target, std::wstring& url, std::wstring& type);
    bool drive_document(const CLSID& clsid, const std::wstring& url, const std::wstring& type);
    // Tears the document down as a browser does and checks its server can unload.
    void close_document();
    bool fail(const std::wstring& message);
    void progress(int step, const wchar_t* text);

    Options options_;
    Record record_;
    HWND frame_ = nullptr;
    HWND area_ = nullptr;
    HWND status_bar_ = nullptr;
    HWND progress_bar_ = nullptr;
    gn::com_ptr<gncontainer::Frame> frame_object_;
    gn::com_ptr<gncontainer::WebBrowser> browser_;
    gn::com_ptr<gncontainer::Site> site_;
    gn::com_ptr<BindCallback> bind_callback_;
    gn::com_ptr<IUnknown> document_;
    gn::com_ptr<IOleDocumentView> view_;
    std::wstring location_;
    std::wstring server_path_;   // the document class's in-process server
    std::vector<std::wstring> message_;  // shown in the document area when there is no document
    std::wstring pending_url_;
    bool shown_ = false;
    bool opening_ = false;
    bool close_pending_ = false;
};

}  // namespace gnviewer
