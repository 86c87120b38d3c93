// The reference legacy 6.x control: reads SRC from its site and opens the
// document itself; it gets no callback from the launcher.
#include "clients/control_base.h"
#include "clients/document.h"

#include <shlwapi.h>
#include <urlmon.h>

namespace clients {
namespace {

class Legacy6xCtl final : public gn::com_object<Legacy6xCtl>, public ControlBase {
public:
    Legacy6xCtl() noexcept : ControlBase("Legacy6x", gn::CLSID_Legacy6xControl) {
        record(L"Created");
    }
    ~Legacy6xCtl() override { record(L"Destroyed"); }

    GN_COM_IUNKNOWN
    static const gn::interface_entry* interfaces() {
        static const gn::interface_entry table[] = {
            GN_INTERFACE(Legacy6xCtl, IOleObject),
            GN_INTERFACE(Legacy6xCtl, IOleInPlaceObject),
            GN_INTERFACE_AS(Legacy6xCtl, IID_IOleWindow, IOleInPlaceObject),
            GN_INTERFACE(Legacy6xCtl, IOleInPlaceActiveObject),
            GN_INTERFACE(Legacy6xCtl, IPersistStreamInit),
            {},
        };
        return table;
    }

private:
    void on_activated() noexcept override {
        const std::wstring url = read_src();
        std::wstring summary;
        const HRESULT hr = open(url, summary);
        record(L"Open " + hex_result(hr));
        if (FAILED(hr)) summary = L"Cannot open the document: " + hex_result(hr);
        show(L"6.x document\r\nURL: " + url + L"\r\n" + summary);
    }

    // file: URLs and plain paths are read from disk, anything else through urlmon.
    static HRESULT open(const std::wstring& url, std::wstring& summary) noexcept {
        if (url.empty()) return E_INVALIDARG;
        if (url.compare(0, 5, L"file:") == 0) {
            wchar_t path[MAX_PATH] = {};
            DWORD size = MAX_PATH;
            RETURN_IF_FAILED(PathCreateFromUrlW(url.c_str(), path, &size, 0));
            return summarize_file(path, summary);
        }
        if (url.find(L"://") == std::wstring::npos) return summarize_file(url.c_str(), summary);
        gn::com_ptr<IStream> stream;
        RETURN_IF_FAILED(URLOpenBlockingStreamW(nullptr, url.c_str(), stream.put(), 0, nullptr));
        return summarize_stream(stream.get(), summary);
    }
};

}  // namespace

HRESULT create_legacy_ctl(IUnknown* outer, REFIID riid, void** ppv) noexcept {
    return gn::create_instance<Legacy6xCtl>(outer, riid, ppv);
}

}  // namespace clients
