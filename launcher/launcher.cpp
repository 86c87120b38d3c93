#include "launcher/launcher.h"

namespace gn {
typeinfo_cache launcher_typeinfo(IID_ILauncher);
}

MorvaneLauncher::MorvaneLauncher() noexcept = default;

MorvaneLauncher::~MorvaneLauncher() {
    // The module lock goes back last, in the object base's destructor. A
    // running download is not aborted here; closing the document does that.
    pInPlaceFrame.reset();
    pDocSite.reset();
    tempFile.Discard();
    pSink.reset();
    pWebBrowser.reset();
    if (hWnd && IsWindow(hWnd)) DestroyWindow(hWnd);
}

HRESULT MorvaneLauncher::create(IUnknown* outer, REFIID riid, void** ppv) {
    return gn::create_instance<MorvaneLauncher>(outer, riid, ppv);
}
