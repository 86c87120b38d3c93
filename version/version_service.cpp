#include "version/version_service.h"

namespace gn {
typeinfo_cache version_typeinfo(IID_IMorvaneVersion);
}

const gn::interface_entry* MorvaneVersion::interfaces() {
    static const gn::interface_entry table[] = {
        GN_INTERFACE(MorvaneVersion, IMorvaneVersion),
        GN_INTERFACE_AS(MorvaneVersion, IID_IDispatch, IMorvaneVersion),
        {},
    };
    return table;
}

HRESULT MorvaneVersion::create(IUnknown* outer, REFIID riid, void** ppv) {
    return gn::create_instance<MorvaneVersion>(outer, riid, ppv);
}
