#include "support/module.h"

#include "frame/interfaces.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace gntest {

std::string LoadedModule::program_dir() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path);
    return dir.substr(0, dir.find_last_of("\\/") + 1);
}

std::string LoadedModule::module_path() { return program_dir() + "GNLauncher.dll"; }

LoadedModule::LoadedModule(const std::string& path) {
    module_ = LoadLibraryA(path.c_str());
    if (!module_) return;
    get_class_object_ = reinterpret_cast<decltype(get_class_object_)>(
        reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
    can_unload_now_ = gn::proc_address<decltype(can_unload_now_)>(module_, "DllCanUnloadNow");
    register_server_ = gn::proc_address<decltype(register_server_)>(module_, "DllRegisterServer");
    unregister_server_ = reinterpret_cast<decltype(unregister_server_)>(
        reinterpret_cast<void*>(GetProcAddress(module_, "DllUnregisterServer")));
}

LoadedModule::~LoadedModule() { unload(); }

void LoadedModule::unload() {
    if (module_) FreeLibrary(module_);
    module_ = nullptr;
}

HRESULT LoadedModule::get_class_object(REFCLSID clsid, REFIID riid, void** ppv) const {
    return get_class_object_ ? get_class_object_(clsid, riid, ppv) : E_UNEXPECTED;
}
HRESULT LoadedModule::can_unload_now() const {
    return can_unload_now_ ? can_unload_now_() : E_UNEXPECTED;
}
HRESULT LoadedModule::register_server() const {
    return register_server_ ? register_server_() : E_UNEXPECTED;
}
HRESULT LoadedModule::unregister_server() const {
    return unregister_server_ ? unregister_server_() : E_UNEXPECTED;
}

HRESULT LoadedModule::create(REFCLSID clsid, REFIID riid, void** ppv, IUnknown* outer) const {
    gn::com_ptr<IClassFactory> factory;
    RETURN_IF_FAILED(get_class_object(clsid, IID_IClassFactory, factory.put_void()));
    return factory->CreateInstance(outer, riid, ppv);
}

HRESULT register_type_library(const std::string& module_path) {
    std::wstring wide(module_path.begin(), module_path.end());
    gn::com_ptr<ITypeLib> lib;
    return LoadTypeLibEx(wide.c_str(), REGKIND_REGISTER, lib.put());
}

HRESULT unregister_type_library() {
    return UnRegisterTypeLib(LIBID_DZxLauncherLib, 1, 0, 0, kModuleSysKind);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string make_scratch_dir(const std::string& name) {
    const std::string dir = LoadedModule::program_dir() + "scratch\\" + name + "\\";
    CreateDirectoryA((LoadedModule::program_dir() + "scratch").c_str(), nullptr);
    CreateDirectoryA(dir.c_str(), nullptr);
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                SetFileAttributesA((dir + fd.cFileName).c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA((dir + fd.cFileName).c_str());
            }
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    return dir;
}

}  // namespace gntest
