// The health check's rules: one fault per row, from a healthy 64-bit machine
// with both flavors registered.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "check/check_text.h"

namespace {

using namespace gn::check;

file_facts file(const char* path, file_bits bits) { return {path, true, bits, "8.3.2.122"}; }

view_facts healthy_view(int bits) {
    const bool b64 = bits == 64;
    const std::string dir =
        b64 ? "C:\\Program Files\\GNLauncher\\" : "C:\\Program Files (x86)\\GNLauncher\\";
    const file_bits fb = b64 ? file_bits::x64 : file_bits::x86;
    view_facts v;
    v.bits = bits;
    v.exists = true;
    v.launcher = {true, file((dir + "GNLauncher.dll").c_str(), fb), {}};
    v.version = v.launcher;
    const char* launcher = "{5B2D7A10-3C4E-4F81-9A6B-2E7C4D1F8A03}";
    const char* version = "{A41C0E57-7B93-4D2A-8E16-C3F05B9D2E71}";
    for (int i = 0; i < 4; ++i)
        v.progids[i] = {true, "", kProgIds[i].version_service ? version : launcher, "", ""};
    v.mime_document = {true, "", launcher, "", ".dzy"};
    v.mime_data = {true, "", "{5B2D7A10-3C4E-4F81-9A6B-2E7C4D1F8A04}", "", ".dzd"};
    v.dzy = {true, "dzyfile", "", "application/x-quorquery", ""};
    v.dzd = {true, "dzdfile", "", "application/x-quorquerydata", ""};
    v.dzy_type = "dzyfile";
    v.dzy_type_key = {true, "QuorQuery Document", launcher, "", ""};
    v.dzdfile = {true, "Lumeric Data File", "{5B2D7A10-3C4E-4F81-9A6B-2E7C4D1F8A04}", "", ""};
    v.typelib_path = dir + "GNLauncher.dll";
    v.typelib_exists = v.helpdir_exists = true;
    v.helpdir = dir;
    const char* names[3] = {"ILauncher", "IMorvaneVersion", "ICtlHost6x"};
    for (int i = 0; i < 3; ++i)
        v.interfaces[i] = {names[i], "{00020424-0000-0000-C000-000000000046}",
                           "{C8E2F4A1-5D07-4B3C-9F62-81A7D3E0B5C9}", "1.0"};
    v.legacy = {true, file("C:\\Q\\legacy.dll", fb), {}};
    v.plugin = {true, file("C:\\Q\\plugin.dll", fb), {}};
    v.allowed_sites = {"intranet.example"};
    return v;
}

machine_facts healthy() {
    machine_facts m;
    m.own_bits = 64;
    m.windows_64 = true;
    m.system_root = "C:\\windows";
    m.own_folder = "C:\\Program Files\\GNLauncher\\";
    m.views[0] = healthy_view(64);
    m.views[1] = healthy_view(32);
    m.temp_folder = "C:\\T\\";
    m.temp_writable = true;
    return m;
}

struct fault_row {
    const char* name;
    std::function<void(machine_facts&)> fault;
    verdict level;     // of the first finding that is not OK
    const char* text;  // in its check or why
    const char* fix;   // in its fix
};

const fault_row kRows[] = {
    {"healthy", [](machine_facts&) {}, verdict::ok, "", ""},
    {"other view's interfaces",
     [](machine_facts& m) {
         m.views[1].interfaces[0] = {"ILauncher", "", "", ""};
     },
     verdict::problem, "ILauncher missing", "SysWOW64\\regsvr32.exe \"C:\\Program Files (x86)"},
    {"helpdir gone", [](machine_facts& m) { m.views[0].helpdir_exists = false; }, verdict::problem,
     "HELPDIR", "System32\\regsvr32"},
    {"dll gone", [](machine_facts& m) { m.views[0].launcher.file.exists = false; }, verdict::problem,
     "file is gone", "regsvr32.exe \"C:\\Program Files\\GNLauncher\\GNLauncher.dll\""},
    {"dll gone, package",
     [](machine_facts& m) {
         m.views[0].launcher.file.exists = false;
         m.views[0].package_version = "8.3.2.122";
     },
     verdict::problem, "file is gone", "msiexec /i GNLauncher-8.3.2.122-x64.msi REINSTALL=ALL"},
    {"wrong-flavor dll", [](machine_facts& m) { m.views[0].launcher.file.bits = file_bits::x86; },
     verdict::problem, "32-bit file", "regsvr32"},
    {"plugin unregistered",
     [](machine_facts& m) {
         m.views[0].plugin = {};
         m.views[1].plugin = {};
     },
     verdict::problem, "not registered: documents cannot open", "QuorQuery client"},
    {"plugin 32-bit only", [](machine_facts& m) { m.views[0].plugin = {}; }, verdict::problem,
     "32-bit view only", "64-bit"},
    {"plugin of the other bitness",
     [](machine_facts& m) { m.views[0].plugin.file.bits = file_bits::x86; }, verdict::problem,
     "a 32-bit file in the 64-bit view", "64-bit"},
    {"kill bit on legacy",
     [](machine_facts& m) {
         m.views[0].legacy.addon = {true, false, "kill bit", "reg delete K", "", ""};
     },
     verdict::warning, "kill bit", "reg delete K"},
    {"plugin blocked",
     [](machine_facts& m) { m.views[0].plugin.addon = {true, false, "list 0", "reg delete L", "", ""}; },
     verdict::problem, "documents cannot open", "reg delete L"},
    {"legacy file gone", [](machine_facts& m) { m.views[0].legacy.file.exists = false; },
     verdict::warning, "not installed", "6.x"},
    {"foreign .dzy",
     [](machine_facts& m) { m.views[0].dzy.value_default = m.views[0].dzy_type = "Other.Doc"; },
     verdict::warning, "another program's type \"Other.Doc\"", "reg add HKCR\\.dzy /ve /d dzyfile"},
    {"progid", [](machine_facts& m) { m.views[0].progids[3] = {}; }, verdict::problem,
     "MorvaneVersion.1 (missing)", "regsvr32"},
    {"mime", [](machine_facts& m) { m.views[1].mime_data.clsid = "{0}"; }, verdict::problem, "names {0}",
     "SysWOW64"},
    {"typelib gone", [](machine_facts& m) { m.views[0].typelib_path.clear(); }, verdict::problem,
     "not registered for win64", ""},
    {"refusing url",
     [](machine_facts& m) {
         m.url = {true, "http://pages.example.test/a.html", 3};
     },
     verdict::warning, "only mappings of its own host pages.example.test",
     "AllowedSites\" /v pages.example.test"},
    {"listed url",
     [](machine_facts& m) {
         m.url = {true, "http://Intranet.Example./", 4};
     },
     verdict::ok, "", ""},
    {"ignored site", [](machine_facts& m) { m.views[0].ignored_sites = {"bad"}; }, verdict::warning,
     "no text are ignored: bad", "REG_SZ"},
    {"stale temp",
     [](machine_facts& m) {
         m.stale_files = 3;
         m.oldest_age_s = 7200;
     },
     verdict::warning, "3 DZ*.tmp file(s) left in C:\\T\\, the oldest 2 h", "del \"C:\\T\\DZ*.tmp\""},
    {"temp not writable", [](machine_facts& m) { m.temp_writable = false; }, verdict::problem,
     "not writable", "TEMP"},
    {"log folder gone",
     [](machine_facts& m) {
         m.log_env_set = true;
         m.log_env = "Q:\\no\\x.log";
     },
     verdict::warning, "does not exist", "setx GNLAUNCHERLOG"},
    {"32-bit windows",
     [](machine_facts& m) {
         m = {};
         m.own_folder = "C:\\GN\\";
         m.views[0] = healthy_view(32);
         m.views[0].launcher = {};
     },
     verdict::problem, "not registered: 32-bit browsers", "regsvr32 \"C:\\GN\\GNLauncher.dll\""},
    {"alternate",
     [](machine_facts& m) {
         m.views[1].legacy.addon = {false, true, "kill bit", "", "list (K \"V\")", "reg delete K"};
     },
     verdict::warning, "replaced by the administrator's settings", ""},
};

TEST(CheckText, EachFaultNamedWithItsFix) {
    for (const fault_row& row : kRows) {
        machine_facts m = healthy();
        row.fault(m);
        const std::vector<finding> found = findings(m);
        EXPECT_EQ(static_cast<int>(row.level), exit_code(found)) << row.name;
        const finding* first = nullptr;
        for (const finding& f : found)
            if (!first && f.level != verdict::ok) first = &f;
        if (row.level == verdict::ok) continue;
        ASSERT_NE(nullptr, first) << row.name;
        EXPECT_EQ(row.level, first->level) << row.name;
        EXPECT_NE(std::string::npos, (first->check + ": " + first->why).find(row.text))
            << row.name << ": " << first->why;
        EXPECT_NE(std::string::npos, first->fix.find(row.fix)) << row.name << ": " << first->fix;
        EXPECT_NE(std::string::npos, text_report(m, found).find(verdict_name(row.level))) << row.name;
    }
}

TEST(CheckText, OutsideInputs) {
    EXPECT_EQ("\"a\\\"\\\\\\u000a\\u001f\xC3\xA9\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"",
              json_string("a\"\\\n\x1f\xC3\xA9\xC3\xE0\x80"));
    unsigned char pe[0x50] = {'M', 'Z'};
    pe[0x3C] = 0x40;
    const unsigned char header[] = {'P', 'E', 0, 0, 0x64, 0x86};  // the x64 machine field
    std::memcpy(pe + 0x40, header, sizeof header);
    EXPECT_EQ(file_bits::x64, pe_bits(pe, sizeof pe));
    EXPECT_EQ(file_bits::unknown, pe_bits(pe, 0x44));
    EXPECT_EQ(file_bits::unknown, pe_bits(pe + 1, sizeof pe - 1));
    EXPECT_EQ("", parse_options({"--json", "--url", "http://a/"}).error);
    EXPECT_NE("", parse_options({"--url"}).error);
    EXPECT_NE("", parse_options({"--url", "a", "--url", "b"}).error);
    EXPECT_NE("", parse_options({"--fix"}).error);
}

}  // namespace
