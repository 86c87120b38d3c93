// Runs a registry script carried as a resource of a module file against the
// registry, in the register or the unregister direction.
#pragma once

#include <windows.h>

#include "registration/script_text.h"

namespace gn {

// The registry itself, as the script walks see it.
key_store& system_registry() noexcept;

// The registry as a flavor of the module sees it while another flavor stays
// registered in the other registry view: only the class keys below
// HKCR\CLSID, which each view holds for itself, can be reached; the keys of
// HKEY_CLASSES_ROOT that both views share look absent and cannot be written.
key_store& own_view_registry() noexcept;

// Loads resource (id, type) of the module file as text, expands the
// replacements and applies it to the store. Failures to load the file or the
// resource return the platform's last error as a result.
HRESULT run_registry_script(const wchar_t* module_path, UINT id, const char* type,
                            const replacement_map& replacements, bool do_register,
                            key_store& store = system_registry()) noexcept;

}  // namespace gn
