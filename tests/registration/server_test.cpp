// DllRegisterServer and DllUnregisterServer of GNLauncher.dll, loaded in this
// process, against a sandboxed HKEY_CLASSES_ROOT.
#include <gtest/gtest.h>
#include <olectl.h>
#include <shellapi.h>

#include <algorithm>
#include <memory>
#include <string>

#include "frame/interfaces.h"
#include "support/module.h"
#include "tests/registration/registry_helpers.h"

namespace {

using gntest::key_exists;
using gntest::read_text;
using gntest::read_value;

const char kLauncher[] = "{5B2D7A10-3C4E-4F81-9A6B-2E7C4D1F8A03}";
const char kDataFile[] = "{5B2D7A10-3C4E-4F81-9A6B-2E7C4D1F8A04}";
const char kVersion[] = "{A41C0E57-7B93-4D2A-8E16-C3F05B9D2E71}";
const char kTypeLib[] = "TypeLib\\{C8E2F4A1-5D07-4B3C-9F62-81A7D3E0B5C9}\\1.0";
// The library's path lies under the target system of the module's own flavor.
const char* const kTypeLibPath = sizeof(void*) == 8 ? "\\0\\win64" : "\\0\\win32";

// Dismisses any message box of this thread from a thread timer (its proc runs
// inside the box's own message loop) and keeps what it said.
class box_dismisser {
public:
    box_dismisser() { timer_ = SetTimer(nullptr, 0, 20, &box_dismisser::tick); }
    ~box_dismisser() { KillTimer(nullptr, timer_); }
    static bool seen;
    static std::string caption;
    static std::string text;

private:
    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD) {
        EnumThreadWindows(GetCurrentThreadId(), &box_dismisser::each, 0);
    }
    static BOOL CALLBACK each(HWND w, LPARAM) {
        char cls[64] = {};
        GetClassNameA(w, cls, sizeof cls);
        if (std::string(cls) != "#32770" || !IsWindowVisible(w)) return TRUE;
        char title[256] = {};
        GetWindowTextA(w, title, sizeof title);
        caption = title;
        EnumChildWindows(w, &box_dismisser::child, 0);
        seen = true;
        PostMessageA(w, WM_COMMAND, IDOK, 0);
        return FALSE;
    }
    static BOOL CALLBACK child(HWND w, LPARAM) {
        char cls[64] = {}, t[512] = {};
        GetClassNameA(w, cls, sizeof cls);
        GetWindowTextA(w, t, sizeof t);
        if (_stricmp(cls, "Static") == 0 && t[0]) text = t;
        return TRUE;
    }
    UINT_PTR timer_ = 0;
};
bool box_dismisser::seen = false;
std::string box_dismisser::caption;
std::string box_dismisser::text;

class Registration : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        sandbox_ = std::make_unique<gntest::registry_sandbox>(info->name());
        ASSERT_TRUE(sandbox_->ready());
        log_ = gntest::make_scratch_dir(std::string("reglog_") + info->name()) + "registration.log";
        gntest::set_log_variable(log_);
        box_dismisser::seen = false;
        box_dismisser::caption.clear();
        box_dismisser::text.clear();
    }
    void TearDown() override {
        if (module_) {
            EXPECT_EQ(S_OK, module_->can_unload_now());
            module_.reset();
        }
        gntest::set_log_variable("");
        sandbox_.reset();
        // Wine's category manager bypasses the sandbox: drop the empty class
        // keys it leaves in the prefix's own registry.
        for (const char* clsid : {kLauncher, kDataFile, kVersion}) {
            const std::string key = std::string("CLSID\\") + clsid;
            if (!key_exists(HKEY_CLASSES_ROOT, key + "\\InprocServer32"))
                RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str());
        }
        CoUninitialize();
    }
    // Loads the module (default: the built one) with the log switched on.
    const gntest::LoadedModule& load(const std::string& path = gntest::LoadedModule::module_path()) {
        module_ = std::make_unique<gntest::LoadedModule>(path);
        EXPECT_TRUE(module_->loaded()) << path;
        return *module_;
    }
    // The log without the runtime's CR before each line end.
    std::string log() const {
        std::string text = gntest::read_file(log_);
        text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
        return text;
    }
    bool logged(const std::string& line) const {
        return log().find("  " + line + "\n") != std::string::npos;
    }
    HKEY hkcr() const { return HKEY_CLASSES_ROOT; }
    gntest::registry_sandbox& sandbox() { return *sandbox_; }

    std::unique_ptr<gntest::registry_sandbox> sandbox_;
    std::unique_ptr<gntest::LoadedModule> module_;
    std::string log_;
};

std::string module_dir() { return gntest::LoadedModule::program_dir(); }

TEST_F(Registration, OnAnEmptyRegistryWritesEverything) {
    const auto& m = load();
    const std::string path = gntest::LoadedModule::module_path();
    {
        box_dismisser boxes;
        ASSERT_EQ(S_OK, m.register_server());
        EXPECT_FALSE(box_dismisser::seen);
    }
    for (const char* line :
         {"Start registration", "Created Key: MIME\\DataBase\\Content Type\\application/x-quorquery",
          "Set Value: Extension", "\tSet Value: CLSID", "Non existent Key: .dzy",
          "Created Key: .dzy", "---> Opened Key: .dzy", "\tSet Value: Content Type",
          "dzyfile key does not exist, creating...", "Store dzyfile on .dzy key.",
          "Created Key: CLSID", "\tSet Value: {5B2D7A10-3C4E-4F81-9A6B-2E7C4D1F8A03}",
          "Created Key: DocObject", "Marked control safe for initializing",
          "Marked control safe for scripting", "Register control for .dzd files"})
        EXPECT_TRUE(logged(line)) << line << "\n" << log();
    EXPECT_EQ(std::string::npos, log().find("No valid value stored"));
    EXPECT_EQ(std::string::npos, log().find("ERROR"));
    EXPECT_FALSE(key_exists(hkcr(), "DZxLauncher.SavedAssociation"));  // nothing foreign

    // Document type, data-file type, class scripts and the type library.
    const std::string mime = "MIME\\DataBase\\Content Type\\application/x-quorquery";
    const std::string data_mime = "MIME\\DataBase\\Content Type\\application/x-quorquerydata";
    const std::string launcher = std::string("CLSID\\") + kLauncher;
    const struct { std::string key; const char* name; std::string text; } rows[] = {
        {".dzy", nullptr, "dzyfile"},
        {".dzy", "Content Type", "application/x-quorquery"},
        {"dzyfile", nullptr, "QuorQuery Document"},
        {"dzyfile\\CLSID", nullptr, kLauncher},
        {"dzyfile\\DocObject", nullptr, "0"},
        {mime, "Extension", ".dzy"},
        {mime, "CLSID", kLauncher},
        {".dzd", nullptr, "dzdfile"},
        {".dzd", "Content Type", "application/x-quorquerydata"},
        {"dzdfile", nullptr, "Lumeric Data File"},
        {"dzdfile\\CLSID", nullptr, kDataFile},
        {"dzdfile\\DocObject", nullptr, "0"},
        {"dzdfile\\DefaultIcon", nullptr, path + ",2"},
        {data_mime, "CLSID", kDataFile},
        {data_mime, "Extension", ".dzd"},
        {launcher + "\\InprocServer32", nullptr, path},
        {launcher + "\\InprocServer32", "ThreadingModel", "Apartment"},
        {std::string("CLSID\\") + kDataFile + "\\ProgID", nullptr, "dzdfile"},
        {std::string("CLSID\\") + kVersion + "\\InprocServer32", nullptr, path},
        {"DZxLauncher.MorvaneVersion\\CurVer", nullptr, "DZxLauncher.MorvaneVersion.1"},
        {std::string(kTypeLib) + kTypeLibPath, nullptr, path},
        {std::string(kTypeLib) + "\\HELPDIR", nullptr, module_dir()},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.text, read_text(hkcr(), row.key, row.name)) << row.key << " " << (row.name ? row.name : "");
    const auto flags = read_value(hkcr(), "dzyfile", "EditFlags");
    EXPECT_EQ(DWORD(REG_DWORD), flags.type);
    EXPECT_EQ((std::vector<BYTE>{0, 0, 1, 0}), flags.bytes);
    EXPECT_EQ(DWORD(REG_DWORD), read_value(hkcr(), "dzdfile", "EditFlags").type);
    EXPECT_EQ(DWORD(REG_DWORD), read_value(hkcr(), "DZxLauncher.MorvaneLauncher.2", "EditFlags").type);
    EXPECT_FALSE(key_exists(hkcr(), std::string("CLSID\\") + kDataFile + "\\VersionIndependentProgID"));
    // Wine's category manager writes past the sandbox (it opens the machine's
    // classes key itself), so its description is checked with regsvr32 instead.
    EXPECT_TRUE(key_exists(hkcr(), launcher +
                                       "\\Implemented Categories\\{7DD95802-9882-11CF-9FA9-00AA006C42C4}"));
    // Every class may be loaded in an AppContainer (Enhanced Protected Mode) tab.
    for (const char* clsid : {kLauncher, kDataFile, kVersion})
        EXPECT_TRUE(key_exists(hkcr(), std::string("CLSID\\") + clsid +
                                           "\\Implemented Categories\\{59FB2056-D625-48D0-A944-1A85B5AB2640}"))
            << clsid;
}

TEST_F(Registration, RegisteringAgainChangesNothingAndUnregisteringKeepsTheNames) {
    const auto& m = load();
    ASSERT_EQ(S_OK, m.register_server());
    const std::string once = gntest::dump_tree(sandbox().root());
    ASSERT_EQ(S_OK, m.register_server());
    EXPECT_EQ(once, gntest::dump_tree(sandbox().root()));

    // Unregistering keeps ".dzy" and "dzyfile" with their names only.
    EXPECT_EQ(S_OK, m.unregister_server());
    EXPECT_TRUE(logged("Start unregistration"));
    EXPECT_EQ("dzyfile", read_text(hkcr(), ".dzy"));
    EXPECT_EQ("<none>", read_text(hkcr(), ".dzy", "Content Type"));
    EXPECT_EQ("QuorQuery Document", read_text(hkcr(), "dzyfile"));
    EXPECT_FALSE(key_exists(hkcr(), "dzyfile\\CLSID"));
    EXPECT_FALSE(key_exists(hkcr(), "dzyfile\\DocObject"));
    EXPECT_FALSE(read_value(hkcr(), "dzyfile", "EditFlags").present);
    for (const std::string& gone :
         {std::string("MIME\\DataBase\\Content Type\\application/x-quorquery"),
          std::string("MIME\\DataBase\\Content Type\\application/x-quorquerydata"), std::string(".dzd"),
          std::string("dzdfile"), std::string("CLSID\\") + kLauncher, std::string("CLSID\\") + kDataFile,
          std::string("CLSID\\") + kVersion, std::string("DZxLauncher.MorvaneLauncher.2"),
          std::string("DZxLauncher.MorvaneLauncher"), std::string("DZxLauncher.MorvaneVersion.1"),
          std::string("DZxLauncher.MorvaneVersion"), std::string(kTypeLib)})
        EXPECT_FALSE(key_exists(hkcr(), gone)) << gone;
    EXPECT_TRUE(key_exists(hkcr(), "CLSID"));
    EXPECT_EQ(S_OK, m.unregister_server());
}

TEST_F(Registration, ForeignAssociationIsKeptAndPutBack) {
    gntest::add_foreign_association(hkcr(), "otherfile");
    const std::string dzy = gntest::dump_key(hkcr(), ".dzy");
    const std::string other = gntest::dump_key(hkcr(), "otherfile");
    const auto& m = load();
    ASSERT_EQ(S_OK, m.register_server());
    EXPECT_TRUE(logged("Query Value on .dzy: otherfile"));
    EXPECT_TRUE(logged("Saved the association of .dzy: otherfile"));
    EXPECT_EQ(std::string::npos, log().find("No valid value stored"));
    EXPECT_EQ("otherfile", read_text(hkcr(), ".dzy"));
    EXPECT_EQ("application/x-quorquery", read_text(hkcr(), ".dzy", "Content Type"));
    EXPECT_EQ(kLauncher, read_text(hkcr(), "otherfile\\CLSID"));
    EXPECT_EQ("0", read_text(hkcr(), "otherfile\\DocObject"));
    EXPECT_EQ((std::vector<BYTE>{0, 0, 1, 0}), read_value(hkcr(), "otherfile", "EditFlags").bytes);
    EXPECT_FALSE(key_exists(hkcr(), "dzyfile"));
    const char saved[] = "DZxLauncher.SavedAssociation";
    EXPECT_EQ("{00000000-0000-0000-0000-0000000000AA}", read_text(hkcr(), std::string(saved) + "\\otherfile\\CLSID"));
    EXPECT_FALSE(key_exists(hkcr(), std::string(saved) + "\\otherfile\\DocObject"));  // was not there

    // A second registration keeps the originals, not the launcher's values.
    const std::string kept = gntest::dump_key(hkcr(), saved);
    ASSERT_EQ(S_OK, m.register_server());
    EXPECT_EQ(kept, gntest::dump_key(hkcr(), saved));

    // Unregistration puts everything back and forgets the saved copy.
    EXPECT_EQ(S_OK, m.unregister_server());
    EXPECT_EQ(dzy, gntest::dump_key(hkcr(), ".dzy"));
    EXPECT_EQ(other, gntest::dump_key(hkcr(), "otherfile"));
    EXPECT_FALSE(key_exists(hkcr(), saved));
    EXPECT_TRUE(logged("Restored the association of .dzy: otherfile"));
}

TEST_F(Registration, UnregistrationCleansDzyfileWhenDzyNamesItAgainBesideASavedAssociation) {
    gntest::add_foreign_association(hkcr(), "otherfile");
    const std::string other = gntest::dump_key(hkcr(), "otherfile");
    const auto& m = load();
    ASSERT_EQ(S_OK, m.register_server());
    // Another program hands ".dzy" back to "dzyfile"; registration fills it.
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueA(hkcr(), ".dzy", REG_SZ, "dzyfile", 7));
    ASSERT_EQ(S_OK, m.register_server());
    ASSERT_EQ(kLauncher, read_text(hkcr(), "dzyfile\\CLSID"));
    EXPECT_EQ(S_OK, m.unregister_server());
    EXPECT_FALSE(key_exists(hkcr(), "dzyfile\\CLSID"));
    EXPECT_FALSE(key_exists(hkcr(), "dzyfile\\DocObject"));
    EXPECT_FALSE(read_value(hkcr(), "dzyfile", "EditFlags").present);
    EXPECT_EQ(other, gntest::dump_key(hkcr(), "otherfile"));  // the saved one is put back too
}

TEST_F(Registration, UnregistrationLeavesValuesChangedSinceRegistration) {
    sandbox().add(".dzy", "otherfile");
    sandbox().add("otherfile", "Other Document");
    const auto& m = load();
    ASSERT_EQ(S_OK, m.register_server());
    // The other program takes its association back after registration.
    gntest::set_value(hkcr(), "otherfile\\CLSID", nullptr, REG_SZ, "{mine}", 7);
    gntest::set_value(hkcr(), ".dzy", "Content Type", REG_SZ, "text/mine", 10);
    EXPECT_EQ(S_OK, m.unregister_server());
    EXPECT_EQ("{mine}", read_text(hkcr(), "otherfile\\CLSID"));
    EXPECT_EQ("text/mine", read_text(hkcr(), ".dzy", "Content Type"));
    EXPECT_FALSE(key_exists(hkcr(), "otherfile\\DocObject"));
    EXPECT_FALSE(read_value(hkcr(), "otherfile", "EditFlags").present);
    EXPECT_EQ("Other Document", read_text(hkcr(), "otherfile"));
}

TEST_F(Registration, UnregistrationKeepsDataFileKeysAnotherProgramStillUses) {
    const auto& m = load();
    ASSERT_EQ(S_OK, m.register_server());
    sandbox().add("dzdfile\\shell\\open", "Open");
    sandbox().add(".dzd\\OpenWithProgids");
    EXPECT_EQ(S_OK, m.unregister_server());
    // The other program's subkeys and the names stay; what marks the type as
    // the launcher's and safe to open goes.
    EXPECT_EQ("Open", read_text(hkcr(), "dzdfile\\shell\\open"));
    EXPECT_EQ("Lumeric Data File", read_text(hkcr(), "dzdfile"));
    EXPECT_FALSE(read_value(hkcr(), "dzdfile", "EditFlags").present);
    for (const char* gone : {"dzdfile\\CLSID", "dzdfile\\DocObject", "dzdfile\\DefaultIcon"})
        EXPECT_FALSE(key_exists(hkcr(), gone)) << gone;
    EXPECT_TRUE(key_exists(hkcr(), ".dzd\\OpenWithProgids"));
}

TEST(ModuleIcons, SixGroupsAndTheDataFileIconLoads) {
    // "dzdfile"'s DefaultIcon names index 2 of the module.
    const std::string path = gntest::LoadedModule::module_path();
    EXPECT_EQ(6u, ExtractIconExA(path.c_str(), -1, nullptr, nullptr, 0));
    HICON large = nullptr, small_icon = nullptr;
    ASSERT_EQ(2u, ExtractIconExA(path.c_str(), 2, &large, &small_icon, 1));
    EXPECT_TRUE(large && small_icon);
    if (large) DestroyIcon(large);
    if (small_icon) DestroyIcon(small_icon);
}

TEST_F(Registration, InvalidDocumentDefaultsAreRepaired) {
    const std::string too_long(600, 'x');
    sandbox().add("Foreign\\Type", "must stay untouched");
    for (const std::string& bad : {std::string(""), std::string("missingfile"), too_long,
                                   std::string("Foreign\\Type")}) {
        SCOPED_TRACE(bad.substr(0, 20));
        sandbox().add(".dzy", bad.c_str());
        DeleteFileA(log_.c_str());
        module_.reset();
        const auto& m = load();
        ASSERT_EQ(S_OK, m.register_server());
        EXPECT_TRUE(logged("No valid value stored on \"(Default)\" value of .dzy key - fixing..."))
            << log();
        EXPECT_TRUE(logged("Store dzyfile on .dzy key."));
        EXPECT_EQ("dzyfile", read_text(hkcr(), ".dzy"));
        EXPECT_EQ(kLauncher, read_text(hkcr(), "dzyfile\\CLSID"));
        EXPECT_EQ(S_OK, m.unregister_server());
        EXPECT_FALSE(key_exists(hkcr(), "Foreign\\Type\\CLSID"));
        EXPECT_EQ("must stay untouched", read_text(hkcr(), "Foreign\\Type"));
    }
}

TEST_F(Registration, UnregisterWithClsidValueOnTheExtensionLeavesTheTypeKey) {
    sandbox().add(".dzy", "otherfile");
    sandbox().add("otherfile\\CLSID", "{00000000-0000-0000-0000-000000000001}");
    HKEY h = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(hkcr(), ".dzy", 0, KEY_WRITE, &h));
    RegSetValueExA(h, "CLSID", 0, REG_SZ, reinterpret_cast<const BYTE*>(kLauncher), 39);
    RegSetValueExA(h, "Content Type", 0, REG_SZ,
                   reinterpret_cast<const BYTE*>("application/x-quorquery"), 24);
    RegCloseKey(h);
    const auto& m = load();
    EXPECT_EQ(S_OK, m.unregister_server());
    EXPECT_FALSE(read_value(hkcr(), ".dzy", "CLSID").present);
    EXPECT_FALSE(read_value(hkcr(), ".dzy", "Content Type").present);
    EXPECT_EQ("{00000000-0000-0000-0000-000000000001}", read_text(hkcr(), "otherfile\\CLSID"));
}

TEST_F(Registration, FailingModuleStageWritesNoDocumentKeysAndShowsNoBox) {
    // Below a volatile key no lasting key can be created.
    sandbox().add("CLSID", nullptr, true);
    const auto& m = load();
    box_dismisser boxes;
    EXPECT_EQ(SELFREG_E_CLASS, m.register_server());
    EXPECT_FALSE(box_dismisser::seen);
    EXPECT_TRUE(logged("_Module.RegisterServer() failed")) << log();
    EXPECT_EQ(std::string::npos, log().find("ERROR: Cannot register"));
    for (const char* untouched : {"MIME", ".dzy", ".dzd", "dzyfile", "dzdfile",
                                  "DZxLauncher.MorvaneLauncher.2", "DZxLauncher.MorvaneLauncher"})
        EXPECT_FALSE(key_exists(hkcr(), untouched)) << untouched;
}

TEST_F(Registration, FailingDocumentStageShowsTheBoxAndFails) {
    sandbox().add("dzdfile", nullptr, true);
    const auto& m = load();
    box_dismisser boxes;
    EXPECT_EQ(SELFREG_E_CLASS, m.register_server());
    EXPECT_TRUE(box_dismisser::seen);
    EXPECT_EQ("Registration Error", box_dismisser::caption);
    EXPECT_EQ("Cannot register MorvaneLauncher class", box_dismisser::text);
    EXPECT_TRUE(logged("Failed to open/create key: CLSID")) << log();
    EXPECT_TRUE(logged("ERROR: Cannot register MorvaneLauncher class"));
    EXPECT_EQ(S_OK, m.unregister_server());
}

TEST_F(Registration, ModulePathWithAQuoteIsWrittenOnce) {
    const std::string dir = gntest::make_scratch_dir("quo'te");
    const std::string copy = dir + "GNLauncher.dll";
    ASSERT_TRUE(CopyFileA(gntest::LoadedModule::module_path().c_str(), copy.c_str(), FALSE));
    {
        const auto& m = load(copy);
        ASSERT_EQ(S_OK, m.register_server());
        EXPECT_EQ(copy, read_text(hkcr(), std::string("CLSID\\") + kLauncher + "\\InprocServer32"));
        EXPECT_EQ(copy + ", 101",
                  read_text(hkcr(), std::string("CLSID\\") + kLauncher + "\\ToolboxBitmap32"));
        EXPECT_EQ(copy + ",2", read_text(hkcr(), "dzdfile\\DefaultIcon"));
        EXPECT_EQ(copy, read_text(hkcr(), std::string(kTypeLib) + kTypeLibPath));
        EXPECT_EQ(dir, read_text(hkcr(), std::string(kTypeLib) + "\\HELPDIR"));
        EXPECT_EQ(S_OK, m.unregister_server());
        EXPECT_FALSE(key_exists(hkcr(), std::string("CLSID\\") + kLauncher));
    }
    EXPECT_EQ(S_OK, module_->can_unload_now());
    module_.reset();
    DeleteFileA(copy.c_str());
}

TEST_F(Registration, BrokenScriptInTheModuleLeavesItsKeysUnwritten) {
    sandbox().add("Volatile", nullptr, true);
    const struct {
        const char* name;
        const char* script;
        HRESULT unregistered;  // a script that cannot even be read fails unregistration too
    } cases[] = {
        {"syntax", "HKCR\r\n{\r\n\tTestA = s 'a'\r\n\t{\r\n\t\tTestB\r\n\t}\r\n\tTestC = q 'x'\r\n}\r\n",
         SELFREG_E_CLASS},
        {"create", "HKCR { TestA = s 'a' { TestB } NoRemove Volatile { TestC } }", S_OK},
        {"unterminated", "HKCR { TestA = s '%MODULE }", SELFREG_E_CLASS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string copy = gntest::module_with_script(std::string("script_") + c.name, c.script);
        ASSERT_FALSE(copy.empty());
        module_.reset();
        DeleteFileA(log_.c_str());
        const auto& m = load(copy);
        box_dismisser boxes;
        EXPECT_EQ(SELFREG_E_CLASS, m.register_server());
        EXPECT_FALSE(box_dismisser::seen);
        EXPECT_TRUE(logged("_Module.RegisterServer() failed"));
        EXPECT_TRUE(key_exists(hkcr(), std::string("CLSID\\") + kLauncher));  // earlier scripts stay
        EXPECT_FALSE(key_exists(hkcr(), "TestA"));
        EXPECT_FALSE(key_exists(hkcr(), "Volatile\\TestC"));
        EXPECT_TRUE(key_exists(hkcr(), "Volatile"));
        // The intact scripts are undone; the broken one makes it a failure.
        EXPECT_EQ(c.unregistered, m.unregister_server());
        EXPECT_EQ(c.unregistered != S_OK, logged("_Module.UnregisterServer() failed"));
        EXPECT_FALSE(key_exists(hkcr(), std::string("CLSID\\") + kLauncher));
        EXPECT_EQ(S_OK, m.can_unload_now());
        module_.reset();
        DeleteFileA(copy.c_str());
    }
}

}  // namespace
