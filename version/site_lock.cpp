// The version service's site lock: the page that scripts the object, found
// through the site its container gave it, may change the legacy URL map only
// as its zone and the administrator's policy allow. The lock fails closed: a
// caller the host marked untrusted, or whose site leads to a host but to no
// readable page, is an Internet caller of unknown site. Only a caller with
// neither (a local script host) keeps every right.
#include "version/version_service.h"

#include <docobj.h>
#include <exdisp.h>
#include <mshtml.h>
#include <urlmon.h>

#include <cstring>
#include <memory>
#include <new>

#include "frame/log.h"
#include "version/policy_names.h"

namespace {

constexpr DWORD kSafetyOptions = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;

// The interfaces pages script the object through.
bool is_scripting_interface(REFIID riid) {
    return IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IMorvaneVersion);
}

// An owned copy of a non-empty wide string, or empty.
gn::unique_bstr nonempty(BSTR text) {
    gn::unique_bstr owned(text);
    if (owned.length() == 0) owned.reset();
    return owned;
}

// What the site tells of the page the object is on.
struct page_info {
    bool leads_to_host = false;  // one of the roads below answered
    gn::unique_bstr url;         // the page's URL, when a road tells it
    BYTE id[MAX_SIZE_SECURITY_ID];
    DWORD id_size = 0;  // the host's security id for the page; 0: none
};

void read_document(IHTMLDocument2* document, page_info& page) noexcept {
    page.leads_to_host = true;
    BSTR url = nullptr;
    if (SUCCEEDED(document->get_URL(&url))) page.url = nonempty(url);
}

// The page, asked in this order: the document that contains the object
// (the client site's container); the document the site hands out as
// SID_SContainerDispatch (what a script engine gives an object that page
// script created); the host's security manager, whose security id names the
// zone and site the host itself decided; the browser; the container's
// moniker. Roads after the first URL found are not asked, except the host's
// security manager, which is always asked.
page_info find_page(IUnknown* site) noexcept {
    page_info page;
    const auto client = gn::try_query<IOleClientSite>(site);
    const auto services = gn::try_query<IServiceProvider>(site);
    if (client) {
        gn::com_ptr<IOleContainer> container;
        if (SUCCEEDED(client->GetContainer(container.put())) && container)
            if (const auto document = container.try_query<IHTMLDocument2>())
                read_document(document.get(), page);
    }
    if (services && !page.url) {
        gn::com_ptr<IHTMLDocument2> document;
        if (SUCCEEDED(services->QueryService(SID_SContainerDispatch, IID_IHTMLDocument2,
                                             document.put_void())) &&
            document)
            read_document(document.get(), page);
    }
    if (services) {
        gn::com_ptr<IInternetHostSecurityManager> manager;
        if (SUCCEEDED(services->QueryService(SID_SInternetHostSecurityManager,
                                             IID_IInternetHostSecurityManager, manager.put_void())) &&
            manager) {
            page.leads_to_host = true;
            DWORD size = sizeof page.id;
            if (SUCCEEDED(manager->GetSecurityId(page.id, &size, 0)) && size <= sizeof page.id)
                page.id_size = size;
        }
    }
    if (services && !page.url) {
        gn::com_ptr<IWebBrowser2> browser;
        if (SUCCEEDED(services->QueryService(gn::SID_SWebBrowserApp, IID_IWebBrowser2,
                                             browser.put_void())) &&
            browser) {
            page.leads_to_host = true;
            BSTR url = nullptr;
            if (SUCCEEDED(browser->get_LocationURL(&url))) page.url = nonempty(url);
        }
    }
    if (client && !page.url) {
        gn::com_ptr<IMoniker> moniker;
        if (SUCCEEDED(client->GetMoniker(OLEGETMONIKER_ONLYIFTHERE, OLEWHICHMK_CONTAINER,
                                         moniker.put())) &&
            moniker) {
            page.leads_to_host = true;
            gn::com_ptr<IBindCtx> context;
            LPOLESTR name = nullptr;
            if (SUCCEEDED(CreateBindCtx(0, context.put())) &&
                SUCCEEDED(moniker->GetDisplayName(context.get(), nullptr, &name)) && name) {
                gn::unique_cotaskmem<wchar_t> owned_name(name);
                page.url = nonempty(SysAllocString(name));
            }
        }
    }
    return page;
}

// The page's zone from the system's zone manager; unknown when it cannot tell.
long page_zone(const wchar_t* url) noexcept {
    gn::com_ptr<IInternetSecurityManager> manager;
    DWORD zone = 0;
    if (FAILED(CoInternetCreateSecurityManager(nullptr, manager.put(), 0)) || !manager ||
        FAILED(manager->MapUrlToZone(url, &zone, 0)) || zone > MAXLONG)
        return gn::zone_unknown;
    return static_cast<long>(zone);
}

// A copy of the URL in which only a plain host can be found.
std::unique_ptr<char[]> ascii_copy(const wchar_t* text, size_t length) noexcept {
    std::unique_ptr<char[]> copy(new (std::nothrow) char[length + 1]);
    if (copy) gn::ascii_for_host(text, length, copy.get());
    return copy;
}

// The administrator's policy: AllowAllSites=1 (a DWORD) turns the lock off.
bool policy_allows_all() noexcept {
    gn::unique_hkey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, gn::kVersionPolicyKey, 0, KEY_READ, key.put()) !=
        ERROR_SUCCESS)
        return false;
    DWORD value = 0, type = 0, size = sizeof value;
    return RegQueryValueExA(key.get(), gn::kAllowAllSitesValue, nullptr, &type,
                            reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
           type == REG_DWORD && size == sizeof value && value == 1;
}

// True when a string value of the allow list matches host.
bool policy_lists(const char* host) noexcept {
    if (!*host) return false;
    gn::unique_hkey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, gn::kAllowedSitesKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return false;
    for (DWORD index = 0;; ++index) {
        char name[256];
        char pattern[gn::kHostSize + 2];
        DWORD name_size = sizeof name, type = 0, size = sizeof pattern - 1;
        const LONG rc = RegEnumValueA(key.get(), index, name, &name_size, nullptr, &type,
                                      reinterpret_cast<BYTE*>(pattern), &size);
        if (rc == ERROR_NO_MORE_ITEMS) return false;
        if (rc != ERROR_SUCCESS || type != REG_SZ) continue;  // too long or not a text
        pattern[size < sizeof pattern ? size : sizeof pattern - 1] = '\0';
        if (gn::host_matches(host, pattern)) return true;
    }
}

}  // namespace

gn::page_rights MorvaneVersion::site_rights() const noexcept {
    gn::site_facts facts;
    gn::page_rights rights;
    facts.untrusted = untrusted_;
    if (site_) {
        const page_info page = find_page(site_.get());
        facts.leads_to_host = page.leads_to_host;
        // The host's own word on the page comes first, when the page's URL
        // names the same host; the URL and the zone manager stand in where
        // the host gave none.
        char url_host[gn::kHostSize] = "";
        const auto narrow = page.url ? ascii_copy(page.url.get(), page.url.length()) : nullptr;
        if (narrow) gn::url_host(narrow.get(), url_host);
        const gn::id_page said =
            gn::security_id_page(page.id, page.id_size, url_host, &rights.zone, rights.host);
        if (said == gn::id_page::known) {
            facts.page_known = true;
        } else if (said == gn::id_page::none && page.url) {
            facts.page_known = true;
            rights.zone = page_zone(page.url.get());
            std::memcpy(rights.host, url_host, sizeof url_host);
        }
        facts.zone = rights.zone;
        facts.host_known = rights.host[0] != '\0';
        facts.listed = facts.host_known && policy_lists(rights.host);
    }
    rights.access = gn::page_access(facts);
    return rights;
}

gn::page_rights MorvaneVersion::identify_caller() noexcept {
    held_ = gn::narrower(held_, site_rights());
    gn::page_rights who = held_;
    // The policy is the administrator's, read at every call: it may open the
    // map to every caller, but it is never kept as the object's own right.
    if (policy_allows_all()) who.access = gn::map_access::all;
    return who;
}

STDMETHODIMP MorvaneVersion::SetSite(IUnknown* site) {
    site_.assign(site);
    // The rights the object has on the page it now sits on are the most it
    // ever has: a later site, or none, never widens them.
    if (site) held_ = gn::narrower(held_, site_rights());
    return S_OK;
}

STDMETHODIMP MorvaneVersion::GetSite(REFIID riid, void** ppv) {
    RETURN_HR_IF(E_POINTER, !ppv);
    *ppv = nullptr;
    RETURN_HR_IF_EXPECTED(E_FAIL, !site_);  // no site: the protocol's answer
    return site_.copy_to(riid, ppv);
}

STDMETHODIMP MorvaneVersion::GetInterfaceSafetyOptions(REFIID riid, DWORD* supported,
                                                       DWORD* enabled) {
    RETURN_HR_IF(E_POINTER, !supported || !enabled);
    *supported = 0;
    *enabled = 0;
    RETURN_HR_IF_EXPECTED(E_NOINTERFACE, !is_scripting_interface(riid));
    *supported = kSafetyOptions;
    *enabled = safety_;
    return S_OK;
}

STDMETHODIMP MorvaneVersion::SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) {
    RETURN_HR_IF_EXPECTED(E_NOINTERFACE, !is_scripting_interface(riid));
    RETURN_HR_IF_EXPECTED(E_FAIL, (mask & ~kSafetyOptions) != 0);  // an option it does not offer
    safety_ = (safety_ & ~mask) | (enabled & mask);
    // Once the host has marked the caller untrusted, it stays so for the site lock.
    if (safety_ & INTERFACESAFE_FOR_UNTRUSTED_CALLER) untrusted_ = true;
    return S_OK;
}
