// gnclients.dll entry points: class objects, lock count and self-registration.
#include "clients/clients.h"

#include <cstdio>
#include <cstring>

gn::module _Module;  // only its lock count is used here

namespace {

HINSTANCE g_instance = nullptr;

class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(gn::creator_fn creator) : creator_(creator) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory))
            return E_NOINTERFACE;
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    // Static objects: a reference held on a class object keeps the DLL loaded.
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(_Module.lock()) + 1; }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(_Module.unlock()) + 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        return creator_(outer, riid, ppv);
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock) _Module.lock(); else _Module.unlock();
        return S_OK;
    }
private:
    gn::creator_fn creator_;
};

ClassFactory g_plugin_factory(&clients::create_plugin_ctl);
ClassFactory g_legacy_factory(&clients::create_legacy_ctl);

struct registered_class {
    const CLSID* clsid;
    const char* clsid_text;
    const char* name;
};
const registered_class kClasses[] = {
    {&gn::CLSID_PluginCtl, gn::kPluginCtlClsidText, "PluginCtl Class"},
    {&gn::CLSID_Legacy6xControl, gn::kLegacy6xClsidText, "QuorQuery 6.x Document Control"},
};

LONG set_value(HKEY key, const char* name, const char* value) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                          static_cast<DWORD>(strlen(value) + 1));
}

HRESULT write_class(const registered_class& c, const char* path) {
    const std::string base = std::string("CLSID\\") + c.clsid_text;
    gn::unique_hkey key, server, control;
    LONG rc = RegCreateKeyExA(HKEY_CLASSES_ROOT, base.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                              key.put(), nullptr);
    if (rc == ERROR_SUCCESS) rc = set_value(key.get(), nullptr, c.name);
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
HRESULT remove_class(const registered_class& c, const char* path) {
    const std::string base = std::string("CLSID\\") + c.clsid_text;
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
    const DWORD n = GetModuleFileNameA(g_instance, path, MAX_PATH);
    return n > 0 && n < MAX_PATH;
}

}  // namespace

namespace clients {
HINSTANCE module_instance() noexcept { return g_instance; }
}  // namespace clients

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_instance = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualCLSID(clsid, gn::CLSID_PluginCtl))
        return g_plugin_factory.QueryInterface(riid, ppv);
    if (IsEqualCLSID(clsid, gn::CLSID_Legacy6xControl))
        return g_legacy_factory.QueryInterface(riid, ppv);
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT WINAPI DllCanUnloadNow() {
    return _Module.lock_count() == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT WINAPI DllRegisterServer() {
    char path[MAX_PATH];
    if (!module_path(path)) return E_FAIL;
    for (const registered_class& c : kClasses) RETURN_IF_FAILED(write_class(c, path));
    return S_OK;
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
    char path[MAX_PATH];
    if (!module_path(path)) return E_FAIL;
    HRESULT result = S_OK;
    for (const registered_class& c : kClasses) {
        const HRESULT hr = remove_class(c, path);
        if (FAILED(hr)) result = hr;
    }
    return result;
}
