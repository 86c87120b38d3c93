// The version service's text rules: registry strings, version records, URLs,
// log arguments, and the site lock's hosts, security ids and allow-list patterns.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "version/site_text.h"
#include "version/version_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const char* s = text.c_str();

    (void)gn::is_braced_guid(s);
    (void)gn::is_blank_url(s);
    char shown[gn::kLogArgumentSize];
    const char* arg = gn::log_argument(s, shown);
    if (std::strlen(arg) > gn::kLogArgumentLimit + sizeof gn::kLogCutMarker) __builtin_trap();

    // A registry read of any size into a buffer of any capacity.
    if (size >= 2) {
        const unsigned long capacity = data[0] % 64 + 1;
        std::vector<char> buf(capacity);
        std::memcpy(buf.data(), data + 2, size - 2 < capacity ? size - 2 : capacity);
        (void)gn::terminate_registry_text(buf.data(), capacity, data[1] % 80);
    }
    if (size >= 8) {
        std::uint32_t ms = 0, ls = 0;
        std::memcpy(&ms, data, 4);
        std::memcpy(&ls, data + 4, 4);
        char version[gn::kVersionTextSize];
        gn::format_file_version(ms, ls, version);
    }

    // Hosts: the text as a URL, and its two halves as host and pattern.
    char host[gn::kHostSize];
    if (gn::url_host(s, host)) {
        // A host found is plain and lower-case, and a URL of its own names it again.
        for (const char* p = host; *p; ++p)
            if (*p >= 'A' && *p <= 'Z') __builtin_trap();
        char again[gn::kHostSize];
        const std::string own = "http://" + std::string(host) + ":1/";
        if (!gn::url_host(own.c_str(), again) || std::strcmp(again, host) != 0) __builtin_trap();
    }
    // The bytes as a host's security id for a page of that host (or none): a
    // host the id names is the page's own, never another.
    long zone = 0;
    char id_host[gn::kHostSize];
    if (gn::security_id_page(data, size, host, &zone, id_host) == gn::id_page::known && id_host[0] &&
        std::strcmp(id_host, host) != 0)
        __builtin_trap();
    const std::string first = text.substr(0, size / 2), second = text.substr(size / 2);
    (void)gn::host_matches(first.c_str(), second.c_str());
    for (gn::map_access access : {gn::map_access::all, gn::map_access::own_host, gn::map_access::none})
        (void)gn::may_change_mapping(access, first.c_str(), second.c_str());

    std::vector<wchar_t> wide(size / 2);
    for (std::size_t i = 0; i < wide.size(); ++i)
        wide[i] = static_cast<wchar_t>(data[2 * i] | (data[2 * i + 1] << 8));
    std::vector<char> ascii(wide.size() + 1);
    gn::ascii_for_host(wide.data(), wide.size(), ascii.data());
    (void)gn::url_host(ascii.data(), host);
    return 0;
}
