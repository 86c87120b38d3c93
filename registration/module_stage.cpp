// The module stage of registration: every class's script and categories,
// then the type library.
#include <comcat.h>

#include "frame/com.h"
#include "frame/module.h"
#include "registration/registrar.h"
#include "registration/script_engine.h"
#include "registration/stages.h"

namespace gn {

// Runs one of the module's registry scripts with "Module" standing for the
// module's full path, written as UTF-16 whatever the system code page.
HRESULT run_module_script(UINT id, bool do_register, key_store& store) {
    unique_cotaskmem<wchar_t> path;
    RETURN_IF_FAILED(registration_path(_Module.module_instance(), path.put()));
    replacement_map replacements;
    RETURN_IF_FAILED(replacements.add(L"Module", kModuleStandIn));
    module_path_store with_path(store, path.get());
    return run_registry_script(path.get(), id, "REGISTRY", replacements, do_register, with_path);
}

com_ptr<ICatRegister> create_category_manager() {
    com_ptr<ICatRegister> manager;
    CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatRegister,
                     manager.put_void());
    return manager;
}

// Module stage: every class's script and categories, then the type library.
HRESULT register_module() {
    for (class_row* row = _Module.class_table(); row && row->clsid; ++row) {
        if (row->update_registry) RETURN_IF_FAILED(row->update_registry(true));
        com_ptr<ICatRegister> manager = create_category_manager();
        if (!manager || !row->categories) continue;
        for (const GUID* const* category = row->categories; *category; ++category) {
            CATID id = **category;
            RETURN_IF_FAILED(manager->RegisterClassImplCategories(*row->clsid, 1, &id));
        }
    }
    return register_type_library();
}

void unregister_categories(const class_row& row) {
    com_ptr<ICatRegister> manager = create_category_manager();
    if (!manager || !row.categories) return;
    for (const GUID* const* category = row.categories; *category; ++category) {
        CATID id = **category;
        manager->UnRegisterClassImplCategories(*row.clsid, 1, &id);
    }
}

// False when a script or the type library could not be run or loaded.
bool unregister_module() {
    bool ok = true;
    for (class_row* row = _Module.class_table(); row && row->clsid; ++row) {
        if (row->update_registry && FAILED(row->update_registry(false))) ok = false;
        unregister_categories(*row);
    }
    return SUCCEEDED(unregister_type_library()) && ok;
}

HRESULT register_launcher_script(bool do_register) {
    return run_module_script(kLauncherScript, do_register);
}

HRESULT register_version_script(bool do_register) {
    return run_module_script(kVersionScript, do_register);
}

}  // namespace gn
