// Registration of the module's classes, type library and document types.
#pragma once

#include <windows.h>

namespace gn {
// Runs the registry script of the launcher classes (both directions).
HRESULT register_launcher_script(bool do_register);
// Runs the registry script of the version service (both directions).
HRESULT register_version_script(bool do_register);

// Registers the type library carried by the module (or the ".tlb" beside it).
HRESULT register_type_library() noexcept;
// Removes the type library's registration; the result is that of loading it.
HRESULT unregister_type_library() noexcept;
// Registers the type library carried by another module file (the other
// flavor's), with that file's path and folder.
HRESULT register_type_library_of(const wchar_t* module) noexcept;
// While it lives, this thread of a 32-bit process on 64-bit Windows sees the
// file system as it is (C:\Windows\System32 is the 64-bit system folder, not
// SysWOW64): for the other flavor's files. Elsewhere it does nothing.
class native_file_view {
public:
    native_file_view() noexcept;
    ~native_file_view();
    native_file_view(const native_file_view&) = delete;
    native_file_view& operator=(const native_file_view&) = delete;
private:
    using revert_fn = BOOL(WINAPI*)(PVOID);
    revert_fn revert_ = nullptr;
    PVOID old_ = nullptr;
};

// Whether the type library loads from the module (or the ".tlb" beside it):
// registration asks before it writes anything.
HRESULT check_type_library() noexcept;

// The full path of a module file as UTF-16, whatever its length and
// characters: *path is a CoTaskMemAlloc buffer the caller frees. A path the
// platform cannot give whole is a failure, never a cut one.
HRESULT module_file_name(HMODULE module, wchar_t** path) noexcept;

// The path registration writes for a module: its full path when that is
// shorter than MAX_PATH (the longest path the platform's type-library and
// class loaders take), else its short form when the file system has one
// that is; else ERROR_FILENAME_EXCED_RANGE, and nothing may be written.
HRESULT registration_path(HMODULE module, wchar_t** path) noexcept;
}  // namespace gn
