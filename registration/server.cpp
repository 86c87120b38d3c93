// DllRegisterServer and DllUnregisterServer.
#include "registration/registrar.h"

namespace gn {
HRESULT register_launcher_script(bool) { return E_NOTIMPL; }
HRESULT register_version_script(bool) { return E_NOTIMPL; }
}  // namespace gn

extern "C" HRESULT WINAPI DllRegisterServer() { return E_NOTIMPL; }
extern "C" HRESULT WINAPI DllUnregisterServer() { return E_NOTIMPL; }
