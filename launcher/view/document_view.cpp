// The document view's state and its in-place activation.
#include "launcher/view/document_view.h"

void DocumentView::SetSites(IOleClientSite* site) noexcept {
    pDocSite = gn::try_query<IOleDocumentSite>(site);
    pClientSite.assign(site);
    pAmbientDispatch = gn::try_query<IDispatch>(site);
}

HRESULT DocumentView::Activate(Activation from, LONG verb) noexcept {
    const bool from_window = from == Activation::Window;
    // Activation needs the view's site; a browser that shows the view before
    // giving it one gets an error rather than a half-active document. The
    // window of a launcher without sites has nothing to activate.
    if (from_window && !pClientSite) return S_OK;
    if (!pInPlaceSite) return from_window ? S_OK : E_UNEXPECTED;
    gn::com_ptr<IOleInPlaceSite> site = pInPlaceSite;
    if (!bInPlaceActive) {
        RETURN_IF_FAILED(site->CanInPlaceActivate());
        site->OnInPlaceActivate();
    }
    bInPlaceActive = true;

    gn::com_ptr<IOleInPlaceUIWindow> ui_window;
    HWND parent = nullptr;
    if (site->GetWindow(&parent) == S_OK) {
        RECT pos{}, clip{};
        OLEINPLACEFRAMEINFO info{};
        info.cb = sizeof info;
        site->GetWindowContext(pInPlaceFrame.put(), ui_window.put(), &pos, &clip, &info);
        rcPos = pos;
        if (hWnd) {
            ShowWindow(hWnd, SW_SHOW);
            SetFocus(hWnd);
        } else {
            CreateViewWindow(parent, pos);
        }
        PlaceView(pos, clip);
    }

    const bool ui_verb = verb == OLEIVERB_UIACTIVATE || verb == OLEIVERB_PRIMARY;
    const bool no_ambient =
        !pAmbientDispatch && (verb == OLEIVERB_INPLACEACTIVATE || verb == OLEIVERB_UIACTIVATE ||
                              verb == OLEIVERB_SHOW || verb == OLEIVERB_PRIMARY);
    if ((from_window || ui_verb || no_ambient) && !bUIActive) {
        bUIActive = true;
        // A container may decline UI activation (Wine's browser shell does):
        // the document stays in-place active without its menus.
        RETURN_IF_FAILED_EXPECTED(site->OnUIActivate());
        if (from_window) SetFocus(hWnd);
        IOleInPlaceActiveObject* active = ActiveObject();
        for (IOleInPlaceUIWindow* window :
             {static_cast<IOleInPlaceUIWindow*>(pInPlaceFrame.get()), ui_window.get()}) {
            if (!window) continue;
            window->SetActiveObject(active, nullptr);
            if (from_window) window->SetBorderSpace(nullptr);
        }
    }
    if (pClientSite) pClientSite->ShowObject();
    return S_OK;
}

void DocumentView::PlaceView(const RECT& pos, const RECT& clip) noexcept {
    rcPos = pos;
    if (!hWnd) return;
    // Clip the window to the visible part of the position rectangle.
    RECT visible{};
    IntersectRect(&visible, &pos, &clip);
    if (!EqualRect(&visible, &pos)) {
        OffsetRect(&visible, -pos.left, -pos.top);
        HRGN region = CreateRectRgnIndirect(&visible);
        if (region && !SetWindowRgn(hWnd, region, TRUE)) DeleteObject(region);
        bUsingWindowRgn = region != nullptr;
    } else if (bUsingWindowRgn) {
        SetWindowRgn(hWnd, nullptr, TRUE);
        bUsingWindowRgn = false;
    }
    // A window already at the position stays: moving it there would change
    // nothing, and costs a call to the window server (activation places a
    // new window from its creation message and again after it).
    RECT placed{};
    GetWindowRect(hWnd, &placed);
    MapWindowPoints(nullptr, GetParent(hWnd), reinterpret_cast<POINT*>(&placed), 2);
    if (!EqualRect(&placed, &pos))
        SetWindowPos(hWnd, nullptr, pos.left, pos.top, pos.right - pos.left, pos.bottom - pos.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
}
