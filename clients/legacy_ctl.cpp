// The reference legacy 6.x control: reads SRC from its site and opens the
// document itself; it gets no callback from the launcher.
#include "clients/control_base.h"
#include "clients/document.h"

#include <shlwapi.h>
#include <urlmon.h>

namespace clients {
namespace {

class Legacy6xCtl final : public ControlBase<> {
public:
    Legacy6xCtl() noexcept : ControlBase("Legacy6x", gn::CLSID_Legacy6xControl) {
        record(L"Created");
    }
    ~Legacy6xCtl() override { record(L"Destroyed"); }

private:
    void on_activated() noexcept override {
        const std::wstring url = read_src();
        // file: URLs and plain paths are read from disk, anything else through urlmon.
        LoadedDocument document;
        std::wstring why;
        const HRESULT hr = open_source(url, document, why);
        record(L"Open " + hex_result(hr));
        if (FAILED(hr)) {
            show(L"6.x document\r\nURL: " + url + L"\r\nCannot open the document: " +
                 hex_result(hr) + (why.empty() ? L"" : L" (" + why + L")"));
            return;
        }
        const RenderedDocument shown = render_document(document);
        record(shown.record);
        show(L"6.x document\r\n" + shown.text + L"\r\nURL: " + url + L"\r\n" +
             summarize_bytes(document.bytes, document.size));
    }
};

}  // namespace

HRESULT create_legacy_ctl(IUnknown* outer, REFIID riid, void** ppv) noexcept {
    return gn::create_instance<Legacy6xCtl>(outer, riid, ppv);
}

}  // namespace clients
