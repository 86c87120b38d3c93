// Test-only exports of gntesthooks.dll (see test_hooks.h).
#include "test_hooks.h"

#include "frame/translation.h"
#include "host/ctl_host.h"
#include "launcher/download/certificate_check.h"
#include "launcher/view/version_dialog.h"

#include <cstring>
#include <memory>
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

struct Waiter final : gn::certificate_check_owner {
    int answered = 0;
    void on_certificate_checked(const gn::certificate_answer&) noexcept override { ++answered; }
};

INT_PTR wait_certificates(const wchar_t* url, LPARAM count) noexcept {
    Waiter waiter;
    std::vector<std::unique_ptr<gn::certificate_check>> checks;
    for (LPARAM i = 0; i < count; ++i)
        if (auto check = gn::certificate_check::start(url, &waiter)) checks.push_back(std::move(check));
    MSG msg;
    while (waiter.answered < static_cast<int>(checks.size()) && GetMessageW(&msg, nullptr, 0, 0) > 0)
        DispatchMessageW(&msg);
    return static_cast<INT_PTR>(checks.size());
}

}  // namespace

extern "C" INT_PTR WINAPI GnTestCall(UINT op, WPARAM wp, LPARAM lp) {
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
    case GnTestWaitCertificates:
        return wait_certificates(reinterpret_cast<const wchar_t*>(wp), lp);
    default:
        return -1;
    }
}

extern "C" HRESULT WINAPI CreateCtlHost6xForTest(IUnknown** ppUnk) { return CreateCtlHost6x(ppUnk); }
