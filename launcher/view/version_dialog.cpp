#include "launcher/view/version_dialog.h"

#include "frame/log.h"
#include "frame/module.h"
#include "frame/translation.h"
#include "launcher/view/dialog_text.h"
#include "launcher/view/screen_dpi.h"
#include "resources/resource.h"

#include <algorithm>
#include <string>
#include <vector>

INT_PTR VersionChoiceDialog::DoModal(HWND parent) noexcept {
    // The dialog is drawn at its owner's resolution: the dialog manager then
    // scales the template's font and layout to it.
    gn::dpi_context_of owner_context(parent);
    return do_modal(_Module.resource_instance(), MAKEINTRESOURCEA(IDD_VERSION_CHOICE), parent);
}

INT_PTR VersionChoiceDialog::on_message(UINT msg, WPARAM wp, LPARAM) noexcept {
    switch (msg) {
    case WM_INITDIALOG:
        OnInitDialog();
        return TRUE;  // the focus goes to the first tab stop
    case WM_COMMAND:
        return OnCommand(LOWORD(wp)) ? TRUE : FALSE;
    default:
        return FALSE;
    }
}

void VersionChoiceDialog::OnInitDialog() noexcept {
    SetTexts();
    FitToTexts();
    Centre();
    CheckDlgButton(hwnd(), IDC_OPEN_WITH_8X, BST_CHECKED);
    SetForegroundWindow(hwnd());
}

void VersionChoiceDialog::SetTexts() noexcept {
    // One translation pass for all six texts. The English template texts stay
    // where the list cannot be built.
    try {
        std::vector<std::string> texts = {
            "Veltrix",
            // NOLINTNEXTLINE(bugprone-suspicious-missing-comma): one text, written over two lines
            "Two versions of Veltrix are detected on your system. Choose the version of Veltrix "
            "to use to open this document:",
            "Open the document with Veltrix 8.x",
            "Open the document with Veltrix 6.x",
            "OK",
            "Cancel",
        };
        g_translation.Translate(texts);
        SetWindowTextA(hwnd(), texts[0].c_str());
        SetDlgItemTextA(hwnd(), IDC_PROMPT, texts[1].c_str());
        SetDlgItemTextA(hwnd(), IDC_OPEN_WITH_8X, texts[2].c_str());
        SetDlgItemTextA(hwnd(), IDC_OPEN_WITH_6X, texts[3].c_str());
        SetDlgItemTextA(hwnd(), IDOK, texts[4].c_str());
        SetDlgItemTextA(hwnd(), IDCANCEL, texts[5].c_str());
    } catch (const std::exception&) {
    }
}

namespace {

std::string text_of(HWND window) {
    std::string text(static_cast<size_t>(GetWindowTextLengthA(window)) + 1, '\0');
    text.resize(static_cast<size_t>(GetWindowTextA(window, &text[0], static_cast<int>(text.size()))));
    return text;
}

// A child's place in its parent's client area.
RECT place_of(HWND child) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// The size of text drawn as flags say, at most width wide (0: unbounded).
SIZE drawn_size(HDC dc, const std::string& text, UINT flags, LONG width = 0) {
    RECT r{0, 0, width, 0};
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r, flags | DT_CALCRECT);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

}  // namespace

void VersionChoiceDialog::FitToTexts() noexcept {
    HWND controls[5] = {GetDlgItem(hwnd(), IDC_PROMPT), GetDlgItem(hwnd(), IDC_OPEN_WITH_8X),
                        GetDlgItem(hwnd(), IDC_OPEN_WITH_6X), GetDlgItem(hwnd(), IDOK),
                        GetDlgItem(hwnd(), IDCANCEL)};
    for (HWND c : controls)
        if (!c) return;
    HDC dc = GetDC(hwnd());
    if (!dc) return;
    const HGDIOBJ old_font =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(hwnd(), WM_GETFONT, 0, 0)));
    try {
        gn::VersionDialogLayout laid{};
        RECT client{};
        GetClientRect(hwnd(), &client);
        laid.client = SIZE{client.right, client.bottom};
        RECT* places[5] = {&laid.prompt, &laid.open_8x, &laid.open_6x, &laid.ok, &laid.cancel};
        for (int i = 0; i < 5; ++i) *places[i] = place_of(controls[i]);

        // Margin and button padding in dialog units, the rest from the font.
        RECT units{7, 0, 4, 0};
        MapDialogRect(hwnd(), &units);
        TEXTMETRICA metrics{};
        GetTextMetricsA(dc, &metrics);
        const UINT dpi = gn::window_dpi(hwnd());
        // A radio button's mark and the gap after it.
        const LONG mark = gn::scale_for_dpi(13, dpi) + metrics.tmAveCharWidth;
        const UINT line = DT_SINGLELINE;
        const std::string prompt = text_of(controls[0]);
        gn::VersionDialogNeeds needs;
        needs.open_8x_width = drawn_size(dc, text_of(controls[1]), line).cx + mark;
        needs.open_6x_width = drawn_size(dc, text_of(controls[2]), line).cx + mark;
        needs.button_width = std::max(drawn_size(dc, text_of(controls[3]), line).cx,
                                      drawn_size(dc, text_of(controls[4]), line).cx) +
                             2 * units.right;
        needs.prompt_height = [&](LONG width) {
            return drawn_size(dc, prompt, DT_WORDBREAK | DT_EXPANDTABS, width).cy;
        };

        RECT window{}, area{};
        GetWindowRect(hwnd(), &window);
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
        const SIZE frame{(window.right - window.left) - client.right,
                         (window.bottom - window.top) - client.bottom};
        const SIZE room{(area.right - area.left) - frame.cx, (area.bottom - area.top) - frame.cy};
        const gn::VersionDialogLayout fit = gn::fit_version_dialog(laid, needs, units.left, room);

        const RECT* targets[5] = {&fit.prompt, &fit.open_8x, &fit.open_6x, &fit.ok, &fit.cancel};
        for (int i = 0; i < 5; ++i) {
            const RECT& r = *targets[i];
            if (!EqualRect(&r, places[i]))
                SetWindowPos(controls[i], nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                             SWP_NOZORDER | SWP_NOACTIVATE);
        }
        if (fit.client.cx != laid.client.cx || fit.client.cy != laid.client.cy)
            SetWindowPos(hwnd(), nullptr, 0, 0, fit.client.cx + frame.cx, fit.client.cy + frame.cy,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    } catch (const std::exception&) {
    }
    SelectObject(dc, old_font);
    ReleaseDC(hwnd(), dc);
}

void VersionChoiceDialog::Centre() noexcept {
    HWND centre = GetParent(hwnd());
    if (!centre) centre = GetWindow(hwnd(), GW_OWNER);
    if (centre && !gn::is_usable_centre(GetWindowLongA(centre, GWL_STYLE))) centre = nullptr;

    RECT area{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    RECT centre_rect = area;
    if (centre) GetWindowRect(centre, &centre_rect);

    RECT self{};
    GetWindowRect(hwnd(), &self);
    const POINT at =
        gn::centred_position(centre_rect, area, self.right - self.left, self.bottom - self.top);
    SetWindowPos(hwnd(), nullptr, at.x, at.y, -1, -1, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool VersionChoiceDialog::OnCommand(UINT id) noexcept {
    const int result =
        gn::version_choice_result(id, IsDlgButtonChecked(hwnd(), IDC_OPEN_WITH_8X) != BST_UNCHECKED,
                                  IsDlgButtonChecked(hwnd(), IDC_OPEN_WITH_6X) != BST_UNCHECKED);
    if (result == 0) return false;
    end_dialog(result);
    return true;
}

int AskVersionChoice(HWND parent) noexcept {
    LogPrint(0, "Asking user about what version of Morvane to use...");
    VersionChoiceDialog dialog;
    const int choice = static_cast<int>(dialog.DoModal(parent));
    LogPrint(0, "User's choice: %d", choice);
    return choice;
}
