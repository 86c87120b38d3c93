// What the viewer's container objects (site, frame, browser object) ask of
// the viewer window. The objects hold a plain pointer that the viewer clears
// before it goes away, so a document that keeps a reference to one of them
// past the viewer's end finds a harmless object.
#pragma once

#include <windows.h>
#include <docobj.h>

#include <string>

#include "viewer/record.h"

namespace gnviewer {

class ViewerHost {
public:
    virtual HWND frame_window() const = 0;
    virtual HWND document_window() const = 0;
    virtual RECT view_rect() const = 0;
    virtual const std::wstring& location() const = 0;
    virtual Record& record() = 0;
    // Status text from the document: from says which call brought it.
    virtual void status_text(const std::wstring& text, const char* from) = 0;
    // The document asks for a view to be created and shown.
    virtual HRESULT activate_me(IOleDocumentView* view) = 0;
    // The document (or a control in it) asks the browser to navigate / to quit.
    virtual void navigate(const std::wstring& url) = 0;
    virtual void quit() = 0;

protected:
    ~ViewerHost() = default;
};

}  // namespace gnviewer
