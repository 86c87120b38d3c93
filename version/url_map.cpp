// The per-user map from legacy document URLs to their successors.
#include "version/version_service.h"

STDMETHODIMP MorvaneVersion::Map6xUrlTo8(BSTR, BSTR) { return E_NOTIMPL; }
STDMETHODIMP MorvaneVersion::Clear6xUrlMap() { return E_NOTIMPL; }
