// GetClientVersion through the method table, against a sandboxed registry and
// stand-in client files with known version records.
#include "version_fixture.h"

using vt::VersionService;
using vt::lines;

namespace {

std::string retrieved(const std::string& version, const std::string& path) {
    return "Retrieved file version " + version + " info from file: " + path;
}

}  // namespace

TEST_F(VersionService, LauncherClassesLookThroughToPluginCtl) {
    const std::string path = vt::fixture("verfix_8_2_1_45");
    set_server(vt::kPluginCtlText, path);
    // Both launcher classes, the second in lower case: the match is on the
    // identifier, not on its text.
    std::string alt_lower = vt::kLauncherAltText;
    for (char& c : alt_lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    for (const std::string& launcher : {std::string(vt::kLauncherText), alt_lower}) {
        SCOPED_TRACE(launcher);
        set_mime_clsid(launcher);
        // A server registered under the launcher's own class must not be the one read.
        set_server(launcher, vt::fixture("verfix_8_0_0_112"));
        forget_log();
        EXPECT_EQ(L"8.2.1.45", client_version());
        EXPECT_EQ((lines{vt::kEntered, vt::kFoundLauncher, retrieved("8.2.1.45", path)}), log());
    }
}

TEST_F(VersionService, OtherClassIsTheClientItself) {
    struct Case {
        const char* clsid;
        const char* file;
        const wchar_t* version;
        const char* text;
    };
    const Case cases[] = {
        {vt::kPluginCtlText, "verfix_8_2_1_45", L"8.2.1.45", "8.2.1.45"},
        // Parts print in decimal, without padding, and as unsigned numbers.
        {"{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}", "verfix_8_0_0_112", L"8.0.0.112", "8.0.0.112"},
        {"{0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0}", "verfix_max", L"65535.65535.65535.65535",
         "65535.65535.65535.65535"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.clsid);
        set_mime_clsid(c.clsid);
        set_server(c.clsid, vt::fixture(c.file));
        forget_log();
        EXPECT_EQ(c.version, client_version());
        EXPECT_EQ((lines{vt::kEntered, vt::kFoundClient, retrieved(c.text, vt::fixture(c.file))}),
                  log());
    }
}

TEST_F(VersionService, NothingRegisteredGivesZeroVersionQuietly) {
    set_server(vt::kPluginCtlText, vt::fixture("verfix_8_2_1_45"));
    EXPECT_EQ(L"0.0.0.0", client_version());  // no MIME type key
    create(classes_, vt::kMimeKey);
    EXPECT_EQ(L"0.0.0.0", client_version());  // key without "CLSID"
    EXPECT_EQ((lines{vt::kEntered, vt::kEntered}), log());
}

TEST_F(VersionService, NullOutPointer) {
    set_mime_clsid(vt::kPluginCtlText);
    set_server(vt::kPluginCtlText, vt::fixture("verfix_8_2_1_45"));
    EXPECT_EQ(E_POINTER, ver_->GetClientVersion(nullptr));
}

// "CLSID" values that are not the registry form of an identifier, of other
// types, unterminated, or too long for their buffer.
TEST_F(VersionService, HostileClassValues) {
    set_server(vt::kPluginCtlText, vt::fixture("verfix_8_2_1_45"));
    // A program name that CLSIDFromString would resolve to PluginCtl's class.
    set_text(classes_, "Quor.Prog\\CLSID", nullptr, vt::kPluginCtlText);
    set_server("Quor.Prog", vt::fixture("verfix_8_2_1_45"));

    struct Case {
        const char* what;
        DWORD type;
        std::string data;
        bool logs_failure;  // false: the value cannot be read at all
    };
    const std::string guid = vt::kPluginCtlText;
    const Case cases[] = {
        {"plain words", REG_SZ, std::string("not a class\0", 12), true},
        {"empty", REG_SZ, std::string("\0", 1), true},
        {"program name", REG_SZ, std::string("Quor.Prog\0", 10), true},
        {"no closing brace", REG_SZ, guid.substr(0, 37) + '\0', true},
        {"trailing text", REG_SZ, guid + "x" + '\0', true},
        {"path tricks", REG_SZ, std::string("{..\\..\\MIME}\0", 13), true},
        {"bad hex digit", REG_SZ, "{6F3B9D29-4E1A-11D5-A7C3-0050DA6E1B4G}" + std::string(1, '\0'), true},
        {"number", REG_DWORD, std::string("\x29\x9D\x3B\x6F", 4), true},
        {"40 bytes, no terminator", REG_BINARY, std::string(40, '{'), true},
        {"41 bytes", REG_SZ, guid + "xx" + '\0', false},
        {"long binary", REG_BINARY, std::string(300, 'A'), false},
        {"long string", REG_SZ, std::string(5000, '{') + '\0', false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        set_raw(classes_, vt::kMimeKey, "CLSID", c.type, c.data.data(),
                static_cast<DWORD>(c.data.size()));
        forget_log();
        EXPECT_EQ(L"0.0.0.0", client_version());
        EXPECT_EQ((c.logs_failure ? lines{vt::kEntered, vt::kNoPath} : lines{vt::kEntered}), log());
    }

    // The identifier's text without a terminator, in a binary value: read by
    // its size, not past it.
    set_raw(classes_, vt::kMimeKey, "CLSID", REG_BINARY, guid.data(), 38);
    EXPECT_EQ(L"8.2.1.45", client_version());
}

// Server keys and paths that lead nowhere, or that do not fit their buffer.
TEST_F(VersionService, HostileServerEntries) {
    set_mime_clsid(vt::kLauncherText);
    const std::string server = std::string("CLSID\\") + vt::kPluginCtlText + "\\InprocServer32";

    EXPECT_EQ(L"0.0.0.0", client_version());  // no server key
    EXPECT_EQ((lines{vt::kEntered, vt::kFoundLauncher, vt::kNoPath}), log());

    struct Case {
        const char* what;
        DWORD type;
        std::string data;
    };
    const Case cases[] = {
        {"260 characters", REG_SZ, "C:\\" + std::string(257, 'p') + '\0'},
        {"very long", REG_EXPAND_SZ, "C:\\" + std::string(4000, 'p') + '\0'},
        {"260 bytes, no terminator", REG_BINARY, std::string(260, 'p')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        set_raw(classes_, server, nullptr, c.type, c.data.data(),
                static_cast<DWORD>(c.data.size()));
        forget_log();
        EXPECT_EQ(L"0.0.0.0", client_version());
        EXPECT_EQ((lines{vt::kEntered, vt::kFoundLauncher, vt::kNoPath}), log());
    }

    // A key without a default value, but with other values.
    RegDeleteTreeA(classes_, "CLSID");
    set_text(classes_, server, "ThreadingModel", "Apartment");
    forget_log();
    EXPECT_EQ(L"0.0.0.0", client_version());
    EXPECT_EQ((lines{vt::kEntered, vt::kFoundLauncher, vt::kNoPath}), log());
}

// Paths read in full that name no file with a version record.
TEST_F(VersionService, FilesWithoutVersionRecord) {
    set_mime_clsid(vt::kPluginCtlText);
    const std::string text_file = work_dir() + "plain.txt";
    {
        HANDLE f = CreateFileA(text_file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, f);
        DWORD written = 0;
        WriteFile(f, "MZ not really", 13, &written, nullptr);
        CloseHandle(f);
    }
    const std::string paths[] = {
        vt::fixture("verfix_none"),
        text_file,
        work_dir() + "missing.dll",
        "",
        "C:\\" + std::string(255, 'q'),  // 258 characters: fits, names nothing
        "%TEMP%\\x%s%n.dll",             // taken as it is, printed as it is
    };
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        set_server(vt::kPluginCtlText, path);
        forget_log();
        EXPECT_EQ(L"0.0.0.0", client_version());
        EXPECT_EQ((lines{vt::kEntered, vt::kFoundClient, vt::kNoVersion + path}), log());
    }
    DeleteFileA(text_file.c_str());
}
