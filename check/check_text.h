// Pure rules of gncheck.exe, the administrator's health check: a snapshot of
// what the registry and the file system hold (gathered by check/gncheck.cpp)
// in, findings out, each OK, WARNING or PROBLEM with one line of why and the
// command that fixes it. No platform calls, no state. Texts are UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace gn::check {

enum class verdict : int { ok = 0, warning = 1, problem = 2 };

// The machine field of a file's PE header.
enum class file_bits { unknown, x86, x64, other };

// A file named by the registry.
struct file_facts {
    std::string path;     // as registered; empty when nothing is named
    bool exists = false;  // seen without the 32-bit process's file-system redirection
    file_bits bits = file_bits::unknown;
    std::string version;  // "a.b.c.d" from its version record; empty when it has none
};

// What the administrator's add-on settings make of a client control (the
// launcher's own rule, asked by the gatherer).
struct addon_facts {
    bool blocked = false;
    bool replaced = false;  // a kill bit's AlternateCLSID sends documents to the other client
    std::string rule;       // the rule and the value that decided; empty when allowed
    std::string fix;        // the command that lifts it, should it be unintended
    std::string malformed;  // settings present but malformed, which count as not set
    std::string malformed_fix;
};

// One client control in one registry view.
struct client_facts {
    bool registered = false;  // CLSID\{...}\InprocServer32 names a file
    file_facts file;
    addon_facts addon;
};

// One of the type library's interfaces in one registry view.
struct interface_facts {
    const char* name = "";
    std::string proxy_stub;  // ProxyStubClsid32; empty when missing
    std::string typelib;     // TypeLib; empty when missing
    std::string version;     // TypeLib's "Version"
};

// A key whose values registration writes; missing values are empty.
struct key_facts {
    bool present = false;
    std::string value_default;
    std::string clsid;         // its "CLSID" value, or its CLSID subkey's default
    std::string content_type;  // "Content Type"
    std::string extension;     // "Extension"
};

// Everything read in one registry view (the 32-bit or the 64-bit one).
struct view_facts {
    int bits = 32;
    bool exists = false;                 // false: 32-bit Windows has no 64-bit view
    client_facts launcher;               // the launcher class
    client_facts version;                // the version service's class
    std::string package_version;         // what a package installed in this view, if one did
    key_facts progids[4];                // in the order of kProgIds
    key_facts mime_document, mime_data;  // the MIME database entries
    key_facts dzy, dzd;                  // the file-type keys
    std::string dzy_type;                // the type key .dzy names
    key_facts dzy_type_key, dzdfile;     // the type keys, with their CLSID subkeys
    // The type library's path for this view's target system ("win32" or "win64").
    std::string typelib_path;
    bool typelib_exists = false;
    std::string helpdir;
    bool helpdir_exists = false;
    interface_facts interfaces[3];  // ILauncher, IMorvaneVersion, ICtlHost6x
    client_facts legacy, plugin;
    // The version service's site lock, as the administrator set it.
    bool allow_all_sites = false;
    std::vector<std::string> allowed_sites;
    std::vector<std::string> ignored_sites;  // values that are no text
    bool trace_failures = false;
};

// A page named with --url.
struct url_facts {
    bool given = false;
    std::string url;
    long zone = -1;  // from the platform's zone manager; -1 when it could not tell
};

struct machine_facts {
    int own_bits = 32;        // this program's flavor
    bool windows_64 = false;  // the platform has both registry views
    std::string own_folder;   // this program's folder, with its final backslash
    std::string system_root;  // %SystemRoot%
    view_facts views[2];      // [0] this program's view, [1] the other one
    url_facts url;
    // The log: whether the current folder holds a writable quor_launcher.log
    // (as a browser started here would see it) and GNLAUNCHERLOG.
    std::string current_folder;
    bool local_log_writable = false;
    bool log_env_set = false;
    std::string log_env;
    bool log_env_folder_exists = false;
    // The temporary folder.
    std::string temp_folder;
    bool temp_writable = false;
    unsigned long stale_files = 0;        // DZ*.tmp files there
    unsigned long long oldest_age_s = 0;  // the oldest one's age in seconds
};

struct finding {
    verdict level = verdict::ok;
    std::string check;  // what was checked, with its view: "launcher class (64-bit view)"
    std::string why;    // one line
    std::string fix;    // the command that fixes it; empty when none applies
};

// The programmatic identifiers, each with the class its CLSID names.
struct progid_row {
    const char* name;
    bool version_service;  // false: the launcher
};
extern const progid_row kProgIds[4];

// Every finding for the snapshot, in a fixed order.
std::vector<finding> findings(const machine_facts& facts);
// 0 all OK, 1 warnings, 2 problems.
int exit_code(const std::vector<finding>& found) noexcept;
const char* verdict_name(verdict v) noexcept;

// The reports: readable text, and JSON for fleet tools.
std::string text_report(const machine_facts& facts, const std::vector<finding>& found);
std::string json_report(const machine_facts& facts, const std::vector<finding>& found);
// A JSON string literal (quotes included): control characters, quotes and
// backslashes escaped; bytes that are no UTF-8 become U+FFFD.
std::string json_string(std::string_view text);

// The machine field of a PE image from its first bytes; unknown when the
// bytes are no PE header or it lies beyond them.
file_bits pe_bits(const unsigned char* bytes, size_t size) noexcept;

// A duration for people: "40 s", "12 min", "3 h", "5 days".
std::string age_text(unsigned long long seconds);

// gncheck.exe [--json] [--url URL]
struct options {
    bool json = false;
    bool help = false;
    std::string url;
    bool url_given = false;
    std::string error;  // non-empty when the command line is unusable
};
options parse_options(const std::vector<std::string>& args);
const char* usage() noexcept;

}  // namespace gn::check
