#include "registration/script_engine.h"

#include "frame/com.h"

#include <cstring>

namespace gn {

namespace {

class win32_registry final : public key_store {
public:
    LONG open(HKEY parent, const char* name, access how, HKEY* key) noexcept override {
        const REGSAM sam = how == access::all    ? KEY_ALL_ACCESS
                           : how == access::read ? KEY_READ
                                                 : KEY_READ | KEY_WRITE;
        return RegOpenKeyExA(parent, name, 0, sam, key);
    }
    LONG create(HKEY parent, const char* name, HKEY* key) noexcept override {
        return RegCreateKeyExA(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                               nullptr, key, nullptr);
    }
    LONG close(HKEY key) noexcept override { return RegCloseKey(key); }
    LONG delete_key(HKEY parent, const char* name) noexcept override {
        return RegDeleteKeyA(parent, name);
    }
    LONG delete_value(HKEY key, const char* name) noexcept override {
        return RegDeleteValueA(key, name);
    }
    LONG set_value(HKEY key, const char* name, DWORD type, const BYTE* data,
                   DWORD size) noexcept override {
        return RegSetValueExA(key, name, 0, type, data, size);
    }
    LONG enum_key(HKEY key, DWORD index, char* name, DWORD* size) noexcept override {
        return RegEnumKeyExA(key, index, name, size, nullptr, nullptr, nullptr, nullptr);
    }
    LONG enum_value(HKEY key, DWORD index, char* name, DWORD* size) noexcept override {
        return RegEnumValueA(key, index, name, size, nullptr, nullptr, nullptr, nullptr);
    }
    LONG query_info(HKEY key, DWORD* subkeys, DWORD* values) noexcept override {
        return RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, subkeys, nullptr, nullptr, values,
                                nullptr, nullptr, nullptr, nullptr);
    }
};

// The last error as a result; a failure without an error code is still a failure.
HRESULT last_error_result() {
    const DWORD error = GetLastError();
    if (error == ERROR_SUCCESS) return E_FAIL;
    return HRESULT_FROM_WIN32(error);
}

}  // namespace

key_store& system_registry() noexcept {
    static win32_registry registry;
    return registry;
}

key_store& own_view_registry() noexcept {
    static own_view_store registry(system_registry());
    return registry;
}

HRESULT run_registry_script(const wchar_t* module_path, UINT id, const char* type,
                            const replacement_map& replacements, bool do_register,
                            key_store& store) noexcept {
    RETURN_HR_IF(E_INVALIDARG, !module_path || !type);
    char path[MAX_PATH * 2] = {};
    if (!WideCharToMultiByte(CP_ACP, 0, module_path, -1, path, sizeof path, nullptr, nullptr))
        return last_error_result();

    // The script text, copied out of the module with a terminator added.
    unique_cotaskmem<char> text;
    {
        unique_hmodule file(LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE));
        if (!file) return last_error_result();
        HRSRC found = FindResourceA(file.get(), MAKEINTRESOURCEA(id), type);
        if (!found) return last_error_result();
        HGLOBAL loaded = LoadResource(file.get(), found);
        if (!loaded) return last_error_result();
        const DWORD size = SizeofResource(file.get(), found);
        const void* bytes = LockResource(loaded);
        if (!bytes && size) return last_error_result();
        *text.put() = static_cast<char*>(CoTaskMemAlloc(size + 1));
        RETURN_IF_NULL_ALLOC(text.get());
        if (size) std::memcpy(text.get(), bytes, size);
        text.get()[size] = '\0';
    }

    unique_cotaskmem<char> expanded;
    RETURN_IF_FAILED(expand_script(text.get(), replacements, expanded.put()));
    return run_script_text(store, expanded.get(), do_register);
}

}  // namespace gn
