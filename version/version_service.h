// MorvaneVersion: the scriptable version service.
#pragma once

#include "frame/com.h"
#include "frame/dispatch.h"
#include "frame/interfaces.h"
#include "frame/object.h"

namespace gn {
extern typeinfo_cache version_typeinfo;
}

class MorvaneVersion final : public gn::com_object<MorvaneVersion>,
                             public gn::dispatch_impl<IMorvaneVersion, gn::version_typeinfo> {
public:
    GN_COM_IUNKNOWN
    static const gn::interface_entry* interfaces();

    // Instance creator of the class table (plain or aggregated).
    static HRESULT create(IUnknown* outer, REFIID riid, void** ppv);

    // IMorvaneVersion
    STDMETHODIMP GetClientVersion(BSTR* pVer) override;
    STDMETHODIMP Map6xUrlTo8(BSTR sOldURL, BSTR sNewURL) override;
    STDMETHODIMP Clear6xUrlMap() override;
};
