// gncheck.exe: the administrator's health check. Reads, with KEY_READ only,
// what this machine holds for the launcher in this program's registry view
// and in the other one (64-bit Windows), the files those keys name, the site
// lock's policy, the log's switches and the temporary folder; the rules in
// check/check_text.cpp turn that snapshot into findings. It changes nothing:
// the one file it makes, to learn whether the temporary folder is writable,
// is deleted by the system when its handle closes.
#include "check/check_text.h"
#include "frame/com.h"
#include "frame/interfaces.h"
#include "frame/log.h"
#include "launcher/addon_registry.h"
#include "version/policy_names.h"
#include "version/site_text.h"

#include <io.h>
#include <shellapi.h>
#include <urlmon.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

namespace check = gn::check;

std::string utf8(const wchar_t* text, size_t length) {
    if (!length) return {};
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? size : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), &out[0], size, nullptr, nullptr);
    return out;
}
std::string utf8(const std::wstring& text) { return utf8(text.c_str(), text.size()); }

std::wstring wide(const std::string& text) {
    if (text.empty()) return {};
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(size > 0 ? size : 0, L'\0');
    if (size > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &out[0], size);
    return out;
}

std::wstring guid_key(const wchar_t* prefix, const GUID& id, const wchar_t* suffix = L"") {
    return prefix + wide(gn::registry_text(id).text) + suffix;
}

// ---------------------------------------------------------------------------
// The registry, read only, in one view.

// Opens root\path for reading in the given view (0: this process's own).
// Below the classes root only the class and interface keys differ between
// the views; every other key is one key for both (a 64-bit program under
// Wine that asks for the 32-bit view of such a key finds nothing, and is
// given the one key here).
gn::unique_hkey open_key(HKEY root, const std::wstring& path, REGSAM view) {
    gn::unique_hkey key;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, key.put()) == ERROR_SUCCESS) return key;
    const bool shared = root == HKEY_CLASSES_ROOT && view == KEY_WOW64_32KEY &&
                        path.compare(0, 6, L"CLSID\\") != 0 && path.compare(0, 10, L"Interface\\") != 0;
    if (!shared ||
        RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | KEY_WOW64_64KEY, key.put()) != ERROR_SUCCESS)
        key.reset();
    return key;
}

// A string value (REG_SZ or REG_EXPAND_SZ, as stored); empty when missing.
bool read_text(HKEY key, const wchar_t* name, std::string& out) {
    DWORD type = 0, size = 0;
    if (!key || RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || size > 65536)
        return false;
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&text[0]), &size) !=
        ERROR_SUCCESS)
        return false;
    text.resize(wcsnlen(text.c_str(), size / sizeof(wchar_t)));
    out = utf8(text);
    return true;
}

std::string text_at(HKEY root, const std::wstring& path, const wchar_t* name, REGSAM view) {
    std::string out;
    const gn::unique_hkey key = open_key(root, path, view);
    read_text(key.get(), name, out);
    return out;
}

bool dword_at(HKEY root, const char* path, const char* name, REGSAM view, DWORD& value) {
    const gn::unique_hkey key = open_key(root, wide(path), view);
    DWORD type = 0, size = sizeof value;
    return key &&
           RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
               ERROR_SUCCESS &&
           type == REG_DWORD && size == sizeof value;
}

// A key registration writes: its default, "Content Type", "Extension" and the
// class it names (a "CLSID" value, else a CLSID subkey's default).
check::key_facts key_at(const std::wstring& path, REGSAM view) {
    check::key_facts facts;
    const gn::unique_hkey key = open_key(HKEY_CLASSES_ROOT, path, view);
    if (!key) return facts;
    facts.present = true;
    read_text(key.get(), nullptr, facts.value_default);
    read_text(key.get(), L"Content Type", facts.content_type);
    read_text(key.get(), L"Extension", facts.extension);
    if (!read_text(key.get(), L"CLSID", facts.clsid))
        facts.clsid = text_at(key.get(), L"CLSID", nullptr, view);
    return facts;
}

// ---------------------------------------------------------------------------
// Files, seen as they are: a 32-bit process on 64-bit Windows reads the
// 64-bit system folder without its redirection while one of these lives.
class real_file_system {
public:
    real_file_system() noexcept {
        if (sizeof(void*) != 4) return;
        const HMODULE kernel = GetModuleHandleA("kernel32.dll");
        disable_ =
            kernel ? gn::proc_address<BOOL(WINAPI*)(PVOID*)>(kernel, "Wow64DisableWow64FsRedirection")
                   : nullptr;
        revert_ = kernel
                      ? gn::proc_address<BOOL(WINAPI*)(PVOID)>(kernel, "Wow64RevertWow64FsRedirection")
                      : nullptr;
        undo_ = disable_ && revert_ && disable_(&old_);
    }
    ~real_file_system() {
        if (undo_) revert_(old_);
    }
    real_file_system(const real_file_system&) = delete;
    real_file_system& operator=(const real_file_system&) = delete;

private:
    BOOL(WINAPI* disable_)(PVOID*) = nullptr;
    BOOL(WINAPI* revert_)(PVOID) = nullptr;
    PVOID old_ = nullptr;
    bool undo_ = false;
};

DWORD attributes_of(const std::wstring& path) {
    const real_file_system real;
    return GetFileAttributesW(path.c_str());
}

bool folder_exists(const std::wstring& path) {
    const DWORD attributes = attributes_of(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string file_version(const std::wstring& path) {
    const real_file_system real;
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (!size) return {};
    std::vector<BYTE> record(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoW(path.c_str(), 0, size, record.data()) ||
        !VerQueryValueW(record.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || !fixed ||
        length < sizeof *fixed)
        return {};
    char text[64];
    std::snprintf(text, sizeof text, "%lu.%lu.%lu.%lu", fixed->dwFileVersionMS >> 16,
                  fixed->dwFileVersionMS & 0xFFFF, fixed->dwFileVersionLS >> 16,
                  fixed->dwFileVersionLS & 0xFFFF);
    return text;
}

check::file_bits bits_of(const std::wstring& path) {
    const real_file_system real;
    gn::unique_file file(CreateFileW(path.c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
    if (!file) return check::file_bits::unknown;
    unsigned char head[4096];
    DWORD read = 0;
    if (!ReadFile(file.get(), head, sizeof head, &read, nullptr)) return check::file_bits::unknown;
    return check::pe_bits(head, read);
}

// A path as the registry holds it, with environment references expanded.
std::wstring expanded(const std::string& path) {
    const std::wstring text = wide(path);
    wchar_t out[MAX_PATH * 4];
    const DWORD size = ExpandEnvironmentStringsW(text.c_str(), out, MAX_PATH * 4);
    return size && size <= MAX_PATH * 4 ? std::wstring(out) : text;
}

check::file_facts file_at(const std::string& registered) {
    check::file_facts facts;
    facts.path = registered;
    if (registered.empty()) return facts;
    const std::wstring path = expanded(registered);
    const DWORD attributes = attributes_of(path);
    facts.exists = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    if (!facts.exists) return facts;
    facts.bits = bits_of(path);
    facts.version = file_version(path);
    return facts;
}

// ---------------------------------------------------------------------------

check::client_facts class_at(const GUID& clsid, REGSAM view) {
    check::client_facts facts;
    const std::string server =
        text_at(HKEY_CLASSES_ROOT, guid_key(L"CLSID\\", clsid, L"\\InprocServer32"), nullptr, view);
    facts.registered = !server.empty();
    facts.file = file_at(server);
    return facts;
}

// Where one of the add-on settings of a class lies: "HKLM\\<key>" and its value.
struct setting_place {
    std::string key;
    std::string value;
};
setting_place place_of(gn::addon_setting setting, const gn::class_text& cls) {
    char key[160] = {};
    gn::addon_key_path(setting, cls.c_str(), key, sizeof key);
    return {std::string(gn::addon_root_name(setting)) + "\\" + key,
            gn::addon_value_name(setting, cls.c_str())};
}

// What the administrator's add-on settings make of a client control: the
// launcher's own rule, on the settings of the given view.
check::addon_facts addon_at(REFCLSID clsid, REFCLSID other, REGSAM view) {
    check::addon_facts facts;
    const gn::addon_verdict verdict = gn::client_addon_verdict(clsid, other, view);
    const gn::class_text cls(clsid);
    const std::string flag = view == KEY_WOW64_64KEY   ? " /reg:64"
                             : view == KEY_WOW64_32KEY ? " /reg:32"
                                                       : "";
    if (verdict.outcome != gn::addon_outcome::allowed) {
        facts.blocked = verdict.outcome == gn::addon_outcome::blocked;
        facts.replaced = verdict.outcome == gn::addon_outcome::alternate;
        const setting_place place = place_of(verdict.rule, cls);
        facts.rule = std::string(gn::addon_rule_text(verdict.rule)) + " (" + place.key + " \"" +
                     place.value + "\")";
        if (verdict.rule == gn::addon_machine_restrict || verdict.rule == gn::addon_user_restrict) {
            // "Deny unless allowed" stays; the class is allowed on the list.
            const setting_place list = place_of(gn::addon_machine_list, cls);
            facts.fix =
                "reg add \"" + list.key + "\" /v \"" + list.value + "\" /t REG_SZ /d 1 /f" + flag;
        } else {
            facts.fix = "reg delete \"" + place.key + "\" /v \"" + place.value + "\" /f" + flag;
        }
    }
    for (int i = 0; i < gn::addon_setting_count; ++i) {
        if (!(verdict.malformed & (1u << i))) continue;
        const setting_place place = place_of(static_cast<gn::addon_setting>(i), cls);
        facts.malformed += (facts.malformed.empty() ? "" : ", ") +
                           std::string(gn::addon_rule_text(static_cast<gn::addon_setting>(i))) + " (" +
                           place.key + " \"" + place.value + "\")";
        if (facts.malformed_fix.empty())
            facts.malformed_fix =
                "reg delete \"" + place.key + "\" /v \"" + place.value + "\" /f" + flag;
    }
    return facts;
}

void read_site_lock(check::view_facts& facts, REGSAM view) {
    DWORD all = 0;
    facts.allow_all_sites =
        dword_at(HKEY_LOCAL_MACHINE, gn::kVersionPolicyKey, gn::kAllowAllSitesValue, view, all) &&
        all == 1;
    const gn::unique_hkey key = open_key(HKEY_LOCAL_MACHINE, wide(gn::kAllowedSitesKey), view);
    for (DWORD index = 0; key; ++index) {
        wchar_t name[256];
        DWORD name_size = 256, type = 0;
        const LONG rc =
            RegEnumValueW(key.get(), index, name, &name_size, nullptr, &type, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS) continue;
        std::string pattern;
        if (type == REG_SZ && read_text(key.get(), name, pattern))
            facts.allowed_sites.push_back(pattern);
        else
            facts.ignored_sites.push_back(utf8(name, name_size));
    }
    DWORD trace = 0;
    facts.trace_failures =
        dword_at(HKEY_LOCAL_MACHINE, gn::kTracePolicyKey, gn::kTracePolicyValue, view, trace) && trace;
}

check::view_facts read_view(int bits, REGSAM view) {
    check::view_facts facts;
    facts.bits = bits;
    facts.exists = true;
    facts.launcher = class_at(CLSID_MorvaneLauncher, view);
    facts.version = class_at(CLSID_MorvaneVersion, view);
    // Each package kind keeps its Version under a key of its own (x86 or x64);
    // packages of earlier releases kept it on the product's key.
    for (const wchar_t* key :
         {L"Software\\Veltrix\\GNLauncher\\x86", L"Software\\Veltrix\\GNLauncher\\x64",
          L"Software\\Veltrix\\GNLauncher"}) {
        facts.package_version = text_at(HKEY_LOCAL_MACHINE, key, L"Version", view);
        if (!facts.package_version.empty()) break;
    }
    for (size_t i = 0; i < 4; ++i) facts.progids[i] = key_at(wide(check::kProgIds[i].name), view);
    facts.mime_document = key_at(L"MIME\\DataBase\\Content Type\\application/x-quorquery", view);
    facts.mime_data = key_at(L"MIME\\DataBase\\Content Type\\application/x-quorquerydata", view);
    facts.dzy = key_at(L".dzy", view);
    facts.dzd = key_at(L".dzd", view);
    facts.dzy_type = facts.dzy.value_default;
    if (!facts.dzy_type.empty() && facts.dzy_type.find('\\') == std::string::npos)
        facts.dzy_type_key = key_at(wide(facts.dzy_type), view);
    facts.dzdfile = key_at(L"dzdfile", view);

    const std::wstring library = guid_key(L"TypeLib\\", LIBID_DZxLauncherLib, L"\\1.0");
    facts.typelib_path = text_at(HKEY_CLASSES_ROOT,
                                 library + (bits == 64 ? L"\\0\\win64" : L"\\0\\win32"), nullptr, view);
    facts.typelib_exists = !facts.typelib_path.empty() && file_at(facts.typelib_path).exists;
    facts.helpdir = text_at(HKEY_CLASSES_ROOT, library + L"\\HELPDIR", nullptr, view);
    facts.helpdir_exists = !facts.helpdir.empty() && folder_exists(expanded(facts.helpdir));
    const struct {
        const char* name;
        const IID* iid;
    } faces[3] = {{"ILauncher", &IID_ILauncher},
                  {"IMorvaneVersion", &IID_IMorvaneVersion},
                  {"ICtlHost6x", &IID_ICtlHost6x}};
    for (size_t i = 0; i < 3; ++i) {
        const std::wstring key = guid_key(L"Interface\\", *faces[i].iid);
        facts.interfaces[i].name = faces[i].name;
        facts.interfaces[i].proxy_stub =
            text_at(HKEY_CLASSES_ROOT, key + L"\\ProxyStubClsid32", nullptr, view);
        facts.interfaces[i].typelib = text_at(HKEY_CLASSES_ROOT, key + L"\\TypeLib", nullptr, view);
        facts.interfaces[i].version = text_at(HKEY_CLASSES_ROOT, key + L"\\TypeLib", L"Version", view);
    }
    facts.legacy = class_at(gn::CLSID_Legacy6xControl, view);
    facts.plugin = class_at(gn::CLSID_PluginCtl, view);
    facts.legacy.addon = addon_at(gn::CLSID_Legacy6xControl, gn::CLSID_PluginCtl, view);
    facts.plugin.addon = addon_at(gn::CLSID_PluginCtl, gn::CLSID_Legacy6xControl, view);
    read_site_lock(facts, view);
    return facts;
}

long zone_of(const std::string& url) {
    gn::com_ptr<IInternetSecurityManager> manager;
    DWORD zone = 0;
    if (FAILED(CoInternetCreateSecurityManager(nullptr, manager.put(), 0)) || !manager ||
        FAILED(manager->MapUrlToZone(wide(url).c_str(), &zone, 0)) || zone > MAXLONG)
        return gn::zone_unknown;
    return static_cast<long>(zone);
}

std::wstring folder_of(const std::wstring& path) {
    const size_t cut = path.find_last_of(L"\\/:");
    return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + 1);
}

void read_log(check::machine_facts& facts) {
    wchar_t current[MAX_PATH * 2] = {};
    const DWORD size = GetCurrentDirectoryW(MAX_PATH * 2, current);
    facts.current_folder = size && size < MAX_PATH * 2 ? utf8(current, size) : std::string();
    if (!facts.current_folder.empty() && facts.current_folder.back() != '\\')
        facts.current_folder += '\\';
    facts.local_log_writable = _waccess(L".\\quor_launcher.log", 2) == 0;
    // The module reads its variable as 8-bit text; a path that text cannot
    // hold is no path it could open, and is shown as the module would read it.
    if (const char* env = std::getenv("GNLAUNCHERLOG")) {
        facts.log_env_set = true;
        const std::wstring path = wide(env);
        facts.log_env = env;
        const std::wstring folder = folder_of(path);
        facts.log_env_folder_exists = folder.empty() || folder_exists(folder);
    }
}

void read_temp(check::machine_facts& facts) {
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD size = GetTempPathW(MAX_PATH + 1, temp);
    if (!size || size > MAX_PATH) return;
    const std::wstring folder(temp, size);
    facts.temp_folder = utf8(folder);
    // Writable: a file of this run's own name, deleted by the system on close.
    const std::wstring probe = folder + L"gncheck-" + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    gn::unique_file file(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    facts.temp_writable = static_cast<bool>(file);
    file.reset();

    FILETIME now_time;
    GetSystemTimeAsFileTime(&now_time);
    const auto ticks = [](const FILETIME& t) {
        return static_cast<unsigned long long>(t.dwHighDateTime) << 32 | t.dwLowDateTime;
    };
    const unsigned long long now = ticks(now_time);
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"DZ*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    const auto close_search = gn::scope_exit([search] { FindClose(search); });
    unsigned long long oldest = now;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        ++facts.stale_files;
        if (ticks(found.ftLastWriteTime) < oldest) oldest = ticks(found.ftLastWriteTime);
    } while (FindNextFileW(search, &found));
    facts.oldest_age_s = (now - oldest) / 10000000ULL;
}

check::machine_facts gather(const check::options& options) {
    check::machine_facts facts;
    facts.own_bits = sizeof(void*) == 8 ? 64 : 32;
    BOOL wow64 = FALSE;
    facts.windows_64 = facts.own_bits == 64 || (IsWow64Process(GetCurrentProcess(), &wow64) && wow64);
    wchar_t self[MAX_PATH * 2] = {};
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH * 2);
    if (length && length < MAX_PATH * 2) facts.own_folder = utf8(folder_of(std::wstring(self, length)));
    wchar_t root[MAX_PATH] = {};
    const DWORD root_size = GetEnvironmentVariableW(L"SystemRoot", root, MAX_PATH);
    facts.system_root = root_size && root_size < MAX_PATH ? utf8(root, root_size) : "C:\\Windows";

    const int other_bits = facts.own_bits == 64 ? 32 : 64;
    facts.views[0] =
        read_view(facts.own_bits,
                  facts.windows_64 ? (facts.own_bits == 64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY) : 0);
    if (facts.windows_64)
        facts.views[1] = read_view(other_bits, other_bits == 64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY);
    facts.views[1].bits = other_bits;

    if (options.url_given) {
        facts.url.given = true;
        facts.url.url = options.url;
        facts.url.zone = zone_of(options.url);
    }
    read_log(facts);
    read_temp(facts);
    return facts;
}

// UTF-8 to the console as wide text; to a file or pipe as it is.
void write_out(const std::string& text) {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0, written = 0;
    if (GetConsoleMode(out, &mode)) {
        const std::wstring w = wide(text);
        WriteConsoleW(out, w.c_str(), static_cast<DWORD>(w.size()), &written, nullptr);
    } else {
        WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
}

}  // namespace

int main() {
    int count = 0;
    std::vector<std::string> args;
    if (wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i) args.push_back(utf8(argv[i], std::wcslen(argv[i])));
        LocalFree(argv);
    }
    const check::options options = check::parse_options(args);
    if (!options.error.empty() || options.help) {
        write_out(options.error.empty() ? std::string() : options.error + "\n");
        write_out(check::usage());
        return options.help && options.error.empty() ? 0 : 3;
    }
    const HRESULT com = CoInitialize(nullptr);
    const check::machine_facts facts = gather(options);
    if (SUCCEEDED(com)) CoUninitialize();
    const std::vector<check::finding> found = check::findings(facts);
    write_out(options.json ? check::json_report(facts, found) : check::text_report(facts, found));
    return check::exit_code(found);
}
