// gnclients.dll: reference client controls that the launcher hosts (the main
// plugin PluginCtl and the legacy 6.x control), in a DLL of their own. They
// share the module's header-only COM toolkit but none of its objects: the
// lock count below is this DLL's own.
#pragma once

#include "frame/com.h"
#include "frame/interfaces.h"
#include "frame/object.h"

#include <string>

namespace clients {

// Message a test (or a page's script host) sends to PluginCtl's window to
// make it navigate: lParam is a zero-terminated wide URL; the result is the
// HRESULT of ILauncherAdvise::Navigate.
constexpr UINT WM_GNCLIENTS_NAVIGATE = WM_APP + 1;

// Appends one line to the call record file named by GNCLIENTS_CALLS (UTF-8,
// one call per line); nothing when the variable is unset or empty.
void record_call(const char* control, const std::wstring& text) noexcept;
std::wstring hex_result(HRESULT hr);

HRESULT create_plugin_ctl(IUnknown* outer, REFIID riid, void** ppv) noexcept;
HRESULT create_legacy_ctl(IUnknown* outer, REFIID riid, void** ppv) noexcept;

HINSTANCE module_instance() noexcept;

}  // namespace clients
