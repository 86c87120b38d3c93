// Shared set-up of the version service tests: a registry sandbox that takes
// the place of HKEY_CLASSES_ROOT and HKEY_CURRENT_USER for the whole process
// (the module runs in it), a log file read line by line, and one
// MorvaneVersion object made through the module's class object.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "frame/interfaces.h"
#include "support/module.h"

namespace vt {

constexpr char kSandbox[] = "Software\\GNLauncherTests\\version";
constexpr char kMimeKey[] = "MIME\\DataBase\\Content Type\\application/x-quorquery";
constexpr char kMapKey[] = "Software\\Quor Software\\QuorPlugin\\quorqry\\6x-8x URL Map";
constexpr char kLauncherText[] = "{5B2D7A10-3C4E-4F81-9A6B-2E7C4D1F8A03}";
constexpr char kLauncherAltText[] = "{3E8A61C4-7D25-4B9F-8C13-A05F92D6E847}";
constexpr char kPluginCtlText[] = "{6F3B9D29-4E1A-11D5-A7C3-0050DA6E1B42}";

constexpr char kEntered[] = "GetClientVersion() entered";
constexpr char kFoundLauncher[] = "Found an MorvaneLauncher CLSID registered to DZY Mime-type";
constexpr char kFoundClient[] = "Found a PluginCtl CLSID registered to DZY Mime-type";
constexpr char kNoPath[] = "Failed to get a path to executable from registry";
constexpr char kNoVersion[] = "Failed to retrieve file version info from file: ";
constexpr char kMapFailed[] = "Map6xUrlTo8(): Failed to update URL map in registry";
constexpr char kClearInvoked[] = "Clear6xURLMap() invoked";

using lines = std::vector<std::string>;

// Path of a stand-in client file built beside the test program.
inline std::string fixture(const char* name) {
    return gntest::LoadedModule::program_dir() + name + ".dll";
}

inline std::string map_line(const std::string& old_url, const std::string& new_url) {
    return "Map6xUrlTo8() invoked. OldUrl: " + old_url + " -> NewUrl: " + new_url;
}

class VersionService : public ::testing::Test {
protected:
    static std::string log_path() { return work_dir() + "version.log"; }
    static std::string work_dir() {
        static const std::string dir = gntest::make_scratch_dir("version");
        return dir;
    }

    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        // The log opens when the module attaches; a ".\quor_launcher.log" in the
        // working directory would take precedence, so work where there is none.
        SetCurrentDirectoryA(work_dir().c_str());
        const std::string env = "GNLAUNCHERLOG=" + log_path();
        _putenv(env.c_str());
        SetEnvironmentVariableA("GNLAUNCHERLOG", log_path().c_str());
        log_start_ = gntest::read_file(log_path()).size();

        RegDeleteTreeA(HKEY_CURRENT_USER, kSandbox);
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(kSandbox) + "\\classes").c_str(),
                                                 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &classes_, nullptr));
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(kSandbox) + "\\user").c_str(),
                                                 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &user_, nullptr));
        ASSERT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_CLASSES_ROOT, classes_));
        ASSERT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_CURRENT_USER, user_));
        overridden_ = true;

        module_ = new gntest::LoadedModule();
        ASSERT_TRUE(module_->loaded());
        ASSERT_EQ(S_OK, module_->create(CLSID_MorvaneVersion, IID_IMorvaneVersion, ver_.put_void()));
        ASSERT_TRUE(ver_);
        forget_log();
    }

    void TearDown() override {
        ver_.reset();
        if (module_) {
            EXPECT_EQ(S_OK, module_->can_unload_now());
            delete module_;
        }
        if (overridden_) {
            RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
            RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        }
        if (classes_) RegCloseKey(classes_);
        if (user_) RegCloseKey(user_);
        RegDeleteTreeA(HKEY_CURRENT_USER, kSandbox);
        CoUninitialize();
    }

    // Lines the module logged since the test began, without their timestamps.
    lines log() const {
        const std::string text = gntest::read_file(log_path()).substr(log_start_);
        lines out;
        size_t pos = 0;
        while (pos < text.size()) {
            size_t end = text.find('\n', pos);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(pos, end - pos);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            out.push_back(line.size() >= 26 ? line.substr(26) : line);
            pos = end + 1;
        }
        return out;
    }
    // Lets the next log() start from here.
    void forget_log() { log_start_ = gntest::read_file(log_path()).size(); }

    // --- sandboxed registry, written through the sandbox keys themselves ---
    static HKEY create(HKEY root, const std::string& path) {
        HKEY key = nullptr;
        EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &key, nullptr));
        return key;
    }
    static void set_raw(HKEY root, const std::string& path, const char* name, DWORD type,
                        const void* data, DWORD size) {
        HKEY key = create(root, path);
        EXPECT_EQ(ERROR_SUCCESS,
                  RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size));
        RegCloseKey(key);
    }
    static void set_text(HKEY root, const std::string& path, const char* name,
                         const std::string& text) {
        set_raw(root, path, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
    }
    void set_mime_clsid(const std::string& text) { set_text(classes_, kMimeKey, "CLSID", text); }
    void set_server(const std::string& clsid_text, const std::string& path) {
        set_text(classes_, "CLSID\\" + clsid_text + "\\InprocServer32", nullptr, path);
    }

    static bool key_exists(HKEY root, const std::string& path) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
        RegCloseKey(key);
        return true;
    }
    // The map value named name: false when missing; type and data when present.
    bool read_mapping(const std::string& name, std::string* data = nullptr,
                      DWORD* type = nullptr) const {
        HKEY key = nullptr;
        if (RegOpenKeyExA(user_, kMapKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
        std::vector<char> buf(1 << 20);
        DWORD size = static_cast<DWORD>(buf.size());
        DWORD t = 0;
        const LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &t,
                                         reinterpret_cast<BYTE*>(buf.data()), &size);
        RegCloseKey(key);
        if (rc != ERROR_SUCCESS) return false;
        if (type) *type = t;
        if (data) data->assign(buf.data(), size);  // the data as stored, terminator included
        return true;
    }
    // Number of values of the map key (default value included); -1 without the key.
    int map_value_count() const {
        HKEY key = nullptr;
        if (RegOpenKeyExA(user_, kMapKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return -1;
        DWORD count = 0;
        RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                         nullptr, nullptr, nullptr, nullptr);
        RegCloseKey(key);
        return static_cast<int>(count);
    }

    // --- calls through the method table ---
    std::wstring client_version() {
        BSTR out = nullptr;
        EXPECT_EQ(S_OK, ver_->GetClientVersion(&out));
        std::wstring text = out ? std::wstring(out, SysStringLen(out)) : L"<null>";
        SysFreeString(out);
        return text;
    }
    void map(const wchar_t* old_url, const wchar_t* new_url) {
        auto o = gn::unique_bstr::copy_of(old_url);
        auto n = gn::unique_bstr::copy_of(new_url);
        EXPECT_EQ(S_OK, ver_->Map6xUrlTo8(o.get(), n.get()));
    }

    gntest::LoadedModule* module_ = nullptr;
    gn::com_ptr<IMorvaneVersion> ver_;
    HKEY classes_ = nullptr;
    HKEY user_ = nullptr;
    bool overridden_ = false;
    size_t log_start_ = 0;
};

}  // namespace vt
