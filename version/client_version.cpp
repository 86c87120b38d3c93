// The installed current client's file version.
#include "version/version_service.h"

STDMETHODIMP MorvaneVersion::GetClientVersion(BSTR* pVer) {
    RETURN_HR_IF(E_POINTER, !pVer);
    *pVer = nullptr;
    return E_NOTIMPL;
}
