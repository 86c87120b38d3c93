#include "launcher/addon_registry.h"

#include "frame/com.h"

#include <cstdio>
#include <cstring>

namespace gn {

class_text::class_text(REFCLSID clsid) noexcept {
    std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(clsid.Data1), clsid.Data2, clsid.Data3, clsid.Data4[0],
                  clsid.Data4[1], clsid.Data4[2], clsid.Data4[3], clsid.Data4[4], clsid.Data4[5],
                  clsid.Data4[6], clsid.Data4[7]);
}

void read_addon_settings(REFCLSID clsid, addon_settings& out, REGSAM view) noexcept {
    out = addon_settings{};
    const class_text cls(clsid);
    for (int i = 0; i < addon_setting_count; ++i) {
        const auto setting = static_cast<addon_setting>(i);
        char path[160];
        if (!addon_key_path(setting, cls.c_str(), path, sizeof path)) continue;
        const HKEY root =
            std::strcmp(addon_root_name(setting), "HKLM") == 0 ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        unique_hkey key;
        if (RegOpenKeyExA(root, path, 0, KEY_READ | view, key.put()) != ERROR_SUCCESS) continue;
        addon_value& v = out.values[i];
        DWORD type = 0;
        DWORD size = sizeof v.data;
        const LONG read = RegQueryValueExA(key.get(), addon_value_name(setting, cls.c_str()), nullptr,
                                           &type, v.data, &size);
        if (read != ERROR_SUCCESS && read != ERROR_MORE_DATA) continue;
        v.present = true;
        v.type = type;
        v.size = read == ERROR_MORE_DATA && size <= sizeof v.data ? sizeof v.data + 1 : size;
        if (read == ERROR_MORE_DATA) std::memset(v.data, 0, sizeof v.data);
    }
}

addon_verdict client_addon_verdict(REFCLSID clsid, REFCLSID other, REGSAM view) noexcept {
    addon_settings settings;
    read_addon_settings(clsid, settings, view);
    const addon_verdict own = addon_decision(settings, class_text(other).c_str());
    if (own.outcome != addon_outcome::alternate) return own;
    read_addon_settings(other, settings, view);
    return addon_resolve(own, addon_decision(settings, class_text(clsid).c_str()));
}

}  // namespace gn
