// What a browser container's objects (site, frame, browser object) ask of
// the application that owns them. The objects hold a plain pointer that the
// owner clears (detach) before it goes away, so a document that keeps a
// reference past the owner's end finds a harmless object.
#pragma once

#include <windows.h>
#include <docobj.h>

#include <string>

namespace gncontainer {

class Host {
public:
    virtual HWND frame_window() const = 0;
    virtual HWND document_window() const = 0;
    // Where the document view sits, in document-window coordinates.
    virtual RECT view_rect() const = 0;
    // The document asks for a view to be created and shown.
    virtual HRESULT activate_me(IOleDocumentView* view) = 0;
    virtual std::wstring location() const { return {}; }

    // Every call the document makes on the site and frame objects, by name
    // ("ActivateMe", "OnUIActivate", "Frame.SetActiveObject", ...).
    virtual void on_call(const std::string& what) { (void)what; }
    // Whether the site answers riid beyond IOleClientSite and the in-place
    // interfaces (IOleDocumentSite, IServiceProvider, IDispatch).
    virtual bool offers(REFIID riid) const { (void)riid; return true; }
    virtual HRESULT can_in_place_activate() { return S_OK; }
    virtual HRESULT on_ui_activate() { return S_OK; }
    // GetWindowContext hands out a UI window object besides the frame.
    virtual bool ui_window() const { return false; }

    // Status text from the document: from says which call brought it.
    virtual void status_text(const std::wstring& text, const char* from) { (void)text; (void)from; }
    // The document (or a control in it) asks the browser to navigate / to quit.
    virtual void navigate(const std::wstring& url) { (void)url; }
    virtual void quit() {}
    // A property was stored in the browser object; the result is PutProperty's.
    virtual HRESULT property_put(const std::wstring& name) { (void)name; return S_OK; }
    virtual void property_get(const std::wstring& name, bool found) { (void)name; (void)found; }

protected:
    ~Host() = default;
};

}  // namespace gncontainer
