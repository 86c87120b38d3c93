// Loads GNLauncher.dll the way a host does, creates a launcher and a version
// service through their class objects and prints what it got.
#include <windows.h>
#include <ole2.h>
#include <urlmon.h>

#include <cstdio>

#include "GNLauncher_h.h"

static void print_clsid(const char* what, IUnknown* object) {
    IPersistMoniker* persist = nullptr;
    CLSID clsid{};
    wchar_t text[64] = L"(no IPersistMoniker)";
    if (object && SUCCEEDED(object->QueryInterface(IID_IPersistMoniker, reinterpret_cast<void**>(&persist)))) {
        persist->GetClassID(&clsid);
        StringFromGUID2(clsid, text, 64);
        persist->Release();
    }
    std::printf("%-16s %ls\n", what, text);
}

int main() {
    CoInitialize(nullptr);
    HMODULE dll = LoadLibraryA("GNLauncher.dll");
    if (!dll) {
        std::printf("cannot load GNLauncher.dll (error %lu)\n", GetLastError());
        return 1;
    }
    auto get = reinterpret_cast<HRESULT(WINAPI*)(REFCLSID, REFIID, void**)>(
        reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
    auto can_unload = reinterpret_cast<HRESULT(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(dll, "DllCanUnloadNow")));
    int rc = 0;
    const struct { const char* name; const CLSID* clsid; } classes[] = {
        {"MorvaneLauncher", &CLSID_MorvaneLauncher},
        {"MorvaneVersion", &CLSID_MorvaneVersion},
    };
    for (const auto& c : classes) {
        IClassFactory* factory = nullptr;
        IUnknown* object = nullptr;
        HRESULT hr = get(*c.clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
        if (SUCCEEDED(hr)) hr = factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object));
        wchar_t text[64];
        StringFromGUID2(*c.clsid, text, 64);
        std::printf("created %-16s class %ls: 0x%08lx\n", c.name, text, static_cast<unsigned long>(hr));
        if (object && c.clsid == &CLSID_MorvaneLauncher) print_clsid("  reports class", object);
        if (FAILED(hr)) rc = 1;
        if (object) object->Release();
        if (factory) factory->Release();
    }
    std::printf("DllCanUnloadNow: 0x%08lx\n", static_cast<unsigned long>(can_unload()));
    FreeLibrary(dll);
    CoUninitialize();
    return rc;
}
