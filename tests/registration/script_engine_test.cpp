// The registry script text handling and both walks, on an in-memory key store.
#include <gtest/gtest.h>

#include <string>

#include "frame/com.h"
#include "registration/script_text.h"
#include "support/module.h"
#include "tests/registration/fake_registry.h"

namespace {

using gntest::fake_registry;

// Expands text with "Module" = module and returns the result (or the failure).
HRESULT expand(const std::string& text, std::string* out, const wchar_t* module = L"C:\\m.dll") {
    gn::replacement_map map;
    EXPECT_EQ(S_OK, map.add(L"Module", module));
    char* expanded = nullptr;
    const HRESULT hr = gn::expand_script(text.c_str(), map, &expanded);
    if (expanded) *out = expanded;
    CoTaskMemFree(expanded);
    return hr;
}

// Expands and runs a script on the store.
HRESULT run(fake_registry& reg, const std::string& text, bool do_register,
            const wchar_t* module = L"C:\\dir\\GNLauncher.dll") {
    std::string expanded;
    const HRESULT hr = expand(text, &expanded, module);
    if (FAILED(hr)) return hr;
    return gn::run_script_text(reg, expanded.c_str(), do_register);
}

// A registry script carried by the built module.
std::string module_script(UINT id) {
    gn::unique_hmodule file(LoadLibraryExA(gntest::LoadedModule::module_path().c_str(), nullptr,
                                           LOAD_LIBRARY_AS_DATAFILE));
    if (!file) return {};
    HRSRC res = FindResourceA(file.get(), MAKEINTRESOURCEA(id), "REGISTRY");
    if (!res) return {};
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(file.get(), res)));
    return std::string(bytes, SizeofResource(file.get(), res));
}

class ScriptEngine : public ::testing::Test {
protected:
    void TearDown() override { EXPECT_EQ(0, reg.open_handles()); }
    fake_registry reg;
};

TEST(ScriptText, ExpandsReplacementsAndPercentSigns) {
    std::string out;
    EXPECT_EQ(S_OK, expand("a %% b %module% c %MODULE%", &out, L"X%%Y"));
    EXPECT_EQ("a % b X%%Y c X%%Y", out);  // an inserted value is not scanned again

    // Values much longer than the text grow the buffer.
    const std::wstring long_value(5000, L'v');
    EXPECT_EQ(S_OK, expand("%Module%%Module%", &out, long_value.c_str()));
    EXPECT_EQ(10000u, out.size());

    EXPECT_EQ(DISP_E_EXCEPTION, expand("HKCR { %Unknown% }", &out));
    EXPECT_EQ(DISP_E_EXCEPTION, expand("HKCR { %Module", &out));
    EXPECT_EQ(DISP_E_EXCEPTION, expand(std::string("%") + std::string(31, 'n') + "%", &out));
    EXPECT_EQ(E_FAIL, expand(std::string("%") + std::string(32, 'n') + "%", &out));
    EXPECT_EQ(E_FAIL, expand(std::string("%") + std::string(5000, 'n') + "%", &out));
}

TEST(ScriptText, DoublesSingleQuotesWithinCapacity) {
    wchar_t out[16];
    EXPECT_TRUE(gn::double_single_quotes(L"a'b''", out, 16));
    EXPECT_STREQ(L"a''b''''", out);
    EXPECT_FALSE(gn::double_single_quotes(L"''''''''", out, 16));
    EXPECT_STREQ(L"", out);
    EXPECT_TRUE(gn::double_single_quotes(L"1234567'", out, 10));
}

TEST(ScriptText, RootNamesWithoutCase) {
    EXPECT_EQ(HKEY_CLASSES_ROOT, gn::root_key_for("hkcr"));
    EXPECT_EQ(HKEY_CLASSES_ROOT, gn::root_key_for("HKEY_Classes_Root"));
    EXPECT_EQ(HKEY_CURRENT_CONFIG, gn::root_key_for("HKCC"));
    EXPECT_EQ(HKEY_USERS, gn::root_key_for("HKU"));
    EXPECT_EQ(nullptr, gn::root_key_for("HKXX"));
    EXPECT_EQ(nullptr, gn::root_key_for(""));
}

TEST_F(ScriptEngine, RegistersKeysValuesAndTypes) {
    const char* script =
        "HKCR\r\n{\r\n\tTop = s 'it''s here'\r\n\t{\r\n"
        "\t\t'Implemented Categories'\r\n"
        "\t\tval Flags = d 65536\r\n"
        "\t\tval Bytes = b aB0f\r\n"
        "\t\tVAL Empty = B ''\r\n"
        "\t\tval 'Spaced Name' = S %MODULE%\r\n"
        "\t\ta=b\r\n"
        "\t}\r\n}\r\n"
        "HKCU { Second }";
    EXPECT_EQ(S_OK, run(reg, script, true, L"C:\\o'k\\m.dll"));
    EXPECT_EQ("it's here", reg.text("Top"));
    EXPECT_TRUE(reg.exists("Top\\Implemented Categories"));
    EXPECT_TRUE(reg.exists("Top\\a=b"));
    const auto* flags = reg.value("Top", "Flags");
    ASSERT_TRUE(flags);
    EXPECT_EQ(DWORD(REG_DWORD), flags->type);
    EXPECT_EQ((std::vector<BYTE>{0x00, 0x00, 0x01, 0x00}), flags->data);
    const auto* bytes = reg.value("Top", "Bytes");
    ASSERT_TRUE(bytes);
    EXPECT_EQ(DWORD(REG_BINARY), bytes->type);
    EXPECT_EQ((std::vector<BYTE>{0xAB, 0x0F}), bytes->data);
    ASSERT_TRUE(reg.value("Top", "Empty"));
    EXPECT_TRUE(reg.value("Top", "Empty")->data.empty());
    EXPECT_EQ("C:\\o'k\\m.dll", reg.text("Top", "Spaced Name"));
    EXPECT_TRUE(reg.find("Second", HKEY_CURRENT_USER));
}

TEST_F(ScriptEngine, ModulePathWithQuoteArrivesWithOneQuote) {
    EXPECT_EQ(S_OK, run(reg, module_script(5102), true, L"C:\\it''s\\GNLauncher.dll"));
    EXPECT_EQ("C:\\it's\\GNLauncher.dll",
              reg.text("CLSID\\{5B2D7A10-3C4E-4F81-9A6B-2E7C4D1F8A03}\\InprocServer32"));
    EXPECT_EQ("C:\\it's\\GNLauncher.dll, 101",
              reg.text("CLSID\\{5B2D7A10-3C4E-4F81-9A6B-2E7C4D1F8A04}\\ToolboxBitmap32"));
}

TEST_F(ScriptEngine, RegisteringKeepsForeignContentExceptUnderForceRemove) {
    reg.add("Kept\\Foreign", "f");
    fake_registry::set_string(reg.add("Kept"), "Other", "o");
    reg.add("Wiped\\Foreign\\Deep", "f");
    reg.add("CLSID\\{Foreign}");
    reg.add("TypeLib\\{Foreign}");
    EXPECT_EQ(S_OK, run(reg,
                        "HKCR { Kept = s 'k' { Mine } ForceRemove Wiped = s 'w' { Mine } "
                        "ForceRemove clsid { Mine } Delete TYPELIB = s 'x' Delete Missing }",
                        true));
    EXPECT_EQ("k", reg.text("Kept"));
    EXPECT_EQ("o", reg.text("Kept", "Other"));
    EXPECT_TRUE(reg.exists("Kept\\Foreign"));
    EXPECT_TRUE(reg.exists("Kept\\Mine"));
    EXPECT_FALSE(reg.exists("Wiped\\Foreign"));
    EXPECT_TRUE(reg.exists("Wiped\\Mine"));
    EXPECT_TRUE(reg.exists("CLSID\\{Foreign}"));  // protected names are never wiped
    EXPECT_TRUE(reg.exists("CLSID\\Mine"));
    EXPECT_TRUE(reg.exists("TypeLib\\{Foreign}"));
}

TEST_F(ScriptEngine, OddBinaryFailsAndWritesNothingOfThatBlock) {
    EXPECT_EQ(E_FAIL, run(reg, "HKCU { Earlier } HKCR { Before Bad { val Bytes = b abc } }", true));
    EXPECT_TRUE(reg.find("Earlier", HKEY_CURRENT_USER));  // earlier root blocks stay
    EXPECT_FALSE(reg.exists("Before"));
    EXPECT_FALSE(reg.exists("Bad"));
}

TEST_F(ScriptEngine, UnregisterKeepsNoRemoveAndForeignSubkeys) {
    reg.add("CLSID\\{Foreign}");
    EXPECT_EQ(S_OK, run(reg, module_script(5102), true));
    EXPECT_EQ(S_OK, run(reg, module_script(5106), true));
    EXPECT_EQ(S_OK, run(reg, module_script(5102), false));
    EXPECT_EQ(S_OK, run(reg, module_script(5106), false));
    EXPECT_EQ(S_OK, run(reg, module_script(5102), false));  // twice: nothing left to open
    EXPECT_TRUE(reg.exists("CLSID\\{Foreign}"));
    const auto* clsid = reg.find("CLSID");
    ASSERT_TRUE(clsid);
    EXPECT_EQ(1u, clsid->keys.size());
    for (const char* key : {"DZxLauncher.MorvaneLauncher.2", "DZxLauncher.MorvaneLauncher",
                            "DZxLauncher.MorvaneVersion.1", "DZxLauncher.MorvaneVersion"})
        EXPECT_FALSE(reg.exists(key)) << key;
}

TEST_F(ScriptEngine, OwnViewUnregistersOnlyTheClassKeys) {
    for (UINT id : {5102u, 5106u}) EXPECT_EQ(S_OK, run(reg, module_script(id), true));
    gn::own_view_store view(reg);
    for (UINT id : {5102u, 5106u}) {
        std::string expanded;
        ASSERT_EQ(S_OK, expand(module_script(id), &expanded, L"C:\\dir\\GNLauncher.dll"));
        EXPECT_EQ(S_OK, gn::run_script_text(view, expanded.c_str(), false));
    }
    // The class keys are the view's own; the identifiers are shared.
    EXPECT_EQ(0u, reg.find("CLSID")->keys.size());
    for (const char* key : {"DZxLauncher.MorvaneLauncher.2", "DZxLauncher.MorvaneLauncher",
                            "DZxLauncher.MorvaneVersion.1", "DZxLauncher.MorvaneVersion"})
        EXPECT_TRUE(reg.exists(key)) << key;
    HKEY key = nullptr;
    EXPECT_EQ(ERROR_ACCESS_DENIED, view.create(HKEY_CLASSES_ROOT, "Shared", &key));
    EXPECT_EQ(ERROR_ACCESS_DENIED, view.create(HKEY_CURRENT_USER, "CLSID", &key));
    EXPECT_EQ(ERROR_ACCESS_DENIED, view.delete_key(HKEY_CLASSES_ROOT, "DZxLauncher.MorvaneVersion"));
    EXPECT_FALSE(reg.exists("Shared"));
}

TEST_F(ScriptEngine, NoRemoveKeepsLaterKeysOfItsBlock) {
    const char* script = "HKCR { Outer { First NoRemove Kept Later } Sibling }";
    EXPECT_EQ(S_OK, run(reg, script, true));
    EXPECT_EQ(S_OK, run(reg, script, false));
    EXPECT_FALSE(reg.exists("Outer\\First"));
    EXPECT_TRUE(reg.exists("Outer\\Kept"));
    EXPECT_TRUE(reg.exists("Outer\\Later"));
    EXPECT_TRUE(reg.exists("Outer"));  // still has subkeys
    EXPECT_FALSE(reg.exists("Sibling"));
}

TEST_F(ScriptEngine, UnregisterDeletesListedKeysAroundMissingOnes) {
    reg.add("Outer\\Present");
    reg.add("Outer\\Listed\\Foreign");
    fake_registry::set_string(reg.add("Outer\\WithValue"), "Named", "v");
    EXPECT_EQ(S_OK, run(reg, "HKCR { Outer { Missing Present Listed { Gone } WithValue } }", false));
    EXPECT_FALSE(reg.exists("Outer\\Present"));
    EXPECT_TRUE(reg.exists("Outer\\Listed\\Foreign"));
    EXPECT_FALSE(reg.exists("Outer\\WithValue"));
    EXPECT_TRUE(reg.exists("Outer"));
}

TEST_F(ScriptEngine, FailedKeyCreationRollsTheBlockBack) {
    reg.refuse_create.insert("Refused");
    EXPECT_EQ(DISP_E_EXCEPTION,
              run(reg, "HKCU { Earlier } HKCR { A = s 'a' { B { val V = s v } } C { Refused } }",
                  true));
    EXPECT_TRUE(reg.find("Earlier", HKEY_CURRENT_USER));
    EXPECT_FALSE(reg.exists("A"));
    EXPECT_FALSE(reg.exists("C"));
}

// Hostile scripts: a clear result, no open handle, and nothing changed.
struct hostile_case {
    const char* name;
    std::string script;
    HRESULT expected;
};

TEST_F(ScriptEngine, HostileScriptsChangeNothing) {
    std::string deep;
    for (int i = 0; i < 20000; ++i) deep += "k { ";
    const std::vector<hostile_case> cases = {
        {"unbalanced open", "HKCR { A { B }", DISP_E_EXCEPTION},
        {"unbalanced close", "HKCR { A } }", DISP_E_EXCEPTION},
        {"no brace", "HKCR A { }", DISP_E_EXCEPTION},
        {"unknown root", "HKXX { A }", DISP_E_EXCEPTION},
        {"unknown type", "HKCR { A = q 'x' }", DISP_E_EXCEPTION},
        {"missing value", "HKCR { A = s", DISP_E_EXCEPTION},
        {"val without equals", "HKCR { A { val V s 'x' } }", DISP_E_EXCEPTION},
        {"unterminated quote", "HKCR { A = s 'x }", DISP_E_EXCEPTION},
        {"unterminated percent", "HKCR { A = s '%Module }", DISP_E_EXCEPTION},
        {"unknown replacement", "HKCR { A = s '%Nope%' }", DISP_E_EXCEPTION},
        {"long replacement name", "HKCR { A = s '%" + std::string(40, 'x') + "%' }", E_FAIL},
        {"token of 4095 bytes", "HKCR { A = s '" + std::string(4095, 'x') + "' }",
         DISP_E_EXCEPTION},
        {"bare token of 9000 bytes", "HKCR { A " + std::string(9000, 'x') + " }",
         DISP_E_EXCEPTION},
        {"value name of 260 bytes", "HKCR { A { val " + std::string(260, 'v') + " = s x } }",
         DISP_E_EXCEPTION},
        {"backslash in key", "HKCR { A { 'B\\C' } }", DISP_E_EXCEPTION},
        {"backslash after ForceRemove", "HKCR { A ForceRemove ..\\CLSID }", DISP_E_EXCEPTION},
        {"empty key name", "HKCR { A { ForceRemove '' } }", DISP_E_EXCEPTION},
        {"block after Delete", "HKCR { A Delete B { C } }", DISP_E_EXCEPTION},
        {"block after Val", "HKCR { A { val V = s x { C } } }", DISP_E_EXCEPTION},
        {"assignment after block", "HKCR { A { } = s x }", DISP_E_EXCEPTION},
        {"not a number", "HKCR { A { val V = d 12abc } }", DISP_E_EXCEPTION},
        {"nesting too deep", "HKCR { " + deep, DISP_E_EXCEPTION},
        {"odd binary", "HKCR { A { val V = b 123 } }", E_FAIL},
    };
    reg.add("A\\Foreign", "keep");
    reg.add("CLSID\\{Foreign}");
    const std::string before = reg.dump();
    // Each refusal names its place: the first report is the failure's origin.
    static gn::failure_report first;
    const gn::failure_hook saved = gn::set_failure_hook([](const gn::failure_report& f) noexcept {
        if (!first.file) first = f;
    });
    auto restore = gn::scope_exit([saved] { gn::set_failure_hook(saved); });
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        first = {};
        const unsigned long count = gn::failure_count();
        const HRESULT hr = run(reg, c.script, true);
        EXPECT_EQ(c.expected, hr) << std::hex << hr;
        EXPECT_EQ(c.expected, first.hr);
        EXPECT_EQ(0u, std::string(first.file ? first.file : "").rfind("registration/script_", 0));
        EXPECT_GT(first.line, 0);
        EXPECT_GT(gn::failure_count(), count);
        EXPECT_EQ(before, reg.dump());
        EXPECT_EQ(0, reg.open_handles());
        const HRESULT unreg = run(reg, c.script, false);
        EXPECT_EQ(c.expected, unreg);
        EXPECT_EQ(before, reg.dump());
    }
}

TEST_F(ScriptEngine, EveryTruncationOfTheLauncherScriptChangesNothing) {
    const std::string script = module_script(5102);
    ASSERT_GT(script.size(), 1000u);
    reg.add("CLSID\\{Foreign}");
    reg.add("DZxLauncher.MorvaneLauncher", "foreign default");
    const std::string before = reg.dump();
    size_t last_brace = script.find_last_of('}');
    for (size_t n = 1; n <= last_brace; n += 7) {
        const std::string cut = script.substr(0, n);
        if (cut.find_first_not_of(" \t\r\n") == std::string::npos) continue;
        SCOPED_TRACE(n);
        const HRESULT hr = run(reg, cut, true);
        EXPECT_TRUE(FAILED(hr));
        EXPECT_EQ(before, reg.dump());
    }
    EXPECT_EQ(S_OK, run(reg, script, true));
    EXPECT_EQ(S_OK, run(reg, script, false));
}

}  // namespace
