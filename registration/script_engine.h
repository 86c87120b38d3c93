// Runs a registry script carried as a resource of a module file against the
// registry, in the register or the unregister direction.
#pragma once

#include <windows.h>

#include "registration/script_text.h"

namespace gn {

// Loads resource (id, type) of the module file as text, expands the
// replacements and applies it. Failures to load the file or the resource
// return the platform's last error as a result.
HRESULT run_registry_script(const wchar_t* module_path, UINT id, const char* type,
                            const replacement_map& replacements, bool do_register) noexcept;

// The registry itself, as the script walks see it.
key_store& system_registry() noexcept;

}  // namespace gn
