// The module's composition root: its class table and entry points (start,
// end, class objects and the lock count). frame/ below it knows no class.
#include "frame/class_factory.h"
#include "frame/interfaces.h"
#include "frame/log.h"
#include "frame/module.h"
#include "frame/translation.h"
#include "launcher/launcher.h"
#include "registration/registrar.h"
#include "version/version_service.h"

namespace {

const GUID* const kSafeCategories[] = {&gn::CATID_SafeForScripting, &gn::CATID_SafeForInitializing,
                                        nullptr};

gn::class_row g_class_table[] = {
    {&CLSID_MorvaneLauncher, &gn::register_launcher_script,
     &gn::create_class_factory, &MorvaneLauncher::create, nullptr,
     kSafeCategories},
    {&gn::CLSID_MorvaneLauncherData, &gn::register_launcher_script,
     &gn::create_class_factory, &MorvaneLauncher::create, nullptr,
     kSafeCategories},
    {&CLSID_MorvaneVersion, &gn::register_version_script,
     &gn::create_class_factory, &MorvaneVersion::create, nullptr,
     kSafeCategories},
    {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        g_log.Open();
        g_log.Print("\t*** Started ***");
        if (g_log.IsOpen()) gn::set_failure_hook(&TraceFailure);  // else failures are only counted
        _Module.init(instance, g_class_table, LIBID_DZxLauncherLib);
        g_translation.Locate(instance);
        DisableThreadLibraryCalls(instance);
        break;
    case DLL_PROCESS_DETACH:
        // No downloaded copy outlives the module, whether the host unloads it
        // with launchers alive or the process ends mid-download (reserved set:
        // the other threads are gone; files and the log only, no COM). First,
        // so that nothing later in the detach can keep it from running.
        TempFile::DiscardAllAtDetach(reserved != nullptr);
        _Module.term();
        g_translation.Clear();
        gn::set_failure_hook(nullptr);
        g_log.EndTrace();
        g_log.Print("\t*** Exiting ***");
        g_log.Close();
        break;
    default:
        break;
    }
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return _Module.get_class_object(rclsid, riid, ppv);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() {
    return _Module.lock_count() == 0 ? S_OK : S_FALSE;
}
