// Loads GNLauncher.dll the way a host does, creates a launcher and a version
// service through their class objects and prints what it got.
#include <windows.h>
#include <ole2.h>
#include <urlmon.h>

#include <cstdio>

#include "GNLauncher_h.h"
#include "frame/com.h"

static void print_clsid(const char* what, IUnknown* object) {
    CLSID clsid{};
    wchar_t text[64] = L"(no IPersistMoniker)";
    if (auto persist = gn::try_query<IPersistMoniker>(object)) {
        persist->GetClassID(&clsid);
        StringFromGUID2(clsid, text, 64);
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
        gn::com_ptr<IClassFactory> factory;
        gn::com_ptr<IUnknown> object;
        HRESULT hr = get(*c.clsid, IID_IClassFactory, factory.put_void());
        if (SUCCEEDED(hr)) hr = factory->CreateInstance(nullptr, IID_IUnknown, object.put_void());
        wchar_t text[64];
        StringFromGUID2(*c.clsid, text, 64);
        std::printf("created %-16s class %ls: 0x%08lx\n", c.name, text, static_cast<unsigned long>(hr));
        if (object && c.clsid == &CLSID_MorvaneLauncher) print_clsid("  reports class", object.get());
        if (FAILED(hr)) rc = 1;
    }
    std::printf("DllCanUnloadNow: 0x%08lx\n", static_cast<unsigned long>(can_unload()));
    FreeLibrary(dll);
    CoUninitialize();
    return rc;
}
