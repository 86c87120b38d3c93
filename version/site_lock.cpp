// The version service's site lock: the page that scripts the object, found
// through the container's site, may change the legacy URL map only as its
// zone and the administrator's policy allow.
#include "version/version_service.h"

#include <exdisp.h>
#include <mshtml.h>
#include <urlmon.h>

#include <cstring>
#include <memory>
#include <new>

#include "frame/log.h"

namespace {

constexpr DWORD kSafetyOptions = INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;
const char kPolicyKey[] = "Software\\Policies\\Quor Software\\GNLauncher\\VersionService";
const char kAllowedSitesKey[] =
    "Software\\Policies\\Quor Software\\GNLauncher\\VersionService\\AllowedSites";

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
    bool is_page = false;  // the site leads to a document, a browser or a moniker
    gn::unique_bstr url;   // the page's URL, when one of them tells it
};

// The URL of the document the site belongs to, asked in turn of the document
// (through the client site's container), of the browser (through the site's
// services) and of the container's moniker.
page_info find_page(IUnknown* site) noexcept {
    page_info page;
    const auto client = gn::try_query<IOleClientSite>(site);
    if (client) {
        gn::com_ptr<IOleContainer> container;
        if (SUCCEEDED(client->GetContainer(container.put())) && container) {
            if (const auto document = container.try_query<IHTMLDocument2>()) {
                page.is_page = true;
                BSTR url = nullptr;
                if (SUCCEEDED(document->get_URL(&url))) page.url = nonempty(url);
                if (page.url) return page;
            }
        }
    }
    if (const auto services = gn::try_query<IServiceProvider>(site)) {
        gn::com_ptr<IWebBrowser2> browser;
        if (SUCCEEDED(services->QueryService(gn::SID_SWebBrowserApp, IID_IWebBrowser2,
                                             browser.put_void())) &&
            browser) {
            page.is_page = true;
            BSTR url = nullptr;
            if (SUCCEEDED(browser->get_LocationURL(&url))) page.url = nonempty(url);
            if (page.url) return page;
        }
    }
    if (client) {
        gn::com_ptr<IMoniker> moniker;
        if (SUCCEEDED(client->GetMoniker(OLEGETMONIKER_ONLYIFTHERE, OLEWHICHMK_CONTAINER,
                                         moniker.put())) &&
            moniker) {
            page.is_page = true;
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

// The page's zone from the system's zone manager; the untrusted zone when it
// cannot tell.
long page_zone(const wchar_t* url) noexcept {
    gn::com_ptr<IInternetSecurityManager> manager;
    DWORD zone = gn::zone_untrusted;
    if (FAILED(CoInternetCreateSecurityManager(nullptr, manager.put(), 0)) || !manager ||
        FAILED(manager->MapUrlToZone(url, &zone, 0)))
        return gn::zone_untrusted;
    return static_cast<long>(zone);
}

// A copy of the URL in which only a plain host can be found.
std::unique_ptr<char[]> ascii_copy(const wchar_t* text, size_t length) noexcept {
    std::unique_ptr<char[]> copy(new (std::nothrow) char[length + 1]);
    if (copy) gn::ascii_for_host(text, length, copy.get());
    return copy;
}

// The administrator's policy: AllowAllSites=1 turns the lock off.
bool policy_allows_all() noexcept {
    gn::unique_hkey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPolicyKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return false;
    DWORD value = 0, type = 0, size = sizeof value;
    return RegQueryValueExA(key.get(), "AllowAllSites", nullptr, &type,
                            reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
           type == REG_DWORD && size == sizeof value && value == 1;
}

// True when a string value of the allow list matches host.
bool policy_lists(const char* host) noexcept {
    if (!*host) return false;
    gn::unique_hkey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kAllowedSitesKey, 0, KEY_READ, key.put()) !=
        ERROR_SUCCESS)
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

MorvaneVersion::caller MorvaneVersion::identify_caller() noexcept {
    caller who;
    gn::site_facts facts;
    facts.allow_all = policy_allows_all();
    if (site_ && !facts.allow_all) {
        // A site that leads to no document, browser or moniker is a script
        // host's (the script engines give one to the objects they create),
        // not a web page's: it counts as no site.
        const page_info page = find_page(site_.get());
        facts.has_site = page.is_page;
        if (page.url) {
            facts.page_known = true;
            facts.zone = page_zone(page.url.get());
            const auto narrow = ascii_copy(page.url.get(), page.url.length());
            if (narrow && gn::url_host(narrow.get(), who.host)) facts.listed = policy_lists(who.host);
        }
    }
    who.access = gn::page_access(facts);
    return who;
}

STDMETHODIMP MorvaneVersion::SetSite(IUnknown* site) {
    site_.assign(site);
    return S_OK;
}

STDMETHODIMP MorvaneVersion::GetSite(REFIID riid, void** ppv) {
    RETURN_HR_IF(E_POINTER, !ppv);
    *ppv = nullptr;
    RETURN_HR_IF(E_FAIL, !site_);
    return site_.copy_to(riid, ppv);
}

STDMETHODIMP MorvaneVersion::GetInterfaceSafetyOptions(REFIID riid, DWORD* supported,
                                                       DWORD* enabled) {
    RETURN_HR_IF(E_POINTER, !supported || !enabled);
    *supported = 0;
    *enabled = 0;
    RETURN_HR_IF(E_NOINTERFACE, !is_scripting_interface(riid));
    *supported = kSafetyOptions;
    *enabled = safety_;
    return S_OK;
}

STDMETHODIMP MorvaneVersion::SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) {
    RETURN_HR_IF(E_NOINTERFACE, !is_scripting_interface(riid));
    RETURN_HR_IF(E_FAIL, (mask & ~kSafetyOptions) != 0);
    safety_ = (safety_ & ~mask) | (enabled & mask);
    return S_OK;
}
