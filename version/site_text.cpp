#include "version/site_text.h"

#include <cstring>

namespace gn {

namespace {

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool is_scheme_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '+' || c == '-' || c == '.';
}

bool is_name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '-' || c == '.' || c == '_';
}

bool is_address_char(char c) {
    return (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || (c >= '0' && c <= '9') ||
           c == ':' || c == '.';
}

// Length of a name without one final dot.
size_t name_length(const char* s) {
    size_t n = std::strlen(s);
    if (n > 0 && s[n - 1] == '.') --n;
    return n;
}

bool equal_nocase(const char* a, size_t alen, const char* b, size_t blen) {
    if (alen != blen) return false;
    for (size_t i = 0; i < alen; ++i)
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    return true;
}

}  // namespace

bool url_host(const char* url, char (&out)[kHostSize]) noexcept {
    out[0] = '\0';
    if (!url) return false;
    const char* p = url;
    if (!((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z'))) return false;
    while (is_scheme_char(*p)) ++p;
    if (p[0] != ':' || p[1] != '/' || p[2] != '/') return false;
    p += 3;

    // The authority runs to the path, the query or the fragment.
    const char* end = p;
    while (*end && *end != '/' && *end != '?' && *end != '#') ++end;

    const char* host_end = p;
    if (*p == '[') {
        host_end = p + 1;
        while (host_end < end && is_address_char(*host_end)) ++host_end;
        if (host_end >= end || *host_end != ']' || host_end == p + 1) return false;
        ++host_end;
    } else {
        while (host_end < end && is_name_char(*host_end)) ++host_end;
    }
    // Only a port may follow the host.
    if (host_end < end) {
        if (*host_end != ':') return false;
        for (const char* q = host_end + 1; q < end; ++q)
            if (*q < '0' || *q > '9') return false;
    }

    size_t n = static_cast<size_t>(host_end - p);
    if (n > 0 && p[n - 1] == '.' && *p != '[') --n;
    if (n == 0 || n >= kHostSize) return false;
    // A name is labels joined by single dots: no empty label anywhere.
    if (*p != '[') {
        if (p[0] == '.' || p[n - 1] == '.') return false;  // "a.." is no "a."
        for (size_t i = 1; i < n; ++i)
            if (p[i] == '.' && p[i - 1] == '.') return false;
    }
    for (size_t i = 0; i < n; ++i) out[i] = ascii_lower(p[i]);
    out[n] = '\0';
    return true;
}

void ascii_for_host(const wchar_t* text, size_t length, char* out) noexcept {
    for (size_t i = 0; i < length; ++i)
        out[i] = (text[i] > 0 && text[i] < 0x80) ? static_cast<char>(text[i]) : '%';
    out[length] = '\0';
}

bool host_matches(const char* host, const char* pattern) noexcept {
    if (!host || !pattern || !*host) return false;
    const size_t hlen = name_length(host);
    if (pattern[0] == '*' && pattern[1] == '.') {
        const char* suffix = pattern + 1;  // ".example.com"
        const size_t slen = name_length(suffix);
        if (slen < 2 || std::strchr(suffix, '*')) return false;
        return hlen > slen && equal_nocase(host + hlen - slen, slen, suffix, slen);
    }
    if (std::strchr(pattern, '*')) return false;
    const size_t plen = name_length(pattern);
    return plen > 0 && equal_nocase(host, hlen, pattern, plen);
}

const char* zone_name(long zone) noexcept {
    switch (zone) {
    case zone_unknown:
        return "(unknown)";
    case zone_local_machine:
        return "Local Machine";
    case zone_intranet:
        return "Local intranet";
    case zone_trusted:
        return "Trusted sites";
    case zone_internet:
        return "Internet";
    case zone_untrusted:
        return "Restricted sites";
    default:
        return "custom";
    }
}

id_page security_id_page(const unsigned char* id, size_t size, const char* page_host, long* zone,
                         char (&host)[kHostSize]) noexcept {
    host[0] = '\0';
    if (!id || !zone || size < 4 + 2) return id_page::none;
    size_t text = size - 4;
    const unsigned long number = id[text] | (id[text + 1] << 8) | (id[text + 2] << 16) |
                                 (static_cast<unsigned long>(id[text + 3]) << 24);
    while (text > 0 && id[text - 1] == '\0') --text;  // a terminator some hosts count

    const char* s = reinterpret_cast<const char*>(id);
    size_t scheme = 0;
    while (scheme < text && is_scheme_char(s[scheme])) ++scheme;
    if (scheme == 0 || scheme >= text || s[scheme] != ':') return id_page::none;

    // Only a web page's id names a host: "http:" or "https:" and the site,
    // all of it the host (nothing that would end it early) and in plain letters.
    const bool web = equal_nocase(s, scheme, "http", 4) || equal_nocase(s, scheme, "https", 5);
    const size_t site = text - scheme - 1;
    if (web) {
        if (site == 0 || site >= kHostSize || !page_host) return id_page::unknown;
        char url[sizeof "http://" + kHostSize];
        std::memcpy(url, "http://", 7);
        for (size_t i = 0; i < site; ++i) {
            const char c = s[scheme + 1 + i];
            if (c == '\0' || c == '/' || c == '?' || c == '#' || (c & 0x80)) return id_page::unknown;
            url[7 + i] = c;
        }
        url[7 + site] = '\0';
        if (!url_host(url, host) || std::strcmp(host, page_host) != 0) {
            host[0] = '\0';
            return id_page::unknown;
        }
    }
    // Zones past the restricted one are the administrator's own: one number for all.
    *zone = static_cast<long>(number <= zone_untrusted ? number : zone_untrusted + 1);
    return id_page::known;
}

map_access page_access(const site_facts& facts) noexcept {
    if (!facts.leads_to_host && !facts.untrusted) return map_access::all;
    if (!facts.page_known) return map_access::none;
    if (facts.zone == zone_local_machine || facts.zone == zone_intranet ||
        facts.zone == zone_trusted || facts.listed)
        return map_access::all;
    return facts.zone == zone_internet && facts.host_known ? map_access::own_host : map_access::none;
}

page_rights narrower(const page_rights& held, const page_rights& now) noexcept {
    if (held.access == map_access::all) return now;
    if (now.access == map_access::none && held.access != map_access::none) return now;
    page_rights kept = held;
    if (now.access == map_access::own_host && held.access == map_access::own_host &&
        std::strcmp(now.host, held.host) != 0)
        kept.access = map_access::none;
    return kept;
}

bool may_change_mapping(map_access access, const char* page_host, const char* old_url) noexcept {
    if (access == map_access::all) return true;
    if (access == map_access::none || !page_host || !*page_host) return false;
    char old_host[kHostSize];
    return url_host(old_url, old_host) && std::strcmp(old_host, page_host) == 0;
}

}  // namespace gn
