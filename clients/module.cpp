// gnclients.dll entry points: class objects, lock count and self-registration.
// The class objects and the lock count are the toolkit's, as in the module:
// this DLL's own _Module and class table.
#include "clients/clients.h"

#include "frame/class_factory.h"

#include <cstring>
#include <string>

namespace {

gn::class_row g_class_table[] = {
    {&gn::CLSID_PluginCtl, nullptr, &gn::create_class_factory, &clients::create_plugin_ctl,
     nullptr, nullptr},
    {&gn::CLSID_Legacy6xControl, nullptr, &gn::create_class_factory,
     &clients::create_legacy_ctl, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
};

// The name each row of the class table is registered under.
const char* const kClassNames[] = {"PluginCtl Class", "QuorQuery 6.x Document Control"};
static_assert(sizeof kClassNames / sizeof kClassNames[0] + 1 ==
                  sizeof g_class_table / sizeof g_class_table[0],
              "one name per class");

// "CLSID\{...}" of a class.
std::string class_key(const CLSID& clsid) {
    return std::string("CLSID\\") + gn::registry_text(clsid).text;
}

LONG set_value(HKEY key, const char* name, const char* value) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                          static_cast<DWORD>(strlen(value) + 1));
}

HRESULT write_class(const CLSID& clsid, const char* name, const char* path) {
    gn::unique_hkey key, server, control;
    LONG rc = RegCreateKeyExA(HKEY_CLASSES_ROOT, class_key(clsid).c_str(), 0, nullptr, 0,
                              KEY_WRITE, nullptr, key.put(), nullptr);
    if (rc == ERROR_SUCCESS) rc = set_value(key.get(), nullptr, name);
    if (rc == ERROR_SUCCESS)
        rc = RegCreateKeyExA(key.get(), "InprocServer32", 0, nullptr, 0, KEY_WRITE, nullptr,
                             server.put(), nullptr);
    if (rc == ERROR_SUCCESS) rc = set_value(server.get(), nullptr, path);
    if (rc == ERROR_SUCCESS) rc = set_value(server.get(), "ThreadingModel", "Apartment");
    if (rc == ERROR_SUCCESS)
        rc = RegCreateKeyExA(key.get(), "Control", 0, nullptr, 0, KEY_WRITE, nullptr,
                             control.put(), nullptr);
    return HRESULT_FROM_WIN32(rc);
}

// Removes a class's key only when it names this file as its server, so that
// unregistering one build leaves another build's registration alone.
HRESULT remove_class(const CLSID& clsid, const char* path) {
    const std::string base = class_key(clsid);
    char registered[MAX_PATH + 1] = {};
    LONG size = sizeof(registered) - 1;
    const LONG rc =
        RegQueryValueA(HKEY_CLASSES_ROOT, (base + "\\InprocServer32").c_str(), registered, &size);
    if (rc != ERROR_SUCCESS) return S_OK;  // nothing of ours there
    if (lstrcmpiA(registered, path) != 0) return S_OK;
    const LONG del = RegDeleteTreeA(HKEY_CLASSES_ROOT, base.c_str());
    return del == ERROR_SUCCESS || del == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(del);
}

bool module_path(char (&path)[MAX_PATH]) {
    const DWORD n = GetModuleFileNameA(_Module.module_instance(), path, MAX_PATH);
    return n > 0 && n < MAX_PATH;
}

}  // namespace

namespace clients {
HINSTANCE module_instance() noexcept { return _Module.module_instance(); }
}  // namespace clients

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        _Module.init(instance, g_class_table, GUID_NULL);
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        _Module.term();
    }
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    return _Module.get_class_object(clsid, riid, ppv);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() {
    return _Module.lock_count() == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT WINAPI DllRegisterServer() {
    char path[MAX_PATH];
    if (!module_path(path)) return E_FAIL;
    for (size_t i = 0; g_class_table[i].clsid; ++i)
        RETURN_IF_FAILED(write_class(*g_class_table[i].clsid, kClassNames[i], path));
    return S_OK;
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
    char path[MAX_PATH];
    if (!module_path(path)) return E_FAIL;
    HRESULT result = S_OK;
    for (const gn::class_row* row = g_class_table; row->clsid; ++row) {
        const HRESULT hr = remove_class(*row->clsid, path);
        if (FAILED(hr)) result = hr;
    }
    return result;
}
