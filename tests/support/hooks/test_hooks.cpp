// Test-only exports of gntesthooks.dll (see test_hooks.h).
#include "test_hooks.h"

#include "frame/translation.h"
#include "host/ctl_host.h"
#include "launcher/download/certificate_check.h"
#include "launcher/view/version_dialog.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

INT_PTR translate(const GnTestTexts* t) noexcept {
    if (!t || (t->count && (!t->in || !t->out || !t->out_len))) return -1;
    try {
        std::vector<std::string> texts;
        for (UINT i = 0; i < t->count; ++i) texts.emplace_back(t->in[i] ? t->in[i] : "");
        const bool result = g_translation.Translate(texts);
        for (UINT i = 0; i < t->count; ++i) {
            if (texts[i].size() >= t->out_size) return -1;
            std::memcpy(t->out[i], texts[i].c_str(), texts[i].size() + 1);
            t->out_len[i] = static_cast<UINT>(texts[i].size());
        }
        return result ? 1 : 0;
    } catch (const std::exception&) {
        return -1;
    }
}

struct NoOwner final : gn::certificate_check_owner {
    void on_certificate_checked(const gn::certificate_answer&) noexcept override {}
};

}  // namespace

extern "C" INT_PTR WINAPI GnTestCall(UINT op, WPARAM wp, LPARAM) {
    switch (op) {
    case GnTestAskVersionChoice:
        return AskVersionChoice(reinterpret_cast<HWND>(wp));
    case GnTestTranslate:
        return translate(reinterpret_cast<const GnTestTexts*>(wp));
    case GnTestIsTablePresent:
        return g_translation.IsPresent() ? 1 : 0;
    case GnTestCheckCertificate: {
        NoOwner nobody;
        return gn::certificate_check::start(reinterpret_cast<const wchar_t*>(wp), &nobody) ? 1 : 0;
    }
    default:
        return -1;
    }
}

extern "C" HRESULT WINAPI CreateCtlHost6xForTest(IUnknown** ppUnk) { return CreateCtlHost6x(ppUnk); }
