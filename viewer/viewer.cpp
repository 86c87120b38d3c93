#include "viewer/viewer.h"

#include <commctrl.h>
#include <cstdio>
#include <urlmon.h>

#include "frame/window.h"
#include "viewer/resolve.h"

namespace gnviewer {

namespace {

const wchar_t kFrameClass[] = L"GNViewerFrame";
const wchar_t kAreaClass[] = L"GNViewerDocumentArea";
const UINT WM_APP_OPEN = WM_APP + 1;
const UINT WM_APP_NAVIGATE = WM_APP + 2;
const UINT_PTR kCloseTimer = 1;
const int kProgressSteps = 5;
const int kProgressWidth = 160;

Viewer* viewer_of(HWND hwnd) {
    return reinterpret_cast<Viewer*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

bool register_classes() {
    // The procedure is replaced per window once the object is known.
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    return gn::register_window_class(instance, kFrameClass, DefWindowProcW, 0,
                                     LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION))) &&
           gn::register_window_class(instance, kAreaClass, DefWindowProcW);
}

std::wstring hr_text(HRESULT hr) {
    const std::string text = hresult_text(hr);
    return std::wstring(text.begin(), text.end());
}

// Presses Cancel on a visible dialog of this thread.
BOOL CALLBACK cancel_dialog(HWND hwnd, LPARAM) {
    wchar_t name[16] = {};
    GetClassNameW(hwnd, name, ARRAYSIZE(name));
    if (lstrcmpW(name, L"#32770") == 0 && IsWindowVisible(hwnd))
        PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return TRUE;
}

bool is_directory_or_missing(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

Viewer::Viewer(const Options& options) : options_(options) {
    if (!options_.record_path.empty() && !record_.open(options_.record_path))
        std::fprintf(stderr, "gnviewer: cannot write the record %ls\n", options_.record_path.c_str());
    frame_object_ = gn::make<gncontainer::Frame>(this, gncontainer::Frame::kind::frame);
    browser_ = gn::make<gncontainer::WebBrowser>(this);
    site_ = gn::make<gncontainer::Site>(this, frame_object_, browser_);
    bind_callback_ = gn::make<BindCallback>(this, options_.user, options_.password);
}

Viewer::~Viewer() {
    close_document();
    // Objects a document may still hold must not call back into a dead viewer.
    site_->detach();
    if (bind_callback_) bind_callback_->detach();
    frame_object_->detach();
    browser_->detach();
    browser_->clear_properties();
    frame_object_->SetActiveObject(nullptr, nullptr);
    if (frame_) DestroyWindow(frame_);
}

RECT Viewer::view_rect() const {
    RECT rc{};
    if (area_) GetClientRect(area_, &rc);
    return rc;
}

bool Viewer::create_windows() {
    if (!register_classes()) return false;
    frame_ = CreateWindowExW(0, kFrameClass, L"GN Viewer", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                             CW_USEDEFAULT, CW_USEDEFAULT, 800, 600, nullptr, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    if (!frame_) return false;
    SetWindowLongPtrW(frame_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(frame_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Viewer::frame_proc));
    area_ = CreateWindowExW(0, kAreaClass, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                            0, 0, 0, 0, frame_, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!area_) return false;
    SetWindowLongPtrW(area_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(area_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Viewer::area_proc));
    status_bar_ = CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP,
                                  0, 0, 0, 0, frame_, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (status_bar_)
        progress_bar_ = CreateWindowExW(0, PROGRESS_CLASSW, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0,
                                        status_bar_, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (progress_bar_) SendMessageW(progress_bar_, PBM_SETRANGE32, 0, kProgressSteps);
    layout();
    return true;
}

void Viewer::layout() {
    if (!frame_) return;
    RECT client{};
    GetClientRect(frame_, &client);
    int status_height = 0;
    if (status_bar_) {
        SendMessageW(status_bar_, WM_SIZE, 0, 0);
        RECT sb{};
        GetWindowRect(status_bar_, &sb);
        status_height = sb.bottom - sb.top;
        int parts[2] = {client.right - kProgressWidth > 0 ? client.right - kProgressWidth : 0, -1};
        SendMessageW(status_bar_, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
        RECT part{};
        if (progress_bar_ && SendMessageW(status_bar_, SB_GETRECT, 1, reinterpret_cast<LPARAM>(&part)))
            MoveWindow(progress_bar_, part.left + 2, part.top + 2, part.right - part.left - 20,
                       part.bottom - part.top - 4, TRUE);
    }
    const int height = client.bottom - status_height > 0 ? client.bottom - status_height : 0;
    MoveWindow(area_, 0, 0, client.right, height, TRUE);
    if (view_) {
        RECT rc = view_rect();
        view_->SetRect(&rc);
    }
}

void Viewer::paint_area() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(area_, &ps);
    if (dc && !view_) {
        RECT rc = view_rect();
        rc.left += 16;
        rc.top += 16;
        SetBkMode(dc, TRANSPARENT);
        HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        for (const auto& line : message_) {
            RECT measured = rc;
            DrawTextW(dc, line.c_str(), -1, &measured, DT_LEFT | DT_NOPREFIX | DT_WORDBREAK | DT_CALCRECT);
            DrawTextW(dc, line.c_str(), -1, &rc, DT_LEFT | DT_NOPREFIX | DT_WORDBREAK);
            rc.top = measured.bottom + 4;
        }
        SelectObject(dc, old);
    }
    EndPaint(area_, &ps);
}

LRESULT CALLBACK Viewer::frame_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Viewer* self = viewer_of(hwnd);
    return self ? self->on_frame_message(msg, wp, lp) : DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK Viewer::area_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Viewer* self = viewer_of(hwnd);
    if (self && msg == WM_PAINT) {
        self->paint_area();
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT Viewer::on_frame_message(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_SIZE:
        layout();
        return 0;
    case WM_APP_OPEN:
        open_now(options_.target);
        return 0;
    case WM_APP_NAVIGATE: {
        if (opening_) return 0;  // taken up when the opening ends
        const std::wstring url = pending_url_;
        pending_url_.clear();
        if (url.empty()) return 0;
        close_document();
        open_now(url);
        return 0;
    }
    case WM_TIMER:
        if (wp == kCloseTimer) {
            KillTimer(frame_, kCloseTimer);
            record_.add("close_after_ms_elapsed");
            PostMessageW(frame_, WM_CLOSE, 0, 0);
        }
        return 0;
    case WM_SETFOCUS:
        if (view_) {
            if (gn::com_ptr<IOleWindow> window = view_.try_query<IOleWindow>()) {
                HWND doc = nullptr;
                if (SUCCEEDED(window->GetWindow(&doc)) && doc) SetFocus(doc);
            }
        }
        return 0;
    case WM_CLOSE:
        if (opening_) {
            // A document on the stack (say, in a dialog of its own) cannot be
            // torn down under itself: end its dialogs and close afterwards.
            close_pending_ = true;
            cancel_dialogs();
            return 0;
        }
        close_document();
        DestroyWindow(frame_);
        return 0;
    case WM_DESTROY:
        KillTimer(frame_, kCloseTimer);
        frame_ = nullptr;
        area_ = nullptr;
        status_bar_ = nullptr;
        progress_bar_ = nullptr;
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(frame_, msg, wp, lp);
}

int Viewer::run() {
    if (!create_windows()) {
        record_.add("error", std::string("the viewer window cannot be created"));
        return 3;
    }
    if (options_.close_after) {
        record_.add("close_after_ms", std::to_string(options_.close_after_ms));
        SetTimer(frame_, kCloseTimer, options_.close_after_ms ? options_.close_after_ms : 1, nullptr);
    }
    ShowWindow(frame_, SW_SHOWNORMAL);
    UpdateWindow(frame_);
    PostMessageW(frame_, WM_APP_OPEN, 0, 0);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        // The active document gets the keys first, as in a browser.
        bool taken = false;
        if (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST && frame_object_->active_object())
            taken = frame_object_->active_object()->TranslateAccelerator(&msg) == S_OK;
        if (taken) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    record_.add("exit", std::to_string(shown_ ? 0 : 1));
    return shown_ ? 0 : 1;
}

void Viewer::open_now(const std::wstring& target) {
    opening_ = true;
    shown_ = open(target);
    opening_ = false;
    if (close_pending_) {
        record_.add("close_deferred");
        PostMessageW(frame_, WM_CLOSE, 0, 0);
    } else if (!pending_url_.empty()) {
        PostMessageW(frame_, WM_APP_NAVIGATE, 0, 0);
    }
}

void Viewer::cancel_dialogs() {
    EnumThreadWindows(GetCurrentThreadId(), &cancel_dialog, 0);
}

void Viewer::status_text(const std::wstring& text, const char* from) {
    record_.add("status", std::string(from) + " " + to_utf8(text));
    if (status_bar_) SendMessageW(status_bar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Viewer::progress(int step, const wchar_t* text) {
    if (progress_bar_) {
        SendMessageW(progress_bar_, PBM_SETRANGE32, 0, kProgressSteps);
        SendMessageW(progress_bar_, PBM_SETPOS, step, 0);
    }
    status_text(text, "viewer");
}

void Viewer::download_step(unsigned percent, ULONG done, ULONG total) {
    if (!total) {
        record_.add("download_start");
        return;
    }
    record_.add("download", std::to_string(percent) + "% " + std::to_string(done) + " of " + std::to_string(total));
    if (progress_bar_) {
        SendMessageW(progress_bar_, PBM_SETRANGE32, 0, 100);
        SendMessageW(progress_bar_, PBM_SETPOS, percent, 0);
    }
    const std::wstring text = L"Downloading the document: " + std::to_wstring(percent) + L"% (" +
                              std::to_wstring(done / 1024) + L" KB of " + std::to_wstring(total / 1024) + L" KB)";
    if (status_bar_) SendMessageW(status_bar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Viewer::download_ended(HRESULT hr, const std::wstring& error) {
    record_.add("download_end", hresult_text(hr) + (error.empty() ? "" : " " + to_utf8(error)));
    if (progress_bar_) {
        SendMessageW(progress_bar_, PBM_SETRANGE32, 0, kProgressSteps);
        SendMessageW(progress_bar_, PBM_SETPOS, SUCCEEDED(hr) ? kProgressSteps : 0, 0);
    }
    const std::wstring text = SUCCEEDED(hr) ? L"Document downloaded" : L"Download failed: " + error;
    if (status_bar_) SendMessageW(status_bar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Viewer::bind_event(const std::string& what) { record_.add(what); }

bool Viewer::fail(const std::wstring& message) {
    record_.add("error", message);
    message_ = {L"The document cannot be shown.", message};
    if (!location_.empty()) message_.push_back(location_);
    if (progress_bar_) SendMessageW(progress_bar_, PBM_SETPOS, 0, 0);
    status_text(L"Error: " + message, "viewer");
    if (browser_) browser_->set_busy(false);
    if (area_) InvalidateRect(area_, nullptr, TRUE);
    return false;
}

bool Viewer::open(const std::wstring& target) {
    record_.add("target", target);
    message_.clear();
    location_.clear();
    progress(1, L"Finding the document type...");
    std::wstring url, type;
    if (!find_url_and_type(target, url, type)) return false;

    CLSID clsid{};
    const HRESULT hr = class_of_content_type(type, clsid);
    if (FAILED(hr)) return fail(L"no document handler is registered for the type " + type);
    record_.add("class", clsid_text(clsid));
    server_path_ = inproc_server_of(clsid);
    if (!server_path_.empty()) record_.add("server", server_path_);
    if (frame_) SetWindowTextW(frame_, (location_ + L" - GN Viewer").c_str());
    if (!drive_document(clsid, url, type)) return false;
    progress(kProgressSteps, L"Done");
    return true;
}

bool Viewer::find_url_and_type(const std::wstring& target, std::wstring& url, std::wstring& type) {
    switch (classify(target)) {
    case TargetKind::http: {
        if (!is_loopback_url(target))
            return fail(L"only documents on this machine's loopback address (127.0.0.1) are opened");
        url = location_ = target;
        const ServerAnswer answer = ask_server(target, options_.user, options_.password);
        if (FAILED(answer.hr)) return fail(L"the document server cannot be reached: " + answer.error);
        record_.add("http_status", std::to_string(answer.status));
        record_.add("content_type", answer.content_type);
        if (answer.status == 401) {
            // A login the viewer has not got (or that was refused): as a
            // browser, it lets the document's handler, chosen by the file
            // type, meet the refusal and show it.
            type = media_type(content_type_of_extension(extension_of(target)));
            if (type.empty()) return fail(L"the document server asks for a login (401)");
            record_.add("mime", to_utf8(type) + " (file type)");
            return true;
        }
        if (answer.status < 200 || answer.status > 299)
            return fail(L"the document server answered " + std::to_wstring(answer.status));
        type = media_type(answer.content_type);
        if (type.empty()) return fail(L"the document server gave no content type");
        record_.add("mime", to_utf8(type) + " (server)");
        return true;
    }
    case TargetKind::file_url:
    case TargetKind::path: {
        std::wstring path = target;
        if (classify(target) == TargetKind::file_url) {
            path = file_url_path(target);
            if (path.empty()) return fail(L"the file URL cannot be read");
        }
        wchar_t full[MAX_PATH];
        const DWORD n = GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
        if (n == 0 || n >= MAX_PATH) return fail(L"the file name cannot be used");
        if (is_directory_or_missing(full)) return fail(std::wstring(L"there is no file ") + full);
        url = location_ = file_url(full);
        const std::wstring ext = extension_of(full);
        type = media_type(content_type_of_extension(ext));
        if (type.empty()) return fail(L"no content type is registered for files of type " + (ext.empty() ? L"(none)" : ext));
        record_.add("mime", to_utf8(type) + " (file type)");
        return true;
    }
    case TargetKind::unsupported:
        break;
    }
    return fail(L"only http://, file:// URLs and file paths are opened");
}

bool Viewer::drive_document(const CLSID& clsid, const std::wstring& url, const std::wstring& type) {
    record_.add("url", url);
    browser_->set_busy(true);
    // The steps hold their interfaces only while they run, so that a failed
    // document is torn down with no reference of ours left on it.
    const std::wstring failure = [&]() -> std::wstring {
        progress(2, L"Creating the document object...");
        HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, document_.put_void());
        record_.add_hr("create", hr);
        if (FAILED(hr)) return L"the document object cannot be created (" + hr_text(hr) + L")";

        if (gn::com_ptr<IMonikerProp> prop = document_.try_query<IMonikerProp>())
            record_.add_hr("mimetypeprop", prop->PutProperty(MIMETYPEPROP, type.c_str()));
        gn::com_ptr<IOleObject> ole = document_.try_query<IOleObject>();
        if (!ole) return L"the document object is not an OLE object";
        hr = ole->SetClientSite(static_cast<IOleClientSite*>(site_.get()));
        record_.add_hr("client_site", hr);

        progress(3, L"Loading the document...");
        gn::com_ptr<IPersistMoniker> persist = document_.try_query<IPersistMoniker>();
        gn::com_ptr<IMoniker> moniker;
        gn::com_ptr<IBindCtx> bind_context;
        // The legacy form keeps the URL as given ("file://C:\dir\x.dzy"), which
        // is how the browser shell hands file URLs to a document.
        hr = persist ? CreateURLMonikerEx(nullptr, url.c_str(), moniker.put(), URL_MK_LEGACY) : E_NOINTERFACE;
        if (SUCCEEDED(hr)) hr = CreateBindCtx(0, bind_context.put());
        // The viewer's own callback, as a browser registers its own: the
        // document that downloads passes on its progress and asks it for a login.
        if (SUCCEEDED(hr) && bind_callback_)
            record_.add_hr("bind_callback", RegisterBindStatusCallback(bind_context.get(), bind_callback_.get(), nullptr, 0));
        if (SUCCEEDED(hr)) hr = persist->Load(FALSE, moniker.get(), bind_context.get(), STGM_READ);
        record_.add_hr("load", hr);
        if (FAILED(hr)) return L"the document cannot be loaded (" + hr_text(hr) + L")";

        progress(4, L"Activating the document...");
        RECT rc = view_rect();
        hr = ole->DoVerb(OLEIVERB_SHOW, nullptr, static_cast<IOleClientSite*>(site_.get()), 0, area_, &rc);
        record_.add_hr("activation", hr);
        if (FAILED(hr)) return L"the document cannot be activated (" + hr_text(hr) + L")";
        return L"";
    }();
    browser_->set_busy(false);
    if (failure.empty()) return true;
    close_document();
    return fail(failure);
}

HRESULT Viewer::activate_me(IOleDocumentView* view) {
    gn::com_ptr<IOleDocumentView> v(view);
    if (!v) {
        gn::com_ptr<IOleDocument> doc = document_.try_query<IOleDocument>();
        if (!doc) return E_NOINTERFACE;
        const HRESULT hr = doc->CreateView(static_cast<IOleInPlaceSiteEx*>(site_.get()),
                                           nullptr, 0, v.put());
        record_.add_hr("create_view", hr);
        if (FAILED(hr)) return hr;
        if (!v) return E_UNEXPECTED;
    }
    view_ = v;
    RECT rc = view_rect();
    record_.add_hr("set_rect", view_->SetRect(&rc));
    const HRESULT hr = view_->Show(TRUE);
    record_.add_hr("show", hr);
    if (area_) InvalidateRect(area_, nullptr, TRUE);
    return hr;
}

void Viewer::close_document() {
    if (!view_ && !document_) return;
    record_.add("close");
    if (gn::com_ptr<IOleDocumentView> view = std::move(view_)) {
        view->UIActivate(FALSE);
        view->Show(FALSE);
        view->CloseView(0);
        view->SetInPlaceSite(nullptr);
    }
    if (gn::com_ptr<IUnknown> document = std::move(document_)) {
        if (gn::com_ptr<IOleObject> ole = document.try_query<IOleObject>()) {
            ole->Close(OLECLOSE_NOSAVE);
            ole->SetClientSite(nullptr);
        }
    }
    // The property bag may hold the document (a browser drops it on navigation).
    browser_->clear_properties();
    frame_object_->SetActiveObject(nullptr, nullptr);
    browser_->set_busy(false);

    // Everything the document made should be gone with it: ask its server.
    if (!server_path_.empty()) {
        HMODULE module = GetModuleHandleW(server_path_.c_str());
        auto can_unload = module ? reinterpret_cast<HRESULT(WINAPI*)()>(
                                       reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")))
                                 : nullptr;
        if (can_unload) record_.add_hr("can_unload", can_unload());
    }
    if (area_) InvalidateRect(area_, nullptr, TRUE);
}

void Viewer::on_call(const std::string& what) {
    if (what == "ActivateMe") record_.add("activate_me");
}

HRESULT Viewer::property_put(const std::wstring& name) {
    record_.add("put_property", name);
    return S_OK;
}

void Viewer::property_get(const std::wstring& name, bool found) {
    record_.add("get_property", to_utf8(name) + (found ? "" : " (none)"));
}

void Viewer::navigate(const std::wstring& url) {
    record_.add("navigate", url);
    // Not now: the caller is inside the document that the navigation closes.
    pending_url_ = url;
    if (frame_) PostMessageW(frame_, WM_APP_NAVIGATE, 0, 0);
}

void Viewer::quit() {
    record_.add("quit");
    if (frame_) PostMessageW(frame_, WM_CLOSE, 0, 0);
}

}  // namespace gnviewer
