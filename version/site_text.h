// Rules of the version service's site lock: which page may change the legacy
// URL map. Plain text and numbers in, a verdict out; the registry, the zone
// manager and the page's site are read by the caller.
#pragma once

#include <cstddef>

namespace gn {

// Room for the longest host name (253 characters of a DNS name, or a
// bracketed address literal) and its zero.
constexpr size_t kHostSize = 256;

// Writes the host of an absolute URL ("scheme://host[:port]/...") into out,
// lower-cased, without the port and without a final dot. Only a plain host is
// taken: labels of letters, digits, '-' and '_' joined by single dots, or an
// address in brackets. A URL with
// user information ('@'), a backslash, a percent sign or any other character
// in its authority has no host here, so no other reader of the same text can
// find a different host in it. False, with out empty, when there is none.
bool url_host(const char* url, char (&out)[kHostSize]) noexcept;

// Copies length wide characters into out (room for length + 1): those below
// 0x80 as they are, every other one (zero included) as '%', which no host
// taken by url_host holds. The copy then has a host exactly when the wide
// text has the same host in plain letters.
void ascii_for_host(const wchar_t* text, size_t length, char* out) noexcept;

// True when host matches an allow-list pattern: either the same name (case
// ignored, a final dot on either ignored), or "*." followed by a name, which
// matches every host below that name but not the name itself. Any other '*'
// makes the pattern match nothing. Null or empty texts match nothing.
bool host_matches(const char* host, const char* pattern) noexcept;

// Security zones as the zone manager numbers them.
enum url_zone : long {
    zone_local_machine = 0,
    zone_intranet = 1,
    zone_trusted = 2,
    zone_internet = 3,
    zone_untrusted = 4,
};

// What the caller found out about the page that scripts the object.
struct site_facts {
    bool has_site = false;      // the container gave the object a site
    bool page_known = false;    // the page's URL was found through the site
    long zone = zone_untrusted; // the page's zone, when known
    bool listed = false;        // the page's host is on the allow list
    bool allow_all = false;     // the administrator turned the lock off
};

// How much of the map a page may change.
enum class map_access {
    all,       // any mapping
    own_host,  // only mappings whose old URL is on the page's host
    none,
};

// No site (a local script host), the lock turned off, a page of the local
// machine, the intranet or the trusted sites, or a listed host: all. Another
// page whose URL is known, outside the restricted zone: own_host. Everything
// else (no URL through the site, a restricted page): none.
map_access page_access(const site_facts& facts) noexcept;

// Whether a page with the given access and host may change the mapping of
// old_url: always with all, with own_host only when old_url has the page's host.
bool may_change_mapping(map_access access, const char* page_host, const char* old_url) noexcept;

}  // namespace gn
