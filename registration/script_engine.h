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

// The registry with the module's path written as UTF-16. The scripts are
// 8-bit text, and a module path need not fit the system code page, so the
// scripts' "Module" stands for kModuleStandIn, a text no path can hold ("<"
// and ">" are not allowed in file names); string data that holds it is
// written with the path in its place, as UTF-16. Everything else goes to the
// inner store unchanged.
extern const wchar_t kModuleStandIn[];
class module_path_store final : public key_store {
public:
    module_path_store(key_store& inner, const wchar_t* module_path) noexcept
        : inner_(inner), path_(module_path) {}
    LONG open(HKEY parent, const char* name, access how, HKEY* key) noexcept override {
        return inner_.open(parent, name, how, key);
    }
    LONG create(HKEY parent, const char* name, HKEY* key) noexcept override {
        return inner_.create(parent, name, key);
    }
    LONG close(HKEY key) noexcept override { return inner_.close(key); }
    LONG delete_key(HKEY parent, const char* name) noexcept override {
        return inner_.delete_key(parent, name);
    }
    LONG delete_value(HKEY key, const char* name) noexcept override {
        return inner_.delete_value(key, name);
    }
    LONG set_value(HKEY key, const char* name, DWORD type, const BYTE* data,
                   DWORD size) noexcept override;
    LONG enum_key(HKEY key, DWORD index, char* name, DWORD* size) noexcept override {
        return inner_.enum_key(key, index, name, size);
    }
    LONG enum_value(HKEY key, DWORD index, char* name, DWORD* size) noexcept override {
        return inner_.enum_value(key, index, name, size);
    }
    LONG query_info(HKEY key, DWORD* subkeys, DWORD* values) noexcept override {
        return inner_.query_info(key, subkeys, values);
    }

private:
    key_store& inner_;
    const wchar_t* path_;
};

// Loads resource (id, type) of the module file as text, expands the
// replacements and applies it to the store. Failures to load the file or the
// resource return the platform's last error as a result.
HRESULT run_registry_script(const wchar_t* module_path, UINT id, const char* type,
                            const replacement_map& replacements, bool do_register,
                            key_store& store = system_registry()) noexcept;

}  // namespace gn
