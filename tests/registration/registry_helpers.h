// Registry sandbox and readers for the registration tests.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/module.h"

namespace gntest {

// Redirects HKEY_CLASSES_ROOT of this process (and so of GNLauncher.dll
// loaded in it) into a fresh key below HKCU\Software\GNLauncherTests.
class registry_sandbox {
public:
    explicit registry_sandbox(const std::string& name)
        : path_("Software\\GNLauncherTests\\" + name) {
        RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
        RegCreateKeyExA(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, &root_, nullptr);
        if (root_) overridden_ = RegOverridePredefKey(HKEY_CLASSES_ROOT, root_) == ERROR_SUCCESS;
    }
    ~registry_sandbox() {
        RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
        if (root_) RegCloseKey(root_);
        RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
    }
    registry_sandbox(const registry_sandbox&) = delete;
    registry_sandbox& operator=(const registry_sandbox&) = delete;

    bool ready() const { return overridden_; }
    HKEY root() const { return root_; }

    // Creates a key below the sandbox, optionally volatile, with a default value.
    void add(const std::string& key, const char* default_value = nullptr, bool is_volatile = false) {
        HKEY h = nullptr;
        if (RegCreateKeyExA(root_, key.c_str(), 0, nullptr,
                            is_volatile ? REG_OPTION_VOLATILE : REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &h, nullptr) != ERROR_SUCCESS)
            return;
        if (default_value)
            RegSetValueExA(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(default_value),
                           static_cast<DWORD>(std::strlen(default_value) + 1));
        RegCloseKey(h);
    }

private:
    std::string path_;
    HKEY root_ = nullptr;
    bool overridden_ = false;
};

inline bool key_exists(HKEY root, const std::string& key) {
    HKEY h = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    RegCloseKey(h);
    return true;
}

// A value's type and bytes; type REG_NONE and no bytes when absent.
struct reg_data {
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
    bool present = false;
};

inline reg_data read_value(HKEY root, const std::string& key, const char* name) {
    reg_data d;
    HKEY h = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return d;
    DWORD size = 0;
    if (RegQueryValueExA(h, name, nullptr, &d.type, nullptr, &size) == ERROR_SUCCESS) {
        d.bytes.resize(size);
        if (RegQueryValueExA(h, name, nullptr, &d.type, d.bytes.data(), &size) == ERROR_SUCCESS) {
            d.bytes.resize(size);
            d.present = true;
        }
    }
    RegCloseKey(h);
    return d;
}

// A string value's text, or "<none>".
inline std::string read_text(HKEY root, const std::string& key, const char* name = nullptr) {
    const reg_data d = read_value(root, key, name);
    if (!d.present) return "<none>";
    std::string s(d.bytes.begin(), d.bytes.end());
    return s.substr(0, s.find('\0'));
}

// Every key and value below key, one line each, sorted by the registry.
inline void dump_tree(HKEY key, const std::string& path, std::string& out) {
    out += path + "\n";
    for (DWORD i = 0;; ++i) {
        char name[16384];
        DWORD name_size = sizeof name;
        BYTE data[4096];
        DWORD data_size = sizeof data;
        DWORD type = 0;
        if (RegEnumValueA(key, i, name, &name_size, nullptr, &type, data, &data_size) !=
            ERROR_SUCCESS)
            break;
        out += path + " [" + name + "] " + std::to_string(type) + ":" +
               std::string(reinterpret_cast<char*>(data), data_size) + "\n";
    }
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD size = sizeof name;
        if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        HKEY sub = nullptr;
        if (RegOpenKeyExA(key, name, 0, KEY_READ, &sub) == ERROR_SUCCESS) {
            dump_tree(sub, path + "\\" + name, out);
            RegCloseKey(sub);
        }
    }
}

inline std::string dump_tree(HKEY key) {
    std::string out;
    dump_tree(key, "", out);
    return out;
}

// dump_tree of one key below root ("" when it does not open), and the
// foreign association the registration tests start from.
inline std::string dump_key(HKEY root, const std::string& key) {
    HKEY h = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return "";
    const std::string out = dump_tree(h);
    RegCloseKey(h);
    return out;
}

inline void set_value(HKEY root, const std::string& key, const char* name, DWORD type,
                      const void* data, DWORD size) {
    HKEY h = nullptr;
    if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExA(h, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(h);
}

// ".dzy" naming type_key, which holds another program's CLSID, EditFlags and
// a value of its own; ".dzy" has that program's content type.
inline void add_foreign_association(HKEY root, const std::string& type_key) {
    const DWORD flags = 2;
    set_value(root, ".dzy", nullptr, REG_SZ, type_key.c_str(), DWORD(type_key.size() + 1));
    set_value(root, ".dzy", "Content Type", REG_SZ, "application/x-other", 20);
    set_value(root, type_key, nullptr, REG_SZ, "Other Document", 15);
    set_value(root, type_key, "EditFlags", REG_DWORD, &flags, sizeof flags);
    set_value(root, type_key + "\\CLSID", nullptr, REG_SZ, "{00000000-0000-0000-0000-0000000000AA}", 39);
    set_value(root, type_key + "\\CLSID", "Other", REG_SZ, "kept", 5);
}

// Sets GNLAUNCHERLOG for modules loaded from now on (the runtime's own copy
// of the environment is the one the module reads).
inline void set_log_variable(const std::string& path) {
    const std::string assignment = "GNLAUNCHERLOG=" + path;
    _putenv(assignment.c_str());
}

// A copy of the module whose version-service script is replaced.
inline std::string module_with_script(const std::string& name, const std::string& script) {
    const std::string copy = gntest::make_scratch_dir(name) + "GNLauncher.dll";
    if (!CopyFileA(gntest::LoadedModule::module_path().c_str(), copy.c_str(), FALSE)) return {};
    HANDLE update = BeginUpdateResourceA(copy.c_str(), FALSE);
    if (!update) return {};
    std::string data = script;
    const bool ok = UpdateResourceA(update, "REGISTRY", MAKEINTRESOURCEA(5106),
                                    MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), &data[0],
                                    static_cast<DWORD>(data.size()));
    if (!EndUpdateResourceA(update, !ok) || !ok) return {};
    return copy;
}

}  // namespace gntest
