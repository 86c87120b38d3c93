// The launcher's document-view part: the sites the browser gives the
// document and its one view, the view's place and size, and the one in-place
// activation sequence (site, frame, window and rectangles).
//
// The interfaces themselves (IOleObject, IOleDocument(View), the in-place
// ones) are the launcher's; their bodies in view.cpp work on this state.
#pragma once

#include "frame/com.h"
#include "frame/window.h"

#include <docobj.h>
#include <ocidl.h>

class MorvaneLauncher;

// The launcher window's object is this part's base: its handle is held there once.
class DocumentView : public gn::window_impl<MorvaneLauncher> {
public:
    DocumentView(const DocumentView&) = delete;
    DocumentView& operator=(const DocumentView&) = delete;

protected:
    // What starts an activation.
    enum class Activation {
        // A verb of the view (Show, UIActivate): in-place activation is
        // negotiated with the site first, and the window made when missing.
        Verb,
        // The launcher window has just been made while in-place active. Here
        // the window also takes the focus when UI-activated, and frame and
        // document window are told that it needs no border space.
        Window,
    };

    DocumentView() noexcept : hWnd(window_handle()) {}
    ~DocumentView() = default;

    // The object's in-place active object, handed to frame and document window.
    virtual IOleInPlaceActiveObject* ActiveObject() noexcept = 0;
    // Makes the launcher window, a child of parent at pos.
    virtual void CreateViewWindow(HWND parent, const RECT& pos) noexcept = 0;

    // In-place (and, for some verbs, UI) activation. verb is the OLEIVERB_*
    // of an Activation::Verb; the window's activation always UI-activates.
    HRESULT Activate(Activation from, LONG verb) noexcept;
    // Moves the window to pos, clipped to clip (IOleInPlaceObject::SetObjectRects).
    void PlaceView(const RECT& pos, const RECT& clip) noexcept;
    // Takes the client site and the interfaces asked of it once.
    void SetSites(IOleClientSite* site) noexcept;

    gn::com_ptr<IOleClientSite> pClientSite;
    gn::com_ptr<IOleDocumentSite> pDocSite;   // the client site as a document site
    gn::com_ptr<IDispatch> pAmbientDispatch;  // the client site's ambient properties
    gn::com_ptr<IOleInPlaceSite> pInPlaceSite;
    gn::com_ptr<IOleInPlaceFrame> pInPlaceFrame;  // held while in-place active
    gn::com_ptr<IOleAdviseHolder> pOleAdviseHolder;
    SIZEL sizeExtent{5080, 5080};  // HIMETRIC
    RECT rcPos{};                  // pixels
    const HWND& hWnd;              // the launcher window: the window object's handle
    bool bInPlaceActive = false;
    bool bUIActive = false;
    bool bUsingWindowRgn = false;
};
