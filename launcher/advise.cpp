// The advise protocol with the main plugin: its subscription, the one call
// back at the end of the download, and navigation on its behalf.
#include "launcher/acp_text.h"
#include "launcher/download_text.h"
#include "launcher/launcher.h"

#include "frame/log.h"

#include <servprov.h>

STDMETHODIMP MorvaneLauncher::Advise(ILauncherEvent* sink) {
    LogPrint(0, "Main plugin called us: ILauncherAdvise::Advise()\n");
    pSink.assign(sink);  // a null sink unsubscribes
    if (nDownloadState != DownloadPending) NotifySink();
    return S_OK;
}

STDMETHODIMP MorvaneLauncher::Navigate(BSTR URL, VARIANT* Flags, VARIANT* TargetFrameName,
                                       VARIANT* PostData, VARIANT* Headers) {
    LogPrint(0, "Main plugin called us: ILauncherAdvise::Navigate()\n");
    gn::com_ptr<IServiceProvider> provider = pClientSite.try_query<IServiceProvider>();
    if (!provider) {
        LogPrint(0, "ILauncherAdvise::GetURL() *** IWebBrowser2 interface is not supported by IE\n");
        return S_OK;
    }
    gn::com_ptr<IWebBrowser2> browser;
    if (FAILED(provider->QueryService(gn::SID_SWebBrowserApp, IID_IWebBrowser2,
                                      browser.put_void())) ||
        !browser)
        return S_OK;
    return browser->Navigate(URL, Flags, TargetFrameName, PostData, Headers);
}

void MorvaneLauncher::NotifySink() {
    if (nDownloadState == DownloadPending || !pSink) return;

    // The sink may call back into the launcher (a new Advise among others):
    // the field is cleared before the call and the reference held here.
    gn::com_ptr<ILauncherEvent> sink = std::move(pSink);
    if (nDownloadState == DownloadDone) {
        LogPrint(0,
                 "Calling back the main plugin: ILauncherEvent::OnDZxDataAvailable(): URL: %s, "
                 "DZY: %s, Mime: %s",
                 gn::acp_text(sURL.get()).c_str(), tempFile.path,
                 gn::acp_text(sMimeType.get()).c_str());
        wchar_t wide[MAX_PATH];
        if (!MultiByteToWideChar(CP_ACP, 0, tempFile.path, -1, wide, MAX_PATH)) wide[0] = L'\0';
        auto path = gn::unique_bstr::copy_of(wide);
        sink->OnDZxDataAvailable(sURL.get(), path.get(), sMimeType.get());
    } else {
        LogPrint(0, "Calling back the main plugin: ILauncherEvent::OnAbort(): HRESULT: %x, Error: %s",
                 static_cast<unsigned>(hrError), gn::acp_text(sError.get()).c_str());
        sink->OnAbort(hrError, sError.get());
    }
    sink.reset();
    tempFile.Discard();
}
