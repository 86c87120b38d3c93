// The per-user map from legacy document URLs to their successors.
#include "version/version_service.h"

#include <cstring>
#include <memory>
#include <new>

#include "frame/log.h"
#include "version/system_text.h"
#include "version/version_text.h"

namespace {

const char kMapKey[] = "Software\\Quor Software\\QuorPlugin\\quorqry\\6x-8x URL Map";

// The new URL and its terminating zero as the value's data.
bool write_mapping(HKEY key, const char* old_url, const char* new_url) noexcept {
    const size_t size = std::strlen(new_url) + 1;
    if (size > MAXDWORD) return false;
    return RegSetValueExA(key, old_url, 0, REG_SZ, reinterpret_cast<const BYTE*>(new_url),
                          static_cast<DWORD>(size)) == ERROR_SUCCESS;
}

// Maps old_url to new_url, or removes the mapping of old_url when new_url is
// blank. Removing a mapping that is not there succeeds.
bool update_url_map(const char* old_url, const char* new_url) noexcept {
    if (gn::is_blank_url(old_url)) return false;
    const bool remove = gn::is_blank_url(new_url);

    gn::unique_hkey key;
    bool exists = false;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kMapKey, 0, KEY_ALL_ACCESS, key.put()) == ERROR_SUCCESS) {
        exists = RegQueryValueExA(key.get(), old_url, nullptr, nullptr, nullptr, nullptr) ==
                 ERROR_SUCCESS;
    }

    if (remove) return !exists || RegDeleteValueA(key.get(), old_url) == ERROR_SUCCESS;
    if (exists) return write_mapping(key.get(), old_url, new_url);

    // A new name: the map has room for a bounded number of them.
    DWORD count = 0;
    if (key && RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                &count, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    if (count >= gn::kMaxUrlMapEntries) {
        LogPrint(0, "Map6xUrlTo8(): URL map is full (%lu entries), new name refused",
                 static_cast<unsigned long>(gn::kMaxUrlMapEntries));
        return false;
    }

    gn::unique_hkey created;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kMapKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, nullptr, created.put(), nullptr) != ERROR_SUCCESS)
        return false;
    if (key && RegCloseKey(key.release()) != ERROR_SUCCESS) return false;
    return write_mapping(created.get(), old_url, new_url);
}

}  // namespace

// A page allowed only its own host clears only the mappings of that host.
bool MorvaneVersion::may_clear(const gn::page_rights& who, const wchar_t* name, DWORD length) noexcept {
    if (who.access == gn::map_access::all) return true;
    std::unique_ptr<char[]> ascii(new (std::nothrow) char[length + 1]);
    if (!ascii) return false;
    gn::ascii_for_host(name, length, ascii.get());
    return gn::may_change_mapping(who.access, who.host, ascii.get());
}

STDMETHODIMP MorvaneVersion::Map6xUrlTo8(BSTR sOldURL, BSTR sNewURL) {
    const UINT old_length = SysStringLen(sOldURL);
    const UINT new_length = SysStringLen(sNewURL);
    gn::system_text old_url;
    gn::system_text new_url;
    const HRESULT converted_old = old_url.assign(sOldURL, old_length);
    const HRESULT converted_new = new_url.assign(sNewURL, new_length);
    char old_shown[gn::kLogArgumentSize];
    char new_shown[gn::kLogArgumentSize];
    LogPrint(0, "Map6xUrlTo8() invoked. OldUrl: %s -> NewUrl: %s",
             gn::log_argument(old_url.c_str(), old_shown),
             gn::log_argument(new_url.c_str(), new_shown));

    // A page may point only the legacy documents its zone and the policy let it.
    const gn::page_rights who = identify_caller();
    if (!gn::may_change_mapping(who.access, who.host, old_url.c_str())) {
        LogPrint(0, "Map6xUrlTo8(): Page on host %s in zone %s may not change the URL map",
                 who.host[0] ? who.host : "(unknown)", gn::zone_name(who.zone));
        return E_ACCESSDENIED;
    }

    // Any page can call this: no URL longer than a browser would take.
    if (old_length > gn::kMaxUrlLength || new_length > gn::kMaxUrlLength) {
        LogPrint(0, "Map6xUrlTo8(): URL longer than %u characters refused", gn::kMaxUrlLength);
        return E_INVALIDARG;
    }

    // A URL the code page cannot carry would be stored under, or as, another
    // text, and could overwrite the mapping of a different document.
    const bool faithful = SUCCEEDED(converted_old) && SUCCEEDED(converted_new) &&
                          old_url.exact() && new_url.exact();
    if (!faithful || !update_url_map(old_url.c_str(), new_url.c_str()))
        LogPrint(0, "Map6xUrlTo8(): Failed to update URL map in registry");
    return S_OK;
}

STDMETHODIMP MorvaneVersion::Clear6xUrlMap() {
    LogPrint(0, "Clear6xURLMap() invoked");
    const gn::page_rights who = identify_caller();
    if (who.access == gn::map_access::none) {
        LogPrint(0, "Clear6xURLMap(): Page on host %s in zone %s may not change the URL map",
                 who.host[0] ? who.host : "(unknown)", gn::zone_name(who.zone));
        return E_ACCESSDENIED;
    }

    gn::unique_hkey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kMapKey, 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS)
        return S_OK;

    DWORD count = 0;
    DWORD longest = 0;
    if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                         &longest, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return S_OK;

    // Names are read as the registry keeps them, in full, so that every mapping
    // goes: long names and names outside the code page included.
    const DWORD capacity = longest < 1024 ? 1024 : longest + 1;
    std::unique_ptr<wchar_t[]> name(new (std::nothrow) wchar_t[capacity]);
    if (!name) return S_OK;
    for (DWORD index = count; index-- > 0;) {
        DWORD length = capacity;
        if (RegEnumValueW(key.get(), index, name.get(), &length, nullptr, nullptr, nullptr,
                          nullptr) == ERROR_SUCCESS &&
            length > 0 && may_clear(who, name.get(), length))
            RegDeleteValueW(key.get(), name.get());
    }
    return S_OK;
}
