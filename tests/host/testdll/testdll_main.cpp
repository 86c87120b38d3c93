// gnhost_testdll.dll: the control host's own sources (and the module frame
// they stand on) in a DLL that only the host tests load. It has no class
// table; its one extra export hands out a new control host. It never ships:
// GNLauncher.dll keeps exactly its four exports.
#include "frame/interfaces.h"
#include "frame/log.h"
#include "frame/module.h"
#include "host/ctl_host.h"

namespace {
gn::class_row g_no_classes[] = {
    {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
};
}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        g_log.Open();
        g_log.Print("\t*** Started ***");
        _Module.init(instance, g_no_classes, LIBID_DZxLauncherLib);
        DisableThreadLibraryCalls(instance);
        break;
    case DLL_PROCESS_DETACH:
        _Module.term();
        g_log.Print("\t*** Exiting ***");
        g_log.Close();
        break;
    default:
        break;
    }
    return TRUE;
}

extern "C" HRESULT WINAPI CreateCtlHost6xForTest(IUnknown** ppUnk) {
    return CreateCtlHost6x(ppUnk);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() {
    return _Module.GetLockCount() == 0 ? S_OK : S_FALSE;
}
