// Pure rules of the health check: what each fact means for documents, and
// the command that mends it.
#include "check/check_text.h"

#include <cstdio>
#include <cstring>

#include "frame/log_text.h"
#include "version/site_text.h"

namespace gn::check {

namespace {

// The identifiers registration writes (the module's own tables hold them as
// GUIDs; here they are the texts the registry holds).
constexpr char kLauncherClsid[] = "{5B2D7A10-3C4E-4F81-9A6B-2E7C4D1F8A03}";
constexpr char kDataClsid[] = "{5B2D7A10-3C4E-4F81-9A6B-2E7C4D1F8A04}";
constexpr char kVersionClsid[] = "{A41C0E57-7B93-4D2A-8E16-C3F05B9D2E71}";
constexpr char kLibId[] = "{C8E2F4A1-5D07-4B3C-9F62-81A7D3E0B5C9}";
constexpr char kUniversalMarshaler[] = "{00020424-0000-0000-C000-000000000046}";
constexpr char kAllowedSitesKey[] =
    "HKLM\\Software\\Policies\\Quor Software\\GNLauncher\\VersionService\\AllowedSites";

std::string concat(std::initializer_list<std::string_view> parts) {
    std::string out;
    for (const std::string_view part : parts) out.append(part);
    return out;
}

std::string quoted(std::string_view text) { return concat({"\"", text, "\""}); }

bool same_text(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b)) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

const char* bits_name(file_bits bits) {
    switch (bits) {
    case file_bits::x86:
        return "32-bit";
    case file_bits::x64:
        return "64-bit";
    case file_bits::other:
        return "foreign-machine";
    default:
        return "unreadable";
    }
}

file_bits view_file_bits(const view_facts& view) {
    return view.bits == 64 ? file_bits::x64 : file_bits::x86;
}

std::string view_name(const view_facts& view) { return view.bits == 64 ? "64-bit view" : "32-bit view"; }

std::string titled(const char* check, const view_facts& view) {
    return concat({check, " (", view_name(view), ")"});
}

// The registration tool of a view: on 64-bit Windows the 32-bit one lives in SysWOW64.
std::string regsvr32(const machine_facts& facts, const view_facts& view) {
    if (!facts.windows_64) return "regsvr32";
    return concat({facts.system_root, view.bits == 64 ? "\\System32" : "\\SysWOW64", "\\regsvr32.exe"});
}

// The module a view's registration should name: the registered one while its
// file exists, else the one beside this program (its own view only).
std::string module_of(const machine_facts& facts, const view_facts& view) {
    if (view.launcher.file.exists || &view != &facts.views[0] || facts.own_folder.empty())
        return view.launcher.file.path;
    return facts.own_folder + "GNLauncher.dll";
}

// The command that writes a view's registration again: the package's repair
// when a package installed it, else the registration tool on the module.
std::string register_fix(const machine_facts& facts, const view_facts& view) {
    if (!view.package_version.empty()) {
        // The x64 package is the one that installs the 64-bit view's module.
        const view_facts& view64 = facts.views[0].bits == 64 ? facts.views[0] : facts.views[1];
        const bool x64_package = facts.windows_64 && !view64.package_version.empty();
        const std::string package =
            concat({"GNLauncher-", view.package_version, x64_package ? "-x64" : "", ".msi"});
        return concat({"msiexec /i ", package,
                       " REINSTALL=ALL REINSTALLMODE=omus /qn /l*v %TEMP%\\gnlauncher-repair.log"});
    }
    const std::string module = module_of(facts, view);
    if (module.empty()) return concat({regsvr32(facts, view), " \"<folder>\\GNLauncher.dll\""});
    return concat({regsvr32(facts, view), " ", quoted(module)});
}

finding make(verdict level, std::string check, std::string why, std::string fix = {}) {
    return finding{level, std::move(check), std::move(why), std::move(fix)};
}

std::string file_line(const file_facts& file) {
    std::string line = file.path;
    if (!file.version.empty()) line += ", version " + file.version;
    return line;
}

// ---------------------------------------------------------------------------

void check_launcher(const machine_facts& facts, const view_facts& view, std::vector<finding>& out) {
    const std::string check = titled("launcher class", view);
    const file_facts& file = view.launcher.file;
    if (!view.launcher.registered) {
        out.push_back(make(verdict::problem, check,
                           concat({"not registered: ", std::to_string(view.bits),
                                   "-bit browsers cannot open documents"}),
                           register_fix(facts, view)));
    } else if (!file.exists) {
        out.push_back(make(verdict::problem, check,
                           concat({"registered, but its file is gone: ", file.path}),
                           register_fix(facts, view)));
    } else if (file.bits != view_file_bits(view)) {
        out.push_back(make(verdict::problem, check,
                           concat({"registered with a ", bits_name(file.bits), " file in the ",
                                   view_name(view), ": ", file.path}),
                           register_fix(facts, view)));
    } else {
        out.push_back(make(verdict::ok, check, "registered: " + file_line(file)));
    }
}

void check_progids(const machine_facts& facts, const view_facts& view, std::vector<finding>& out) {
    std::string wrong;
    for (size_t i = 0; i < 4; ++i) {
        const char* clsid = kProgIds[i].version_service ? kVersionClsid : kLauncherClsid;
        if (!same_text(view.progids[i].clsid, clsid))
            wrong += concat({wrong.empty() ? "" : ", ", kProgIds[i].name,
                             view.progids[i].present ? " (names another class)" : " (missing)"});
    }
    if (!view.version.registered)
        wrong += concat({wrong.empty() ? "" : ", ", "the version service class (missing)"});
    const std::string check = titled("programmatic identifiers", view);
    if (wrong.empty())
        out.push_back(make(verdict::ok, check,
                           "the launcher's and the version service's identifiers name their classes"));
    else
        out.push_back(make(verdict::problem, check, wrong, register_fix(facts, view)));
}

void check_mime(const machine_facts& facts, const view_facts& view, std::vector<finding>& out) {
    std::string wrong;
    const auto entry = [&](const key_facts& key, const char* type, const char* clsid,
                           const char* extension) {
        if (!key.present)
            wrong += concat({wrong.empty() ? "" : "; ", type, " missing"});
        else if (!same_text(key.clsid, clsid) || !same_text(key.extension, extension))
            wrong += concat({wrong.empty() ? "" : "; ", type, " names ",
                             key.clsid.empty() ? "no class" : key.clsid, " and ",
                             key.extension.empty() ? "no extension" : key.extension});
    };
    entry(view.mime_document, "application/x-quorquery", kLauncherClsid, ".dzy");
    entry(view.mime_data, "application/x-quorquerydata", kDataClsid, ".dzd");
    const std::string check = titled("MIME database", view);
    if (wrong.empty())
        out.push_back(make(verdict::ok, check, "both document types name the launcher"));
    else
        out.push_back(make(verdict::problem, check, wrong, register_fix(facts, view)));
}

void check_file_types(const machine_facts& facts, const view_facts& view, std::vector<finding>& out) {
    const std::string check = titled("file types", view);
    std::string wrong;
    const auto add = [&](std::string_view text) { wrong += concat({wrong.empty() ? "" : "; ", text}); };
    if (!view.dzy.present)
        add(".dzy missing");
    else if (!same_text(view.dzy.content_type, "application/x-quorquery"))
        add(".dzy has another Content Type");
    if (view.dzy.present && !view.dzy_type_key.present)
        add(concat({".dzy names ", quoted(view.dzy_type), ", which is missing"}));
    else if (view.dzy.present && !same_text(view.dzy_type_key.clsid, kLauncherClsid))
        add(concat({"type key ", quoted(view.dzy_type), " does not name the launcher"}));
    if (!view.dzd.present || !same_text(view.dzd.value_default, "dzdfile") ||
        !same_text(view.dzd.content_type, "application/x-quorquerydata"))
        add(".dzd missing or changed");
    else if (!view.dzdfile.present || !same_text(view.dzdfile.clsid, kDataClsid))
        add("dzdfile does not name the launcher");
    if (!wrong.empty()) {
        out.push_back(make(verdict::problem, check, wrong, register_fix(facts, view)));
    } else if (!same_text(view.dzy_type, "dzyfile")) {
        out.push_back(
            make(verdict::warning, titled("foreign .dzy association", view),
                 concat({".dzy belongs to another program's type ", quoted(view.dzy_type),
                         view.dzy_type_key.value_default.empty()
                             ? std::string()
                             : concat({" (", view.dzy_type_key.value_default, ")"}),
                         "; the launcher was added to it, and that program decides how .dzy files "
                         "open from disk"}),
                 concat({"reg add HKCR\\.dzy /ve /d dzyfile /f && ", register_fix(facts, view)})));
    } else {
        out.push_back(make(verdict::ok, check, ".dzy (dzyfile) and .dzd (dzdfile) name the launcher"));
    }
}

void check_typelib(const machine_facts& facts, const view_facts& view, std::vector<finding>& out) {
    const std::string check = titled("type library", view);
    const char* system = view.bits == 64 ? "win64" : "win32";
    if (view.typelib_path.empty())
        out.push_back(make(verdict::problem, check,
                           concat({"not registered for ", system, " (TypeLib\\", kLibId, "\\1.0\\0\\",
                                   system, ")"}),
                           register_fix(facts, view)));
    else if (!view.typelib_exists)
        out.push_back(make(verdict::problem, check,
                           "registered from a file that is gone: " + view.typelib_path,
                           register_fix(facts, view)));
    else if (view.helpdir.empty() || !view.helpdir_exists)
        out.push_back(make(verdict::problem, check,
                           concat({"HELPDIR names a folder that is gone: ",
                                   view.helpdir.empty() ? "(none)" : view.helpdir}),
                           register_fix(facts, view)));
    else
        out.push_back(make(verdict::ok, check, concat({view.typelib_path, ", HELPDIR ", view.helpdir})));
}

void check_interfaces(const machine_facts& facts, const view_facts& view, std::vector<finding>& out) {
    std::string wrong;
    for (const interface_facts& face : view.interfaces) {
        const char* fault = face.typelib.empty() && face.proxy_stub.empty() ? "missing"
                            : !same_text(face.typelib, kLibId) || face.version != "1.0"
                                ? "names another library"
                            : !same_text(face.proxy_stub, kUniversalMarshaler) ? "has another proxy"
                                                                               : nullptr;
        if (fault) wrong += concat({wrong.empty() ? "" : ", ", face.name, " ", fault});
    }
    const std::string check = titled("interfaces", view);
    if (wrong.empty())
        out.push_back(
            make(verdict::ok, check, "ILauncher, IMorvaneVersion and ICtlHost6x point at the library"));
    else
        out.push_back(make(verdict::problem, check, wrong, register_fix(facts, view)));
}

void check_client(const machine_facts& facts, const view_facts& view, bool main_plugin,
                  std::vector<finding>& out) {
    const client_facts& client = main_plugin ? view.plugin : view.legacy;
    const view_facts& other = &view == &facts.views[0] ? facts.views[1] : facts.views[0];
    const client_facts& elsewhere = main_plugin ? other.plugin : other.legacy;
    const std::string check = titled(main_plugin ? "main plugin" : "legacy control", view);
    const std::string bits = std::to_string(view.bits);
    const char* reinstall = main_plugin ? "install or repair the QuorQuery client (8.x), "
                                        : "install or repair the 6.x client, ";
    // What a fault of the legacy control costs: it is optional, and the
    // launcher opens documents with the main plugin when it counts as absent.
    const verdict absent = main_plugin ? verdict::problem : verdict::ok;
    if (!client.registered) {
        if (!main_plugin) {
            out.push_back(make(absent, check, "not installed: documents open with the main plugin"));
        } else if (other.exists && elsewhere.registered) {
            out.push_back(make(verdict::problem, check,
                               concat({"registered in the ", view_name(other), " only: ", bits,
                                       "-bit browsers cannot open documents"}),
                               concat({reinstall, bits, "-bit"})));
        } else {
            out.push_back(make(verdict::problem, check, "not registered: documents cannot open",
                               concat({reinstall, bits, "-bit"})));
        }
    } else if (!client.file.exists) {
        out.push_back(make(main_plugin ? verdict::problem : verdict::warning, check,
                           concat({"registered, but its file is gone: ", client.file.path,
                                   main_plugin ? "" : " (counted as not installed)"}),
                           concat({reinstall, bits, "-bit"})));
    } else if (client.file.bits != view_file_bits(view)) {
        out.push_back(
            make(verdict::problem, check,
                 concat({"a ", bits_name(client.file.bits), " file in the ", view_name(view), ": ", bits,
                         "-bit browsers cannot create it (", client.file.path, ")"}),
                 concat({reinstall, bits, "-bit"})));
    } else if (client.addon.blocked) {
        out.push_back(make(main_plugin ? verdict::problem : verdict::warning, check,
                           concat({"blocked by the administrator's settings: ", client.addon.rule,
                                   main_plugin ? "; documents cannot open"
                                               : "; documents open with the main plugin"}),
                           client.addon.fix));
    } else if (client.addon.replaced) {
        out.push_back(make(verdict::warning, check,
                           concat({"replaced by the administrator's settings: ", client.addon.rule,
                                   main_plugin ? "; documents open with the legacy control"
                                               : "; documents open with the main plugin"}),
                           client.addon.fix));
    } else {
        out.push_back(make(verdict::ok, check, "registered: " + file_line(client.file)));
    }
    if (!client.addon.malformed.empty())
        out.push_back(make(verdict::warning, check + " settings",
                           "malformed, so counted as not set: " + client.addon.malformed,
                           client.addon.malformed_fix));
}

void check_site_lock(const view_facts& view, std::vector<finding>& out) {
    const std::string check = titled("site lock", view);
    if (view.allow_all_sites) {
        out.push_back(
            make(verdict::ok, check, "off: AllowAllSites=1 lets every page change the URL map"));
    } else {
        std::string listed;
        for (const std::string& site : view.allowed_sites)
            listed += concat({listed.empty() ? "" : ", ", site});
        out.push_back(
            make(verdict::ok, check,
                 concat({"on: local, intranet and trusted pages change the URL map; AllowedSites: ",
                         listed.empty() ? "(none)" : listed,
                         "; other Internet pages only their own host's mappings"})));
    }
    if (!view.ignored_sites.empty()) {
        std::string names;
        for (const std::string& name : view.ignored_sites)
            names += concat({names.empty() ? "" : ", ", name});
        out.push_back(
            make(verdict::warning, titled("AllowedSites", view),
                 "values that are no text are ignored: " + names,
                 concat({"reg add \"", kAllowedSitesKey, "\" /v <name> /t REG_SZ /d <host> /f"})));
    }
}

void check_url(const machine_facts& facts, std::vector<finding>& out) {
    const view_facts& view = facts.views[0];
    const std::string check = "page " + facts.url.url;
    char host[kHostSize];
    site_facts site;
    site.leads_to_host = true;
    site.page_known = true;
    site.host_known = url_host(facts.url.url.c_str(), host);
    site.zone = facts.url.zone;
    for (const std::string& pattern : view.allowed_sites)
        if (site.host_known && host_matches(host, pattern.c_str())) site.listed = true;
    const map_access access = view.allow_all_sites ? map_access::all : page_access(site);
    const std::string zone =
        concat({"zone ", zone_name(site.zone), site.listed ? ", on AllowedSites" : ""});
    const std::string add =
        concat({"reg add \"", kAllowedSitesKey, "\" /v ", site.host_known ? host : "<host>",
                " /t REG_SZ /d ", site.host_known ? host : "<host>", " /f"});
    if (access == map_access::all)
        out.push_back(make(verdict::ok, check,
                           zone + (view.allow_all_sites ? ": AllowAllSites lets it change any mapping"
                                                        : ": it may change any mapping")));
    else if (access == map_access::own_host)
        out.push_back(make(
            verdict::warning, check,
            concat({zone, ": not on AllowedSites, it may change only mappings of its own host ", host}),
            add));
    else
        out.push_back(make(verdict::warning, check,
                           zone + (site.host_known ? ": not on AllowedSites, it may change no mapping"
                                                   : ": no plain host, it may change no mapping"),
                           site.host_known ? add : std::string()));
}

void check_switches(const machine_facts& facts, std::vector<finding>& out) {
    const char* path =
        choose_log_path(facts.local_log_writable, facts.log_env_set ? facts.log_env.c_str() : nullptr);
    if (!path)
        out.push_back(
            make(verdict::ok, "log",
                 "off: no writable quor_launcher.log in the browser's folder and no GNLAUNCHERLOG"));
    else if (facts.local_log_writable)
        out.push_back(
            make(verdict::ok, "log", concat({"on: ", facts.current_folder, "quor_launcher.log"})));
    else if (!facts.log_env_folder_exists)
        out.push_back(make(verdict::warning, "log",
                           concat({"GNLAUNCHERLOG names ", path,
                                   ", whose folder does not exist: nothing is logged"}),
                           "setx GNLAUNCHERLOG %TEMP%\\gnlauncher.log"));
    else
        out.push_back(make(verdict::ok, "log", concat({"on: ", path, " (GNLAUNCHERLOG)"})));
    for (const view_facts& view : facts.views) {
        if (!view.exists || (&view != &facts.views[0] && !view.launcher.registered)) continue;
        out.push_back(make(verdict::ok, titled("failure tracing", view),
                           view.trace_failures ? (path ? "on: failures are written to the log"
                                                       : "on, but the log is off: nothing is written")
                                               : "off (TraceFailures)"));
    }
}

void check_temp(const machine_facts& facts, std::vector<finding>& out) {
    if (!facts.temp_writable) {
        out.push_back(make(verdict::problem, "temp folder",
                           concat({facts.temp_folder.empty() ? "(none)" : facts.temp_folder,
                                   " is not writable: downloads cannot be kept"}),
                           "set TEMP and TMP to a folder the user may write"));
    } else if (facts.stale_files) {
        out.push_back(
            make(verdict::warning, "temp folder",
                 concat({std::to_string(facts.stale_files), " DZ*.tmp file(s) left in ",
                         facts.temp_folder, ", the oldest ", age_text(facts.oldest_age_s), " old"}),
                 concat({"close every browser, then: del \"", facts.temp_folder, "DZ*.tmp\""})));
    } else {
        out.push_back(
            make(verdict::ok, "temp folder", facts.temp_folder + " is writable, no DZ*.tmp left"));
    }
}

void put_utf8_escape(std::string& out, unsigned code) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\u%04x", code);
    out += hex;
}

}  // namespace

const progid_row kProgIds[4] = {{"DZxLauncher.MorvaneLauncher", false},
                                {"DZxLauncher.MorvaneLauncher.2", false},
                                {"DZxLauncher.MorvaneVersion", true},
                                {"DZxLauncher.MorvaneVersion.1", true}};

std::vector<finding> findings(const machine_facts& facts) {
    std::vector<finding> out;
    for (const view_facts& view : facts.views) {
        if (!view.exists) continue;
        if (&view != &facts.views[0] && !view.launcher.registered) {
            out.push_back(
                make(verdict::ok, titled("launcher class", view),
                     concat({"not registered: this machine's ", std::to_string(view.bits),
                             "-bit browsers do not open documents (the x64 package installs both)"})));
            continue;
        }
        check_launcher(facts, view, out);
        check_progids(facts, view, out);
        check_mime(facts, view, out);
        check_file_types(facts, view, out);
        check_typelib(facts, view, out);
        check_interfaces(facts, view, out);
        check_client(facts, view, false, out);
        check_client(facts, view, true, out);
        check_site_lock(view, out);
    }
    if (facts.url.given) check_url(facts, out);
    check_switches(facts, out);
    check_temp(facts, out);
    return out;
}

int exit_code(const std::vector<finding>& found) noexcept {
    int code = 0;
    for (const finding& f : found)
        if (static_cast<int>(f.level) > code) code = static_cast<int>(f.level);
    return code;
}

const char* verdict_name(verdict v) noexcept {
    return v == verdict::problem ? "PROBLEM" : v == verdict::warning ? "WARNING" : "OK";
}

std::string text_report(const machine_facts& facts, const std::vector<finding>& found) {
    std::string out = concat({"gncheck (", std::to_string(facts.own_bits), "-bit) on ",
                              facts.windows_64 ? "64-bit" : "32-bit", " Windows\n"});
    unsigned counts[3] = {};
    for (const finding& f : found) {
        ++counts[static_cast<int>(f.level)];
        char level[16];
        std::snprintf(level, sizeof level, "%-8s ", verdict_name(f.level));
        out += concat({level, f.check, ": ", f.why, "\n"});
        if (!f.fix.empty()) out += concat({"         fix: ", f.fix, "\n"});
    }
    const verdict worst = static_cast<verdict>(exit_code(found));
    out += concat({"Result: ", verdict_name(worst), " (", std::to_string(counts[2]), " problem(s), ",
                   std::to_string(counts[1]), " warning(s), ", std::to_string(counts[0]), " OK)\n"});
    return out;
}

std::string json_report(const machine_facts& facts, const std::vector<finding>& found) {
    const verdict worst = static_cast<verdict>(exit_code(found));
    std::string out =
        concat({"{\n  \"program\": \"gncheck\",\n  \"bits\": ", std::to_string(facts.own_bits),
                ",\n  \"windows64\": ", facts.windows_64 ? "true" : "false",
                ",\n  \"verdict\": ", json_string(verdict_name(worst)),
                ",\n  \"exit\": ", std::to_string(exit_code(found)), ",\n  \"checks\": ["});
    for (size_t i = 0; i < found.size(); ++i) {
        const finding& f = found[i];
        out += concat({i ? ",\n    {" : "\n    {", "\"check\": ", json_string(f.check),
                       ", \"verdict\": ", json_string(verdict_name(f.level)),
                       ", \"why\": ", json_string(f.why),
                       ", \"fix\": ", f.fix.empty() ? "null" : json_string(f.fix), "}"});
    }
    out += "\n  ]\n}\n";
    return out;
}

std::string json_string(std::string_view text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c < 0x20 || c == 0x7F) {
            put_utf8_escape(out, c);
            ++i;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
        } else {
            // A whole, shortest UTF-8 sequence passes; anything else is U+FFFD.
            const size_t length = c >= 0xC2 && c <= 0xDF   ? 2
                                  : c >= 0xE0 && c <= 0xEF ? 3
                                  : c >= 0xF0 && c <= 0xF4 ? 4
                                                           : 0;
            bool whole = length && i + length <= text.size();
            unsigned code = length == 2 ? c & 0x1F : length == 3 ? c & 0x0F : c & 0x07;
            for (size_t k = 1; whole && k < length; ++k) {
                const auto next = static_cast<unsigned char>(text[i + k]);
                whole = (next & 0xC0) == 0x80;
                code = code << 6 | (next & 0x3F);
            }
            if (whole && ((length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
                          (length == 4 && (code < 0x10000 || code > 0x10FFFF))))
                whole = false;
            if (whole) {
                out.append(text.substr(i, length));
                i += length;
            } else {
                out += "\xEF\xBF\xBD";
                ++i;
            }
        }
    }
    return out + "\"";
}

file_bits pe_bits(const unsigned char* bytes, size_t size) noexcept {
    if (!bytes || size < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z') return file_bits::unknown;
    const unsigned long at = bytes[0x3C] | bytes[0x3D] << 8 |
                             static_cast<unsigned long>(bytes[0x3E]) << 16 |
                             static_cast<unsigned long>(bytes[0x3F]) << 24;
    if (at > size || size - at < 6 || std::memcmp(bytes + at, "PE\0\0", 4) != 0)
        return file_bits::unknown;
    const unsigned machine = bytes[at + 4] | bytes[at + 5] << 8;
    return machine == 0x014C ? file_bits::x86 : machine == 0x8664 ? file_bits::x64 : file_bits::other;
}

std::string age_text(unsigned long long seconds) {
    if (seconds < 120) return std::to_string(seconds) + " s";
    if (seconds < 2ull * 3600) return std::to_string(seconds / 60) + " min";
    if (seconds < 2ull * 86400) return std::to_string(seconds / 3600) + " h";
    return std::to_string(seconds / 86400) + " days";
}

options parse_options(const std::vector<std::string>& args) {
    options o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--json") {
            o.json = true;
        } else if (arg == "--help" || arg == "/?") {
            o.help = true;
        } else if (arg == "--url" && i + 1 < args.size() && !o.url_given) {
            o.url = args[++i];
            o.url_given = true;
            if (o.url.empty() || o.url.size() > 2048)
                o.error = "--url needs a URL of at most 2048 characters";
        } else {
            o.error = "unknown or repeated argument: " + arg;
        }
        if (!o.error.empty()) break;
    }
    return o;
}

const char* usage() noexcept {
    return "gncheck.exe [--json] [--url URL]\n"
           "Checks whether QuorQuery documents open on this machine: the launcher's registration in\n"
           "each registry view, the client controls, the site lock, the log and the temp folder.\n"
           "Exit code: 0 all OK, 1 warnings, 2 problems, 3 bad command line. Changes nothing.\n";
}

}  // namespace gn::check
