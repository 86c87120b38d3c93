#include "version/version_service.h"

namespace gn {
typeinfo_cache version_typeinfo(IID_IMorvaneVersion);
}

HRESULT MorvaneVersion::create(IUnknown* outer, REFIID riid, void** ppv) {
    return gn::create_instance<MorvaneVersion>(outer, riid, ppv);
}
