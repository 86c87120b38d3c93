// PluginCtl, the reference main plugin: reads SRC from its site, finds the
// launcher through the browser property "MorvaneLauncher", subscribes with
// ILauncherAdvise::Advise and shows in its window what it is told. In a
// browser without that property (no property bag) it opens SRC itself.
#include "clients/control_base.h"
#include "clients/document.h"

#include <exdisp.h>
#include <servprov.h>

namespace clients {
namespace {

class PluginCtl final : public ControlBase<ILauncherEvent> {
public:
    PluginCtl() noexcept : ControlBase("PluginCtl", gn::CLSID_PluginCtl) {
        record(L"Created");
    }
    ~PluginCtl() override { record(L"Destroyed"); }

    // ILauncherEvent
    STDMETHODIMP OnDZxDataAvailable(BSTR pURL, BSTR pPath, BSTR pMimeType) override {
        const std::wstring url = text_of(pURL), path = text_of(pPath), mime = text_of(pMimeType);
        record(L"OnDZxDataAvailable " + url + L" | " + path + L" | " +
               (pMimeType ? mime : L"(null)"));
        // The file is deleted when this call returns: read it now.
        LoadedDocument document;
        const HRESULT hr = read_file(pPath, document);
        record(L"Read " + hex_result(hr));
        const std::wstring about = L"URL: " + url + L"\r\nMIME: " + (pMimeType ? mime : L"(none)");
        if (FAILED(hr)) {
            show(about + L"\r\nCannot read " + path + L": " + hex_result(hr));
            return S_OK;
        }
        const RenderedDocument shown = render_document(document);
        record(shown.record);
        show(shown.text + L"\r\n" + about + L"\r\n" +
             summarize_bytes(document.bytes, document.size));
        return S_OK;
    }
    STDMETHODIMP OnAbort(HRESULT hrError, BSTR sError) override {
        record(L"OnAbort " + hex_result(hrError) + L" " + text_of(sError));
        show(L"Aborted: " + hex_result(hrError) + L" " + text_of(sError));
        return S_OK;
    }

private:
    static std::wstring text_of(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : L""; }

    void on_activated() noexcept override {
        const std::wstring url = read_src();
        show(L"URL: " + url + L"\r\nWaiting for the document...");
        if (!subscribe()) open_from_src(url);
    }

    // Without a launcher to subscribe to, the user still sees the document.
    void open_from_src(const std::wstring& url) noexcept {
        record(L"Fallback no launcher: opening SRC itself");
        const std::wstring note =
            L"(This browser offers no launcher: the document was opened from its URL.)";
        LoadedDocument document;
        std::wstring why;
        const HRESULT hr = open_source(url, document, why);
        record(L"Open " + hex_result(hr) + (why.empty() ? L"" : L" " + why));
        if (FAILED(hr)) {
            show(L"Cannot open the document: " + hex_result(hr) + (why.empty() ? L"" : L" (" + why + L")") +
                 L"\r\nURL: " + url + L"\r\n" + note);
            return;
        }
        const RenderedDocument shown = render_document(document);
        record(shown.record);
        show(shown.text + L"\r\nURL: " + url + L"\r\n" +
             summarize_bytes(document.bytes, document.size) + L"\r\n" + note);
    }

    // Site -> browser service -> "MorvaneLauncher" -> ILauncherAdvise::Advise.
    // False when there is no launcher to subscribe to.
    bool subscribe() noexcept {
        gn::com_ptr<IServiceProvider> services = gn::try_query<IServiceProvider>(site());
        gn::com_ptr<IWebBrowser2> browser;
        HRESULT hr = services ? services->QueryService(gn::SID_SWebBrowserApp, IID_IWebBrowser2,
                                                       browser.put_void())
                              : E_NOINTERFACE;
        if (FAILED(hr) || !browser) {
            record(L"Advise no browser " + hex_result(FAILED(hr) ? hr : E_POINTER));
            return false;
        }
        gn::unique_variant property;
        auto name = gn::unique_bstr::copy_of(L"MorvaneLauncher");
        hr = browser->GetProperty(name.get(), &property);
        gn::com_ptr<IUnknown> launcher;
        if (SUCCEEDED(hr) && (property.vt == VT_UNKNOWN || property.vt == VT_DISPATCH))
            launcher.assign(property.punkVal);
        if (!launcher) {
            record(L"Advise no launcher " + hex_result(FAILED(hr) ? hr : E_NOINTERFACE));
            return false;
        }
        advise_ = launcher.query<ILauncherAdvise>(&hr);
        if (FAILED(hr)) {
            record(L"Advise no ILauncherAdvise " + hex_result(hr));
            return true;
        }
        hr = advise_->Advise(static_cast<ILauncherEvent*>(this));
        record(L"Advise " + hex_result(hr));
        return true;
    }

    void on_close() noexcept override { advise_.reset(); }

    LRESULT on_window_message(UINT msg, WPARAM, LPARAM lp, bool& handled) noexcept override {
        handled = false;
        if (msg != WM_GNCLIENTS_NAVIGATE) return 0;
        handled = true;
        const wchar_t* url = reinterpret_cast<const wchar_t*>(lp);
        if (!url) return E_POINTER;
        record(std::wstring(L"Navigate ") + url);
        if (!advise_) return E_UNEXPECTED;
        auto target = gn::unique_bstr::copy_of(url);
        gn::unique_variant flags, frame, post, headers;
        const HRESULT hr = advise_->Navigate(target.get(), &flags, &frame, &post, &headers);
        record(L"Navigate result " + hex_result(hr));
        return hr;
    }

    gn::com_ptr<ILauncherAdvise> advise_;
};

}  // namespace

HRESULT create_plugin_ctl(IUnknown* outer, REFIID riid, void** ppv) noexcept {
    return gn::create_instance<PluginCtl>(outer, riid, ppv);
}

}  // namespace clients
