// Reading the administrator's settings for a client control from the
// registry (addon_policy.h holds the rules). Read-only, in one registry view,
// at the moment of the call: nothing is kept.
#pragma once

#include "launcher/addon_policy.h"

#include <windows.h>

namespace gn {

// The class identifier in braces, upper case, as the settings name it.
struct class_text {
    explicit class_text(REFCLSID clsid) noexcept;
    const char* c_str() const noexcept { return text; }
    char text[40];
};

// Fills out with the settings for clsid, read with KEY_READ in view: 0 for
// the process's own, or KEY_WOW64_32KEY or KEY_WOW64_64KEY. A key or value
// that cannot be read counts as absent.
void read_addon_settings(REFCLSID clsid, addon_settings& out, REGSAM view = 0) noexcept;

// The verdict on creating clsid now, whose kill bit may name other as its
// replacement: then the replacement's own settings are read too, and a
// replacement that is not allowed leaves clsid blocked.
addon_verdict client_addon_verdict(REFCLSID clsid, REFCLSID other, REGSAM view = 0) noexcept;

}  // namespace gn
