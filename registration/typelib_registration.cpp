// Registration of the component's type library, loaded from the module file
// itself or, failing that, from the ".tlb" file beside it. Paths are UTF-16:
// the module may lie in a folder that the system code page cannot name.
#include <cstdio>
#include <cwchar>

#include "frame/com.h"
#include "frame/interfaces.h"
#include "frame/module.h"
#include "registration/registrar.h"

namespace gn {

HRESULT module_file_name(HMODULE module, wchar_t** path) noexcept {
    RETURN_HR_IF(E_POINTER, !path);
    *path = nullptr;
    // The longest path the platform has: 32767 characters.
    for (DWORD room = MAX_PATH; room <= 32768; room *= 2) {
        unique_cotaskmem<wchar_t> buffer(
            static_cast<wchar_t*>(CoTaskMemAlloc((room + 1) * sizeof(wchar_t))));
        RETURN_IF_NULL_ALLOC(buffer.get());
        SetLastError(ERROR_SUCCESS);
        const DWORD length = GetModuleFileNameW(module, buffer.get(), room);
        if (length == 0) {
            const DWORD error = GetLastError();
            return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
        }
        if (length < room && GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            buffer.get()[length] = L'\0';
            *path = buffer.release();
            return S_OK;
        }
    }
    return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
}

HRESULT registration_path(HMODULE module, wchar_t** path) noexcept {
    RETURN_HR_IF(E_POINTER, !path);
    *path = nullptr;
    unique_cotaskmem<wchar_t> full;
    RETURN_IF_FAILED(module_file_name(module, full.put()));
    if (std::wcslen(full.get()) < MAX_PATH) {
        *path = full.release();
        return S_OK;
    }
    unique_cotaskmem<wchar_t> brief(static_cast<wchar_t*>(CoTaskMemAlloc(MAX_PATH * sizeof(wchar_t))));
    RETURN_IF_NULL_ALLOC(brief.get());
    const DWORD length = GetShortPathNameW(full.get(), brief.get(), MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    *path = brief.release();
    return S_OK;
}

namespace {

struct loaded_library {
    com_ptr<ITypeLib> library;
    unique_bstr path;  // the path the library was loaded from
};

HRESULT load_library(loaded_library& out) {
    unique_cotaskmem<wchar_t> module;
    RETURN_IF_FAILED(registration_path(_Module.typelib_instance(), module.put()));
    HRESULT hr = LoadTypeLib(module.get(), out.library.put());
    if (SUCCEEDED(hr)) {
        out.path.reset(SysAllocString(module.get()));
    } else {
        // The same path with ".tlb" in place of its last extension (after
        // the last dot anywhere in it, or at its end when it has none).
        const size_t length = std::wcslen(module.get());
        const wchar_t* dot = std::wcsrchr(module.get(), L'.');
        const size_t keep = dot ? static_cast<size_t>(dot - module.get()) : length;
        out.path.reset(SysAllocStringLen(nullptr, static_cast<UINT>(keep + 4)));
        RETURN_IF_NULL_ALLOC(out.path.get());
        std::wmemcpy(out.path.get(), module.get(), keep);
        std::wmemcpy(out.path.get() + keep, L".tlb", 5);
        hr = LoadTypeLib(out.path.get(), out.library.put());
        if (FAILED(hr)) return hr;
    }
    RETURN_IF_NULL_ALLOC(out.path.get());
    return hr;
}

// Registers a loaded library under its path, with the path's folder (up to
// and including its last separator) as the help directory.
HRESULT register_loaded(const loaded_library& lib) {
    const wchar_t* path = lib.path.get();
    size_t cut = 0;
    for (size_t i = 0; path[i]; ++i)
        if (path[i] == L'\\' || path[i] == L'/' || path[i] == L':') cut = i + 1;
    unique_bstr help_dir(SysAllocStringLen(path, static_cast<UINT>(cut)));
    RETURN_IF_NULL_ALLOC(help_dir.get());
    return RegisterTypeLib(lib.library.get(), lib.path.get(), help_dir.get());
}

// Whether the library's path for its own target system is registered (in
// this process's registry view), which UnRegisterTypeLib needs to act.
bool path_registered(const TLIBATTR& attr) {
    const char* system = attr.syskind == SYS_WIN64   ? "win64"
                         : attr.syskind == SYS_WIN32 ? "win32"
                                                     : nullptr;
    if (!system) return true;
    char key[128];
    std::snprintf(key, sizeof key, "TypeLib\\%s\\%x.%x\\%lx\\%s", registry_text(attr.guid).text,
                  attr.wMajorVerNum, attr.wMinorVerNum, static_cast<unsigned long>(attr.lcid), system);
    unique_hkey opened;
    return RegOpenKeyExA(HKEY_CLASSES_ROOT, key, 0, KEY_READ, opened.put()) == ERROR_SUCCESS;
}

}  // namespace

HRESULT check_type_library() noexcept {
    loaded_library lib;
    return load_library(lib);
}

HRESULT register_type_library() noexcept {
    loaded_library lib;
    RETURN_IF_FAILED(load_library(lib));
    return register_loaded(lib);
}

HRESULT register_type_library_of(const wchar_t* module) noexcept {
    RETURN_HR_IF(E_POINTER, !module);
    loaded_library lib;
    // The other flavor's own file, also where its path names the system
    // folder that this process sees redirected (a 32-bit process on 64-bit
    // Windows reads the 64-bit one as "Sysnative"; the loader of libraries
    // redirects System32 even with the file system's redirection off).
    wchar_t system[MAX_PATH], native[MAX_PATH * 2];
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    BOOL wow64 = FALSE;
    const wchar_t* load = module;
    if (sizeof(void*) == 4 && length > 0 && length < MAX_PATH &&
        IsWow64Process(GetCurrentProcess(), &wow64) && wow64 &&
        CompareStringOrdinal(module, static_cast<int>(length), system, static_cast<int>(length), TRUE) ==
            CSTR_EQUAL &&
        module[length] == L'\\') {
        const wchar_t* slash = std::wcsrchr(system, L'\\');
        if (slash && std::swprintf(native, MAX_PATH * 2, L"%.*ls\\Sysnative%ls",
                                   static_cast<int>(slash - system), system, module + length) > 0)
            load = native;
    }
    {
        const native_file_view view;
        RETURN_IF_FAILED(LoadTypeLibEx(load, REGKIND_NONE, lib.library.put()));
    }
    lib.path.reset(SysAllocString(module));
    RETURN_IF_NULL_ALLOC(lib.path.get());
    return register_loaded(lib);
}

HRESULT unregister_type_library() noexcept {
    loaded_library lib;
    const HRESULT hr = load_library(lib);
    if (FAILED(hr)) return hr;

    TLIBATTR* attr = nullptr;
    if (SUCCEEDED(lib.library->GetLibAttr(&attr)) && attr) {
        // Looked up at run time: older automation runtimes do not have it.
        using unregister_fn = HRESULT(WINAPI*)(REFGUID, WORD, WORD, LCID, SYSKIND);
        unique_hmodule oleaut(LoadLibraryA("oleaut32.dll"));
        const auto unregister =
            oleaut ? proc_address<unregister_fn>(oleaut.get(), "UnRegisterTypeLib") : nullptr;
        if (unregister) {
            // On 64-bit Windows UnRegisterTypeLib removes the library's
            // interfaces from both registry views, but only for a library
            // whose path it finds registered for the target system. An
            // installer may have removed that key already (its own rows),
            // which would leave the interfaces of the other view behind: the
            // library is registered again first, so that the platform's
            // removal reaches them all.
            if (!path_registered(*attr)) register_loaded(lib);
            unregister(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
        }
        lib.library->ReleaseTLibAttr(attr);
    }
    return hr;
}

}  // namespace gn
