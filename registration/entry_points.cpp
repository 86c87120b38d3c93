// DllRegisterServer and DllUnregisterServer: the module stage (class scripts,
// categories, type library), then the document and data-file types; or, when
// the other flavor stays registered, only what this registry view holds.
#include <olectl.h>

#include "frame/com.h"
#include "frame/log.h"
#include "frame/module.h"
#include "registration/registrar.h"
#include "registration/stages.h"

namespace gn {

namespace {

// COM for the category manager and the type library, when the caller has
// not started it on this thread.
class com_scope {
public:
    com_scope() : hr_(CoInitialize(nullptr)) {}
    ~com_scope() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    com_scope(const com_scope&) = delete;
    com_scope& operator=(const com_scope&) = delete;
private:
    HRESULT hr_;
};

}  // namespace

}  // namespace gn

extern "C" HRESULT WINAPI DllRegisterServer() {
    gn::com_scope com;
    LogPrint(0, "Start registration");
    // A module whose path the platform cannot give, or whose type library
    // cannot be loaded from there, fails before anything is written.
    gn::unique_cotaskmem<wchar_t> path;
    if (FAILED(gn::registration_path(_Module.module_instance(), path.put())) ||
        FAILED(gn::check_type_library())) {
        LogPrint(0, "_Module.RegisterServer() failed\n");
        return SELFREG_E_CLASS;
    }
    if (gn::register_module() != S_OK) {
        LogPrint(0, "_Module.RegisterServer() failed\n");
        return SELFREG_E_CLASS;
    }
    if (gn::register_document_types(nullptr)) return S_OK;
    LogPrint(0, "ERROR: Cannot register MorvaneLauncher class");
    MessageBoxA(nullptr, "Cannot register MorvaneLauncher class", "Registration Error", MB_OK);
    return SELFREG_E_CLASS;
}

// Reports failure when any stage failed, so that a tool never takes a half
// unregistration for a whole one; every stage runs even so.
extern "C" HRESULT WINAPI DllUnregisterServer() {
    gn::com_scope com;
    LogPrint(0, "Start unregistration");
    gn::unique_cotaskmem<wchar_t> path;
    if (FAILED(gn::registration_path(_Module.module_instance(), path.put()))) {
        LogPrint(0, "_Module.UnregisterServer() failed\n");
        return SELFREG_E_CLASS;
    }
    bool ok = true;
    if (gn::unique_cotaskmem<wchar_t> other = gn::other_flavor_module()) {
        LogPrint(0, "The other flavor of the module stays registered: shared keys kept");
        ok = gn::unregister_own_view(other.get());
    } else {
        ok = gn::unregister_module();
        gn::unregister_document_types();
    }
    if (ok) return S_OK;
    LogPrint(0, "_Module.UnregisterServer() failed\n");
    return SELFREG_E_CLASS;
}
