// MorvaneVersion: the scriptable version service.
#pragma once

#include <objsafe.h>

#include "frame/com.h"
#include "frame/dispatch.h"
#include "frame/interfaces.h"
#include "frame/object.h"
#include "version/site_text.h"

// The toolchain's objsafe.h names no identifier for __uuidof.
#ifndef GN_IOBJECTSAFETY_UUID
#define GN_IOBJECTSAFETY_UUID
__CRT_UUID_DECL(IObjectSafety, 0xcb5bdc81, 0x93c1, 0x11cf, 0x8f, 0x20, 0x00, 0x80, 0x5f, 0x2c, 0xd0,
                0x64)
#endif

namespace gn {
extern typeinfo_cache version_typeinfo;
}

class MorvaneVersion final
    : public gn::implements<MorvaneVersion, gn::aggregatable,
                            gn::dispatch_impl<IMorvaneVersion, gn::version_typeinfo>,
                            gn::alias<IDispatch, IMorvaneVersion>, IObjectWithSite,
                            IObjectSafety> {
public:
    // Instance creator of the class table (plain or aggregated).
    static HRESULT create(IUnknown* outer, REFIID riid, void** ppv);

    // IMorvaneVersion
    STDMETHODIMP GetClientVersion(BSTR* pVer) override;
    STDMETHODIMP Map6xUrlTo8(BSTR sOldURL, BSTR sNewURL) override;
    STDMETHODIMP Clear6xUrlMap() override;

    // IObjectWithSite: the container's site tells which page scripts the object.
    STDMETHODIMP SetSite(IUnknown* site) override;  // holds a reference to site
    STDMETHODIMP GetSite(REFIID riid, void** ppv) override;

    // IObjectSafety: safe for untrusted callers and data on its scripting interfaces.
    STDMETHODIMP GetInterfaceSafetyOptions(REFIID riid, DWORD* supported,
                                           DWORD* enabled) override;
    STDMETHODIMP SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) override;

private:
    // The rights of the page behind the current site, as it stands now.
    gn::page_rights site_rights() const noexcept;
    // The rights of the caller: the page's, never more than the object held
    // on earlier pages, widened only by the administrator's AllowAllSites.
    gn::page_rights identify_caller() noexcept;
    // Whether a page allowed only its own host may clear the mapping named name.
    static bool may_clear(const gn::page_rights& who, const wchar_t* name, DWORD length) noexcept;

    gn::com_ptr<IUnknown> site_;
    DWORD safety_ = 0;
    bool untrusted_ = false;  // the host once marked the caller untrusted
    gn::page_rights held_;    // the most this object may still do to the map
};
