// Choosing the client control and handing the document over to it.
#include "launcher/launcher.h"

#include "frame/log.h"
#include "host/ctl_host.h"
#include "launcher/addon_registry.h"
#include "launcher/view/dialog_text.h"
#include "launcher/view/version_dialog.h"

#include <io.h>

#include <cstdio>

namespace {

bool begins_with_file_scheme(BSTR url) {
    return url && wcsncmp(url, L"file://", 7) == 0;
}

// The path the legacy client's server key names; false when none.
bool legacy_server_path(char (&path)[MAX_PATH]) noexcept {
    char server_key[80];
    std::snprintf(server_key, sizeof server_key, "CLSID\\%s\\InprocServer32",
                  gn::kLegacy6xClsidText);
    gn::unique_hkey key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, server_key, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return false;
    DWORD size = sizeof path;
    DWORD type = 0;
    if (RegQueryValueExA(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(path),
                         &size) != ERROR_SUCCESS)
        return false;
    // The value need not carry its terminator. A full buffer is a path of 259
    // characters only when its last byte is that terminator.
    if (size > sizeof path || (size == sizeof path && path[sizeof path - 1] != '\0'))
        return false;
    if (size < sizeof path) path[size] = '\0';
    return path[0] != '\0';
}

}  // namespace

bool LegacyClientRegistered() noexcept {
    char path[MAX_PATH];
    return legacy_server_path(path);
}

bool LegacyClientInstalled() noexcept {
    char path[MAX_PATH];
    return legacy_server_path(path) && _access(path, 0) == 0;
}

HRESULT MorvaneLauncher::CreateClientControl(REFCLSID clsid) {
    gn::com_ptr<IUnknown> host_unknown;
    RETURN_IF_FAILED(CreateCtlHost6x(host_unknown.put()));
    HRESULT hr = S_OK;
    const gn::com_ptr<ICtlHost6x> host = host_unknown.query<ICtlHost6x>(&hr);
    RETURN_IF_FAILED(hr);
    wchar_t clsid_text[40];
    RETURN_HR_IF(E_UNEXPECTED, !StringFromGUID2(clsid, clsid_text, 40));
    auto clsid_bstr = gn::unique_bstr::copy_of(clsid_text);
    gn::unique_bstr url(sURL.copy());
    gn::com_ptr<IOleClientSite> site = pClientSite;  // held for the call
    gn::com_ptr<IUnknown> control;
    // The interface carries the window as a long: window handles hold 32
    // significant bits in both flavors, and the host sign-extends it back.
    return host->CreateControl6x(clsid_bstr.get(), url.get(),
                                 static_cast<long>(reinterpret_cast<LONG_PTR>(hWnd)), site.get(),
                                 control.put());
}

namespace {

const char* client_name(REFCLSID clsid) {
    return IsEqualCLSID(clsid, gn::CLSID_PluginCtl) ? "Morvane 8x" : "Morvane 6x";
}

}  // namespace

gn::addon_outcome AskClientPolicy(REFCLSID clsid) noexcept {
    const bool plugin = IsEqualCLSID(clsid, gn::CLSID_PluginCtl);
    const CLSID& other = plugin ? gn::CLSID_Legacy6xControl : gn::CLSID_PluginCtl;
    const gn::addon_verdict verdict = gn::client_addon_verdict(clsid, other);
    if (!IsLogOpen()) return verdict.outcome;

    const gn::class_text cls(clsid);
    char key[160];
    for (int i = 0; i < gn::addon_setting_count; ++i) {
        const auto setting = static_cast<gn::addon_setting>(i);
        if (!(verdict.malformed & (1u << i))) continue;
        gn::addon_key_path(setting, cls.c_str(), key, sizeof key);
        LogPrint(0, "Ignoring an add-on setting that is not valid: %s\\%s, value \"%s\"",
                 gn::addon_root_name(setting), key, gn::addon_value_name(setting, cls.c_str()));
    }
    if (verdict.outcome == gn::addon_outcome::allowed) return verdict.outcome;
    gn::addon_key_path(verdict.rule, cls.c_str(), key, sizeof key);
    if (verdict.outcome == gn::addon_outcome::blocked)
        LogPrint(0, "Not creating the %s control %s: blocked by %s, %s\\%s, value \"%s\"",
                 client_name(clsid), cls.c_str(), gn::addon_rule_text(verdict.rule),
                 gn::addon_root_name(verdict.rule), key,
                 gn::addon_value_name(verdict.rule, cls.c_str()));
    else
        LogPrint(0,
                 "Not creating the %s control %s: its kill bit names the %s control %s instead, "
                 "%s\\%s, value \"%s\"",
                 client_name(clsid), cls.c_str(), client_name(other), gn::class_text(other).c_str(),
                 gn::addon_root_name(verdict.rule), key,
                 gn::addon_value_name(verdict.rule, cls.c_str()));
    return verdict.outcome;
}

int MorvaneLauncher::StartClient() {
    if (bClientStarted) return 0;
    bClientStarted = true;

    if (!bLegacyStream && begins_with_file_scheme(sURL.get())) {
        // A legacy control the administrator's settings refuse counts as not installed.
        const bool installed = LegacyClientInstalled() &&
                               AskClientPolicy(gn::CLSID_Legacy6xControl) == gn::addon_outcome::allowed;
        LogPrint(0, installed ? "Morvane 6x detected in the system."
                              : "Morvane 6x not detected in the system.");
        if (installed) {
            const int choice = AskVersionChoice(hWnd);  // logs the question and the answer
            if (choice == gn::VersionChoiceCancel) return -1;
            if (choice == gn::VersionChoice6x) bLegacyStream = true;
        }
    }
    return bLegacyStream ? StartLegacyClient() : StartCurrentClient();
}

int MorvaneLauncher::StartCurrentClient() {
    switch (AskClientPolicy(gn::CLSID_PluginCtl)) {
    case gn::addon_outcome::alternate:
        bLegacyStream = true;
        return StartLegacyClient();
    case gn::addon_outcome::blocked:  // the plugin gets no call, not even the properties
        notice.show(hWnd, NoClientNotice::blocked);
        return -1;
    case gn::addon_outcome::allowed:
        break;
    }
    LogPrint(0, "** Opening document with Morvane 8x\n");
    gn::com_ptr<IServiceProvider> services = pClientSite.try_query<IServiceProvider>();
    if (services)
        services->QueryService(gn::SID_SWebBrowserApp, IID_IWebBrowser2, pWebBrowser.put_void());
    if (pWebBrowser) {
        auto name = gn::unique_bstr::copy_of(L"document_location");
        gn::unique_variant location;
        location.vt = VT_BSTR;
        location.bstrVal = sURL.copy();
        pWebBrowser->PutProperty(name.get(), location);

        auto launcher_name = gn::unique_bstr::copy_of(L"MorvaneLauncher");
        gn::unique_variant self;
        self.vt = VT_UNKNOWN;
        gn::com_ptr<ILauncher>(static_cast<ILauncher*>(this)).copy_to(&self.punkVal);
        const HRESULT hr = pWebBrowser->PutProperty(launcher_name.get(), self);
        if (hr == E_OUTOFMEMORY)
            LogPrint(0, "** Setting property: E_OUTOFMEMORY ***\n");
        else if (hr == E_INVALIDARG)
            LogPrint(0, "** Setting property: Invalid Argument ***\n");
        else if (hr != S_OK)
            LogPrint(0, "** Setting property: Unknown Error ***\n");
    }

    const HRESULT created = CreateClientControl(gn::CLSID_PluginCtl);

    // Bring the document forward: restore a minimised browser, else take the foreground.
    HWND parent = hWnd ? GetParent(hWnd) : nullptr;
    HWND grandparent = parent ? GetParent(parent) : nullptr;
    if (parent && grandparent) {
        WINDOWPLACEMENT placement{};
        placement.length = sizeof placement;
        GetWindowPlacement(grandparent, &placement);
        if (placement.showCmd == SW_SHOWMINIMIZED || placement.showCmd == SW_MINIMIZE ||
            placement.showCmd == SW_FORCEMINIMIZE)
            ShowWindow(grandparent, SW_RESTORE);
        else
            SetForegroundWindow(hWnd);
    } else if (hWnd) {
        SetForegroundWindow(hWnd);
    }
    if (FAILED(created)) notice.show(hWnd);
    return SUCCEEDED(created) ? 0 : -1;
}

int MorvaneLauncher::StartLegacyClient() {
    // Asked again at the creation itself: the settings may have changed since
    // the road was chosen.
    if (AskClientPolicy(gn::CLSID_Legacy6xControl) != gn::addon_outcome::allowed) {
        notice.show(hWnd, NoClientNotice::blocked);
        return -1;
    }
    DropTransfer();  // the legacy client opens the URL itself: no copy is kept
    LogPrint(0, "** Opening document with Morvane 6x\n");
    const HRESULT hr = CreateClientControl(gn::CLSID_Legacy6xControl);
    if (SUCCEEDED(hr)) {
        LogPrint(0, "Morvane 6x created.\n");
        return 0;
    }
    LogPrint(0, "Failed to create Morvane 6x control: %x\n", static_cast<unsigned>(hr));
    notice.show(hWnd);
    return -1;
}
