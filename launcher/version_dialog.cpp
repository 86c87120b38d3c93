#include "launcher/version_dialog.h"

#include "frame/log.h"
#include "frame/module.h"
#include "frame/translation.h"
#include "launcher/dialog_text.h"
#include "resources/resource.h"

#include <string>
#include <vector>

INT_PTR VersionChoiceDialog::DoModal(HWND parent) noexcept {
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
    const POINT at = gn::centred_position(centre_rect, area, self.right - self.left,
                                          self.bottom - self.top);
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
