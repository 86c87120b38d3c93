// The built module registered by the platform's own tool in the test prefix,
// then reached by programmatic identifier, then unregistered again.
#include <gtest/gtest.h>

#include <string>

#include "frame/com.h"
#include "frame/interfaces.h"
#include "support/module.h"
#include "tests/registration/registry_helpers.h"

namespace {

// Runs "regsvr32.exe <args>" and returns its exit code (or -1).
long run_regsvr32(const std::string& args) {
    std::string command = "regsvr32.exe " + args;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
        return -1;
    gn::unique_handle process(pi.hProcess);
    gn::unique_handle thread(pi.hThread);
    if (WaitForSingleObject(pi.hProcess, 120000) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    return static_cast<long>(code);
}

TEST(Regsvr32, RegistersCreatesByProgIdAndUnregisters) {
    const std::string path = gntest::LoadedModule::module_path();
    const std::string quoted = "\"" + path + "\"";
    ASSERT_EQ(0, run_regsvr32("/s " + quoted));

    EXPECT_EQ(path, gntest::read_text(HKEY_CLASSES_ROOT,
                                      "CLSID\\{A41C0E57-7B93-4D2A-8E16-C3F05B9D2E71}\\InprocServer32"));
    EXPECT_EQ("Controls safely scriptable!",
              gntest::read_text(HKEY_CLASSES_ROOT,
                                "Component Categories\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}", "409"));
    EXPECT_EQ("Controls safely initializable from persistent data!",
              gntest::read_text(HKEY_CLASSES_ROOT,
                                "Component Categories\\{7DD95802-9882-11CF-9FA9-00AA006C42C4}", "409"));

    ASSERT_EQ(S_OK, CoInitialize(nullptr));
    {
        CLSID clsid = {};
        ASSERT_EQ(S_OK, CLSIDFromProgID(L"DZxLauncher.MorvaneVersion", &clsid));
        EXPECT_TRUE(IsEqualCLSID(CLSID_MorvaneVersion, clsid));
        gn::com_ptr<IDispatch> version;
        ASSERT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                         version.put_void()));
        // The name resolves through the registered type library.
        wchar_t name[] = L"GetClientVersion";
        LPOLESTR names[] = {name};
        DISPID id = DISPID_UNKNOWN;
        EXPECT_EQ(S_OK, version->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
        EXPECT_NE(DISPID_UNKNOWN, id);
        DISPPARAMS none = {};
        gn::unique_variant result;
        version->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, result.put(),
                        nullptr, nullptr);
        version.reset();

        HMODULE loaded = GetModuleHandleA(path.c_str());
        ASSERT_TRUE(loaded);
        auto can_unload = reinterpret_cast<HRESULT(WINAPI*)()>(
            reinterpret_cast<void*>(GetProcAddress(loaded, "DllCanUnloadNow")));
        ASSERT_TRUE(can_unload);
        EXPECT_EQ(S_OK, can_unload());
    }
    CoUninitialize();

    ASSERT_EQ(0, run_regsvr32("/s /u " + quoted));
    CLSID clsid = {};
    EXPECT_NE(S_OK, CLSIDFromProgID(L"DZxLauncher.MorvaneVersion", &clsid));
    for (const char* gone : {"CLSID\\{A41C0E57-7B93-4D2A-8E16-C3F05B9D2E71}",
                             "CLSID\\{5B2D7A10-3C4E-4F81-9A6B-2E7C4D1F8A03}",
                             "TypeLib\\{C8E2F4A1-5D07-4B3C-9F62-81A7D3E0B5C9}", "dzdfile",
                             "MIME\\DataBase\\Content Type\\application/x-quorquery"})
        EXPECT_FALSE(gntest::key_exists(HKEY_CLASSES_ROOT, gone)) << gone;
}

TEST(Regsvr32, KeepsTheSystemsCategoryDescription) {
    // Every Windows declares the safe-for-scripting category with a text of
    // its own: registration leaves it, unregistration keeps the key.
    const char category[] = "Component Categories\\{7DD95801-9882-11CF-9FA9-00AA006C42C4}";
    const char own[] = "Controls that are safely scriptable";
    const std::string before = gntest::read_text(HKEY_CLASSES_ROOT, category, "409");
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueA(HKEY_CLASSES_ROOT, category, "409", REG_SZ, own, sizeof own));
    const std::string quoted = "\"" + gntest::LoadedModule::module_path() + "\"";
    ASSERT_EQ(0, run_regsvr32("/s " + quoted));
    EXPECT_EQ(own, gntest::read_text(HKEY_CLASSES_ROOT, category, "409"));
    ASSERT_EQ(0, run_regsvr32("/s /u " + quoted));
    EXPECT_EQ(own, gntest::read_text(HKEY_CLASSES_ROOT, category, "409"));
    if (before.empty())
        RegDeleteKeyA(HKEY_CLASSES_ROOT, category);
    else
        RegSetKeyValueA(HKEY_CLASSES_ROOT, category, "409", REG_SZ, before.c_str(),
                        static_cast<DWORD>(before.size() + 1));
}

TEST(Regsvr32, KeepsAForeignAssociation) {
    const HKEY root = HKEY_CLASSES_ROOT;
    RegDeleteTreeA(root, ".dzy");
    gntest::add_foreign_association(root, "gnforeignfile");
    const std::string dzy = gntest::dump_key(root, ".dzy");
    const std::string other = gntest::dump_key(root, "gnforeignfile");
    const std::string quoted = "\"" + gntest::LoadedModule::module_path() + "\"";
    ASSERT_EQ(0, run_regsvr32("/s " + quoted));
    const std::string saved = gntest::dump_key(root, "DZxLauncher.SavedAssociation");
    EXPECT_NE("", saved);
    ASSERT_EQ(0, run_regsvr32("/s " + quoted));
    EXPECT_EQ(saved, gntest::dump_key(root, "DZxLauncher.SavedAssociation"));
    ASSERT_EQ(0, run_regsvr32("/s /u " + quoted));
    EXPECT_EQ(dzy, gntest::dump_key(root, ".dzy"));
    EXPECT_EQ(other, gntest::dump_key(root, "gnforeignfile"));
    EXPECT_FALSE(gntest::key_exists(root, "DZxLauncher.SavedAssociation"));
    RegDeleteTreeA(root, ".dzy");
    RegDeleteTreeA(root, "gnforeignfile");
}

TEST(Regsvr32, SeesTheFailureOfABrokenModule) {
    // A copy whose version-service script is broken fails in the module stage
    // (no message box): the tool must see a failure code, not success.
    const std::string copy =
        gntest::module_with_script("regsvr32_broken", "HKCR { BrokenKey = q 'x' }");
    ASSERT_FALSE(copy.empty());
    const std::string quoted = "\"" + copy + "\"";
    EXPECT_NE(0, run_regsvr32("/s " + quoted));
    EXPECT_FALSE(gntest::key_exists(HKEY_CLASSES_ROOT, "BrokenKey"));
    // Unregistration removes what it can and reports that a stage failed
    // (regsvr32's code for a failed call).
    EXPECT_EQ(5, run_regsvr32("/s /u " + quoted));
    EXPECT_FALSE(gntest::key_exists(HKEY_CLASSES_ROOT, "CLSID\\{5B2D7A10-3C4E-4F81-9A6B-2E7C4D1F8A03}"));
    DeleteFileA(copy.c_str());
}

}  // namespace
