#include "registration/script_engine.h"

#include "frame/com.h"

#include <cstring>
#include <cwchar>

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

constexpr size_t kValueNameRoom = 260;  // a script value name (at most 259 bytes) and a NUL

// The last error as a result; a failure without an error code is still a failure.
HRESULT last_error_result() {
    const DWORD error = GetLastError();
    if (error == ERROR_SUCCESS) return E_FAIL;
    return HRESULT_FROM_WIN32(error);
}

// Appends 8-bit text (system code page) to a wide buffer; false when it does not fit.
bool append_narrow(const char* text, size_t bytes, wchar_t* out, size_t& used, size_t cap) {
    if (bytes == 0) return true;
    const int got = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(bytes), out + used,
                                        static_cast<int>(cap - used));
    if (got <= 0) return false;
    used += static_cast<size_t>(got);
    return true;
}

}  // namespace

const wchar_t kModuleStandIn[] = L"<module>";

LONG module_path_store::set_value(HKEY key, const char* name, DWORD type, const BYTE* data,
                                  DWORD size) noexcept {
    static const char stand_in[] = "<module>";
    const char* text = reinterpret_cast<const char*>(data);
    if (type != REG_SZ || !data || !size || text[size - 1] != '\0' || !std::strstr(text, stand_in))
        return inner_.set_value(key, name, type, data, size);
    // The data with every stand-in replaced, as UTF-16.
    size_t stand_ins = 0;
    for (const char* p = text; (p = std::strstr(p, stand_in)) != nullptr; p += sizeof stand_in - 1)
        ++stand_ins;
    const size_t cap = size + stand_ins * std::wcslen(path_) + 1;
    unique_cotaskmem<wchar_t> wide(static_cast<wchar_t*>(CoTaskMemAlloc(cap * sizeof(wchar_t))));
    if (!wide) return ERROR_OUTOFMEMORY;
    size_t used = 0;
    for (const char* p = text;;) {
        const char* at = std::strstr(p, stand_in);
        const size_t bytes = at ? static_cast<size_t>(at - p) : std::strlen(p);
        if (!append_narrow(p, bytes, wide.get(), used, cap)) return ERROR_NO_UNICODE_TRANSLATION;
        if (!at) break;
        const size_t n = std::wcslen(path_);
        std::wmemcpy(wide.get() + used, path_, n);
        used += n;
        p = at + sizeof stand_in - 1;
    }
    wide.get()[used] = L'\0';
    wchar_t wide_name[kValueNameRoom] = {};
    if (name && *name &&
        !MultiByteToWideChar(CP_ACP, 0, name, -1, wide_name, static_cast<int>(kValueNameRoom)))
        return ERROR_NO_UNICODE_TRANSLATION;
    return RegSetValueExW(key, name ? wide_name : nullptr, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(wide.get()),
                          static_cast<DWORD>((used + 1) * sizeof(wchar_t)));
}

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

    // The script text, copied out of the module with a terminator added.
    unique_cotaskmem<char> text;
    {
        unique_hmodule file(LoadLibraryExW(module_path, nullptr, LOAD_LIBRARY_AS_DATAFILE));
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
