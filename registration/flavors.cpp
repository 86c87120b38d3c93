// The 32-bit and the 64-bit flavor of the module can both be registered on a
// 64-bit system, each in its own registry view. The views keep separate class
// keys (HKCR\CLSID); the document types, the MIME database, the programmatic
// identifiers and the type library's key are shared (the library's path is
// kept per target system, "win32" or "win64").
#include <cstdio>

#include "frame/com.h"
#include "frame/interfaces.h"
#include "frame/module.h"
#include "registration/registrar.h"
#include "registration/script_engine.h"
#include "registration/stages.h"

namespace gn {

native_file_view::native_file_view() noexcept {
    using redirect_fn = BOOL(WINAPI*)(PVOID*);
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (!kernel || sizeof(void*) != 4) return;
    const auto disable = proc_address<redirect_fn>(kernel, "Wow64DisableWow64FsRedirection");
    revert_ = proc_address<revert_fn>(kernel, "Wow64RevertWow64FsRedirection");
    if (!disable || !revert_ || !disable(&old_)) revert_ = nullptr;
}

native_file_view::~native_file_view() {
    if (revert_) revert_(old_);
}

namespace {

// Whether a file exists, seen without the file-system redirection that a
// 32-bit process has on 64-bit Windows (the other flavor's path names the
// 64-bit system folder as it is, not as this process would see it).
bool file_exists(const wchar_t* path) {
    const native_file_view view;
    const DWORD attributes = GetFileAttributesW(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

// The other flavor's module when the other registry view names an existing
// server file for the launcher other than this module; else empty.
unique_cotaskmem<wchar_t> other_flavor_module() {
    unique_cotaskmem<wchar_t> none;
    const bool is_64_bit = sizeof(void*) == 8;
    BOOL wow64 = FALSE;
    if (!is_64_bit && (!IsWow64Process(GetCurrentProcess(), &wow64) || !wow64)) return none;
    const REGSAM other_view = is_64_bit ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    char server_key[80];
    std::snprintf(server_key, sizeof server_key, "CLSID\\%s\\InprocServer32",
                  registry_text(CLSID_MorvaneLauncher).text);
    unique_hkey key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, server_key, 0, KEY_READ | other_view, key.put()) !=
        ERROR_SUCCESS)
        return none;
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key.get(), nullptr, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_SZ || size > 65536)
        return none;
    unique_cotaskmem<wchar_t> other(static_cast<wchar_t*>(CoTaskMemAlloc(size + sizeof(wchar_t))));
    if (!other) return none;
    if (RegQueryValueExW(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(other.get()),
                         &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return none;
    other.get()[size / sizeof(wchar_t)] = L'\0';
    unique_cotaskmem<wchar_t> own;
    if (FAILED(registration_path(_Module.module_instance(), own.put()))) return none;
    if (lstrcmpiW(own.get(), other.get()) == 0 || !file_exists(other.get())) return none;
    return other;
}

// Unregistration while the other flavor stays registered: only what this
// view holds for itself goes (class keys, categories, the library's path for
// this target system); the shared keys stay for the other flavor. They are
// written again first, because an installer may just have removed its own
// copy of them, with the data-file icon taken from the module that stays.
// The platform's removal of the library takes its interfaces out of both
// registry views, so the library of the module that stays is registered
// again afterwards: its interfaces, path and help folder.
// False when a stage failed.
bool unregister_own_view(const wchar_t* other_module) {
    bool ok = register_module() == S_OK && register_document_types(other_module);
    for (const UINT script : {kLauncherScript, kVersionScript})
        if (FAILED(run_module_script(script, false, own_view_registry()))) ok = false;
    for (class_row* row = _Module.class_table(); row && row->clsid; ++row) unregister_categories(*row);
    if (FAILED(unregister_type_library())) ok = false;
    return SUCCEEDED(register_type_library_of(other_module)) && ok;
}

}  // namespace gn
