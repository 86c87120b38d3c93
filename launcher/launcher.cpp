#include "launcher/launcher.h"

namespace gn {
typeinfo_cache launcher_typeinfo(IID_ILauncher);
}

MorvaneLauncher::MorvaneLauncher() noexcept = default;

MorvaneLauncher::~MorvaneLauncher() {
    // The module lock goes back last, in the object base's destructor. The
    // download ends with its document: a transfer still running is aborted
    // and its file deleted now, whoever still holds the binding.
    pInPlaceFrame.reset();
    pDocSite.reset();
    DropTransfer();
    pSink.reset();
    pWebBrowser.reset();
    if (hWnd && IsWindow(hWnd)) DestroyWindow(hWnd);
}

HRESULT MorvaneLauncher::create(IUnknown* outer, REFIID riid, void** ppv) {
    return gn::create_instance<MorvaneLauncher>(outer, riid, ppv);
}
