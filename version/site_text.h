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

// Security zones as the zone manager numbers them; zone_unknown when
// neither the host nor the zone manager told one.
enum url_zone : long {
    zone_unknown = -1,
    zone_local_machine = 0,
    zone_intranet = 1,
    zone_trusted = 2,
    zone_internet = 3,
    zone_untrusted = 4,
};

// The zone's name as the browser's settings show it, for log lines:
// "(unknown)" for zone_unknown, "custom" for a zone of the administrator's.
const char* zone_name(long zone) noexcept;

// What a host's security id tells of the page (security_id_page).
enum class id_page {
    none,     // no id of that form: the page's URL is read instead
    known,    // zone set; host the site's host for a web id, empty for another scheme
    unknown,  // a web id whose site is no plain host, or not the page's host: no rights
};

// Reads a security id as a host hands it out (IInternetHostSecurityManager::
// GetSecurityId): "scheme:site" followed by the zone as a 4-byte
// little-endian number, the site in the system code page. A host may have
// folded letters of other scripts to plain look-alikes there, so the site of
// an http or https id counts only when it is a plain host (as url_host finds
// it) and the same host that page_host names: the host read from the page's
// URL in wide text (url_host on ascii_for_host's copy; empty or null when
// none was read). host gets it; zone is set unless the result is none.
id_page security_id_page(const unsigned char* id, size_t size, const char* page_host, long* zone,
                         char (&host)[kHostSize]) noexcept;

// What the caller found out about the page that scripts the object.
struct site_facts {
    bool leads_to_host = false;  // the site answered one of the roads to a page
    bool untrusted = false;      // the host marked the caller untrusted (IObjectSafety)
    bool page_known = false;     // the page's URL or the host's security id was read
    bool host_known = false;     // ... and it names a plain host
    long zone = zone_unknown;    // the page's zone, when known
    bool listed = false;         // the page's host is on the allow list
};

// How much of the map a page may change.
enum class map_access {
    all,       // any mapping
    own_host,  // only mappings whose old URL is on the page's host
    none,
};

// A caller with no road to a page and not marked untrusted (a local script
// host): all. Anyone else is an Internet caller of unknown site until the
// page is read: none without a page; all for a page of the local machine, the
// intranet or the trusted sites, or a listed host; own_host for an Internet
// page with a plain host; none for everything else (restricted, custom or
// unknown zones, an Internet page without a plain host).
map_access page_access(const site_facts& facts) noexcept;

// What an object may do to the map, and the page that decided it (named in
// the log when a change is refused).
struct page_rights {
    map_access access = map_access::all;
    char host[kHostSize] = {};  // the page's plain host; empty when none is known
    long zone = zone_unknown;
};

// The rights of an object that held `held` and is now given `now`: never
// more than either. Two pages of different hosts leave none; when `now`
// narrows nothing, `held` (and the page it names) stands.
page_rights narrower(const page_rights& held, const page_rights& now) noexcept;

// Whether a page with the given access and host may change the mapping of
// old_url: always with all, with own_host only when old_url has the page's host.
bool may_change_mapping(map_access access, const char* page_host, const char* old_url) noexcept;

}  // namespace gn
