// Choosing the client control and handing the document over to it.
#include "launcher/launcher.h"

#include "frame/log.h"
#include "frame/translation.h"
#include "host/ctl_host.h"
#include "launcher/version_dialog.h"

#include <io.h>

#include <string>
#include <vector>

namespace {

// Shown in the launcher window when no client control could be created; the
// English text is also the key of its translation.
const char kNoClientText[] =
    "This document cannot be shown: no Veltrix client control could be started on this "
    "computer.";

bool begins_with_file_scheme(BSTR url) {
    return url && wcsncmp(url, L"file://", 7) == 0;
}

}  // namespace

bool LegacyClientInstalled() noexcept {
    gn::unique_hkey key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT,
                      "CLSID\\{6F3B9D20-4E1A-11D5-A7C3-0050DA6E1B42}\\InprocServer32", 0,
                      KEY_READ, key.put()) != ERROR_SUCCESS)
        return false;
    char path[MAX_PATH];
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
    return path[0] != '\0' && _access(path, 0) == 0;
}

HRESULT MorvaneLauncher::CreateClientControl(const wchar_t* clsid_text) {
    gn::com_ptr<IUnknown> host_unknown;
    RETURN_IF_FAILED(CreateCtlHost6x(host_unknown.put()));
    gn::com_ptr<ICtlHost6x> host;
    RETURN_IF_FAILED(host_unknown->QueryInterface(IID_ICtlHost6x, host.put_void()));
    gn::unique_bstr clsid(SysAllocString(clsid_text));
    gn::unique_bstr url(SysAllocStringLen(sURL, sURL ? SysStringLen(sURL) : 0));
    gn::com_ptr<IOleClientSite> site = ctl.pClientSite;  // held for the call
    gn::com_ptr<IUnknown> control;
    return host->CreateControl6x(clsid.get(), url.get(),
                                 static_cast<long>(reinterpret_cast<LONG_PTR>(ctl.hWnd)),
                                 site.get(), control.put());
}

int MorvaneLauncher::StartClient() {
    if (bClientStarted) return 0;
    bClientStarted = true;

    if (!bLegacyStream && begins_with_file_scheme(sURL)) {
        const bool installed = LegacyClientInstalled();
        LogPrint(0, installed ? "Morvane 6x detected in the system."
                              : "Morvane 6x not detected in the system.");
        if (installed) {
            const int choice = AskVersionChoice(ctl.hWnd);  // logs the question and the answer
            if (choice == 2) return -1;
            if (choice == 6) bLegacyStream = true;
        }
    }
    return bLegacyStream ? StartLegacyClient() : StartCurrentClient();
}

int MorvaneLauncher::StartCurrentClient() {
    LogPrint(0, "** Opening document with Morvane 8x\n");
    gn::com_ptr<IServiceProvider> services = ctl.pClientSite.try_query<IServiceProvider>();
    if (services) services->QueryService(gn::SID_SWebBrowserApp, IID_IWebBrowser2, pWebBrowser.put_void());
    if (pWebBrowser) {
        gn::unique_bstr name(SysAllocString(L"document_location"));
        VARIANT location;
        VariantInit(&location);
        location.vt = VT_BSTR;
        location.bstrVal = SysAllocStringLen(sURL, sURL ? SysStringLen(sURL) : 0);
        pWebBrowser->PutProperty(name.get(), location);
        VariantClear(&location);

        gn::unique_bstr launcher_name(SysAllocString(L"MorvaneLauncher"));
        VARIANT self;
        VariantInit(&self);
        self.vt = VT_UNKNOWN;
        self.punkVal = static_cast<ILauncher*>(this);
        self.punkVal->AddRef();
        const HRESULT hr = pWebBrowser->PutProperty(launcher_name.get(), self);
        VariantClear(&self);
        if (hr == E_OUTOFMEMORY)
            LogPrint(0, "** Setting property: E_OUTOFMEMORY ***\n");
        else if (hr == E_INVALIDARG)
            LogPrint(0, "** Setting property: Invalid Argument ***\n");
        else if (hr != S_OK)
            LogPrint(0, "** Setting property: Unknown Error ***\n");
    }

    const HRESULT created = CreateClientControl(L"{6F3B9D29-4E1A-11D5-A7C3-0050DA6E1B42}");

    // Bring the document forward: restore a minimised browser, else take the foreground.
    HWND parent = ctl.hWnd ? GetParent(ctl.hWnd) : nullptr;
    HWND grandparent = parent ? GetParent(parent) : nullptr;
    if (parent && grandparent) {
        WINDOWPLACEMENT placement{};
        placement.length = sizeof placement;
        GetWindowPlacement(grandparent, &placement);
        if (placement.showCmd == SW_SHOWMINIMIZED || placement.showCmd == SW_MINIMIZE ||
            placement.showCmd == SW_FORCEMINIMIZE)
            ShowWindow(grandparent, SW_RESTORE);
        else
            SetForegroundWindow(ctl.hWnd);
    } else if (ctl.hWnd) {
        SetForegroundWindow(ctl.hWnd);
    }
    if (FAILED(created)) ShowNoClientNotice();
    return SUCCEEDED(created) ? 0 : -1;
}

int MorvaneLauncher::StartLegacyClient() {
    tempFile.Discard();
    LogPrint(0, "** Opening document with Morvane 6x\n");
    const HRESULT hr = CreateClientControl(L"{6F3B9D20-4E1A-11D5-A7C3-0050DA6E1B42}");
    if (SUCCEEDED(hr)) {
        LogPrint(0, "Morvane 6x created.\n");
        return 0;
    }
    LogPrint(0, "Failed to create Morvane 6x control: %x\n", hr);
    ShowNoClientNotice();
    return -1;
}

void MorvaneLauncher::ShowNoClientNotice() noexcept {
    LogPrint(0, "No client control could be created: showing a notice in the launcher window");
    bNoClient = true;
    try {
        std::vector<std::string> texts = {kNoClientText};
        g_translation.Translate(texts);
        sNotice = texts[0];
    } catch (const std::exception&) {
        sNotice.clear();  // the English text is shown
    }
    if (!ctl.hWnd) return;
    SetWindowTextA(ctl.hWnd, NoticeText());
    InvalidateRect(ctl.hWnd, nullptr, TRUE);
}

const char* MorvaneLauncher::NoticeText() const noexcept {
    return sNotice.empty() ? kNoClientText : sNotice.c_str();
}

void MorvaneLauncher::PaintNotice() noexcept {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(ctl.hWnd, &ps);
    if (!dc) return;
    RECT area{};
    GetClientRect(ctl.hWnd, &area);
    InflateRect(&area, -16, -16);
    const HGDIOBJ old_font = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    DrawTextA(dc, NoticeText(), -1, &area, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, old_font);
    EndPaint(ctl.hWnd, &ps);
}
