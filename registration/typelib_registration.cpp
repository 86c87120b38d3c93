// Registration of the component's type library, loaded from the module file
// itself or, failing that, from the ".tlb" file beside it. Paths are UTF-16:
// the module may lie in a folder that the system code page cannot name.
#include <cwchar>

#include "frame/com.h"
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

}  // namespace

HRESULT check_type_library() noexcept {
    loaded_library lib;
    return load_library(lib);
}

HRESULT register_type_library() noexcept {
    loaded_library lib;
    RETURN_IF_FAILED(load_library(lib));

    // Help directory: the path up to and including its last separator.
    const wchar_t* path = lib.path.get();
    size_t cut = 0;
    for (size_t i = 0; path[i]; ++i)
        if (path[i] == L'\\' || path[i] == L'/' || path[i] == L':') cut = i + 1;
    unique_bstr help_dir(SysAllocStringLen(path, static_cast<UINT>(cut)));
    RETURN_IF_NULL_ALLOC(help_dir.get());
    return RegisterTypeLib(lib.library.get(), lib.path.get(), help_dir.get());
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
        if (oleaut) {
            auto unregister = reinterpret_cast<unregister_fn>(
                reinterpret_cast<void*>(GetProcAddress(oleaut.get(), "UnRegisterTypeLib")));
            if (unregister)
                unregister(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid,
                           attr->syskind);
        }
        lib.library->ReleaseTLibAttr(attr);
    }
    return hr;
}

}  // namespace gn
