// Registration of the module's classes, type library and document types.
#pragma once

#include <windows.h>

namespace gn {
// Runs the registry script of the launcher classes (both directions).
HRESULT register_launcher_script(bool do_register);
// Runs the registry script of the version service (both directions).
HRESULT register_version_script(bool do_register);
}  // namespace gn
