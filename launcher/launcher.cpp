#include "launcher/launcher.h"

namespace gn {
typeinfo_cache launcher_typeinfo(IID_ILauncher);
}

MorvaneLauncher::MorvaneLauncher() noexcept {
    // The control base starts with 5080 x 5080 HIMETRIC extents, window-only,
    // recompose-on-resize and resize-natural (LauncherControlState's defaults).
    sError = SysAllocString(L"");
}

MorvaneLauncher::~MorvaneLauncher() {
    // The module lock goes back last, in com_object's destructor.
    pBinding.reset();  // a running download is not aborted here; closing the document does that
    pInPlaceFrame.reset();
    pDocSite.reset();
    tempFile.Discard();
    SysFreeString(sMimeType);
    SysFreeString(sURL);
    SysFreeString(sError);
    sMimeType = sURL = sError = nullptr;
    pSink.reset();
    pWebBrowser.reset();

    if (ctl.hWnd && IsWindow(ctl.hWnd)) DestroyWindow(ctl.hWnd);
    ctl.hWnd = nullptr;
    ctl.pAmbientDispatch.reset();
    ctl.pAdviseSink.reset();
    ctl.pClientSite.reset();
    ctl.pOleAdviseHolder.reset();
    ctl.pDataAdviseHolder.reset();
    ctl.pInPlaceSite.reset();
}

const gn::interface_entry* MorvaneLauncher::interfaces() {
    static const gn::interface_entry table[] = {
        GN_INTERFACE(MorvaneLauncher, ILauncher),
        GN_INTERFACE_AS(MorvaneLauncher, IID_IDispatch, ILauncher),
        GN_INTERFACE(MorvaneLauncher, IOleControl),
        GN_INTERFACE(MorvaneLauncher, IOleObject),
        GN_INTERFACE(MorvaneLauncher, IOleInPlaceObjectWindowless),
        GN_INTERFACE_AS(MorvaneLauncher, IID_IOleInPlaceObject, IOleInPlaceObjectWindowless),
        GN_INTERFACE_AS(MorvaneLauncher, IID_IOleWindow, IOleInPlaceObjectWindowless),
        GN_INTERFACE(MorvaneLauncher, IOleInPlaceActiveObject),
        GN_INTERFACE(MorvaneLauncher, IPersistMoniker),
        GN_INTERFACE(MorvaneLauncher, IMonikerProp),
        GN_INTERFACE(MorvaneLauncher, IBindStatusCallback),
        GN_INTERFACE(MorvaneLauncher, IOleDocument),
        GN_INTERFACE(MorvaneLauncher, IOleDocumentView),
        GN_INTERFACE(MorvaneLauncher, ILauncherAdvise),
        {},
    };
    return table;
}

HRESULT MorvaneLauncher::create(IUnknown* outer, REFIID riid, void** ppv) {
    return gn::create_instance<MorvaneLauncher>(outer, riid, ppv);
}
