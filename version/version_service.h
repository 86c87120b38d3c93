// MorvaneVersion: the scriptable version service.
#pragma once

#include "frame/com.h"
#include "frame/dispatch.h"
#include "frame/interfaces.h"
#include "frame/object.h"

namespace gn {
extern typeinfo_cache version_typeinfo;
}

class MorvaneVersion final
    : public gn::implements<MorvaneVersion, gn::aggregatable,
                            gn::dispatch_impl<IMorvaneVersion, gn::version_typeinfo>,
                            gn::alias<IDispatch, IMorvaneVersion>> {
public:
    // Instance creator of the class table (plain or aggregated).
    static HRESULT create(IUnknown* outer, REFIID riid, void** ppv);

    // IMorvaneVersion
    STDMETHODIMP GetClientVersion(BSTR* pVer) override;
    STDMETHODIMP Map6xUrlTo8(BSTR sOldURL, BSTR sNewURL) override;
    STDMETHODIMP Clear6xUrlMap() override;
};
