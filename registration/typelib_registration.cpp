// Registration of the component's type library, loaded from the module file
// itself or, failing that, from the ".tlb" file beside it.
#include "frame/com.h"
#include "frame/module.h"
#include "registration/registrar.h"

namespace gn {

namespace {

struct loaded_library {
    com_ptr<ITypeLib> library;
    unique_bstr path;  // the path the library was loaded from
};

HRESULT load_library(loaded_library& out) {
    // Room for ".tlb" behind a full-length path.
    char path[MAX_PATH + 8] = {};
    const DWORD length = GetModuleFileNameA(_Module.typelib_instance(), path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);

    wchar_t wide[MAX_PATH + 8] = {};
    if (!MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH + 8)) return E_FAIL;
    HRESULT hr = LoadTypeLib(wide, out.library.put());
    if (FAILED(hr)) {
        char* dot = nullptr;
        char* p = path;
        for (; *p; p = CharNextA(p))
            if (*p == '.') dot = p;
        lstrcpyA(dot ? dot : p, ".tlb");
        if (!MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH + 8)) return E_FAIL;
        hr = LoadTypeLib(wide, out.library.put());
        if (FAILED(hr)) return hr;
    }
    out.path.reset(SysAllocString(wide));
    RETURN_IF_NULL_ALLOC(out.path.get());
    return hr;
}

}  // namespace

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
