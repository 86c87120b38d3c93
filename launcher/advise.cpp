// The advise protocol with the main plugin: its subscription, the one call
// back at the end of the download, and navigation on its behalf.
#include "launcher/acp_text.h"
#include "launcher/download/download_text.h"
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

    // The sink may call back into the launcher (a new Advise, a new Load, its
    // release): the field is cleared before the call, and the call gets its
    // own copies of what it is told. The file belongs to the transfer it was
    // downloaded by; only that transfer deletes it, when the call returned.
    const gn::com_ptr<IUnknown> self(static_cast<ILauncher*>(this));
    gn::com_ptr<ILauncherEvent> sink = std::move(pSink);
    const gn::com_ptr<DownloadTransfer> handed = pTransfer;
    gn::unique_bstr url(sURL.copy());
    if (nDownloadState == DownloadDone && handed) {
        gn::unique_bstr mime(sMimeType.copy());
        const gn::acp_text path_text(handed->Path());
        LogPrint(0,
                 "Calling back the main plugin: ILauncherEvent::OnDZxDataAvailable(): URL: %s, "
                 "DZY: %s, Mime: %s",
                 gn::acp_text(url.get()).c_str(), path_text.c_str(),
                 gn::acp_text(mime.get()).c_str());
        auto path = gn::unique_bstr::copy_of(handed->Path());
        handed->BeginHandOver();
        sink->OnDZxDataAvailable(url.get(), path.get(), mime.get());
    } else {
        gn::unique_bstr error(sError.copy());
        const HRESULT hr = nDownloadState == DownloadDone ? E_FAIL : hrError;
        LogPrint(0, "Calling back the main plugin: ILauncherEvent::OnAbort(): HRESULT: %x, Error: %s",
                 static_cast<unsigned>(hr), gn::acp_text(error.get()).c_str());
        sink->OnAbort(hr, error.get());
    }
    sink.reset();
    if (handed) handed->EndHandOver();
}
