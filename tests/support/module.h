// Test access to GNLauncher.dll the way a host reaches it: LoadLibrary and
// the exported functions, never its object files.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <string>

#include "frame/com.h"

namespace gntest {

class LoadedModule {
public:
    // Loads the module from path (default: GNLauncher.dll beside the test program).
    explicit LoadedModule(const std::string& path = module_path());
    ~LoadedModule();
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    HMODULE handle() const { return module_; }
    bool loaded() const { return module_ != nullptr; }
    // Unloads now (process detach runs when this was the last reference).
    void unload();

    HRESULT get_class_object(REFCLSID clsid, REFIID riid, void** ppv) const;
    HRESULT can_unload_now() const;
    HRESULT register_server() const;
    HRESULT unregister_server() const;

    // Creates an instance through the class object.
    template <class T>
    HRESULT create(REFCLSID clsid, T** out, IUnknown* outer = nullptr) const {
        return create(clsid, __uuidof(T), reinterpret_cast<void**>(out), outer);
    }
    HRESULT create(REFCLSID clsid, REFIID riid, void** ppv, IUnknown* outer = nullptr) const;

    // Full path of GNLauncher.dll beside the running test program.
    static std::string module_path();
    // Directory of the running test program, with a trailing backslash.
    static std::string program_dir();

private:
    HMODULE module_ = nullptr;
    HRESULT(WINAPI* get_class_object_)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(WINAPI* can_unload_now_)() = nullptr;
    HRESULT(WINAPI* register_server_)() = nullptr;
    HRESULT(WINAPI* unregister_server_)() = nullptr;
};

// Registers the type library carried by the module file (for IDispatch).
// The target system the module's type library is built for: its own flavor's.
constexpr SYSKIND kModuleSysKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
HRESULT register_type_library(const std::string& module_path);
HRESULT unregister_type_library();

// Pumps this thread's messages until pred() holds or timeout_ms passes.
template <class Pred>
bool pump_until(Pred pred, DWORD timeout_ms = 10000) {
    const DWORD start = GetTickCount();
    while (!pred()) {
        if (GetTickCount() - start > timeout_ms) return false;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (!pred()) MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

// Reads a whole file; empty when missing.
std::string read_file(const std::string& path);
// A fresh, empty directory under the test program's directory.
std::string make_scratch_dir(const std::string& name);

}  // namespace gntest
