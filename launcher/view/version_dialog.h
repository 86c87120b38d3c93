// The version choice dialog: asks the user whether the legacy 6.x client or
// the current 8.x client opens a document, when both could. Its six texts go
// through the translation table before it is shown.
#pragma once

#include "frame/window.h"

#include <windows.h>

class VersionChoiceDialog : public gn::dialog_impl<VersionChoiceDialog> {
public:
    VersionChoiceDialog() noexcept = default;

    // Shows the dialog modally, owned by parent (template IDD_VERSION_CHOICE
    // from the module's resources). Returns 8 (8.x), 6 (6.x), 2 (cancel), or
    // -1 when the dialog could not be created.
    INT_PTR DoModal(HWND parent) noexcept;

    // Dialog procedure body: TRUE when the message was handled.
    INT_PTR on_message(UINT msg, WPARAM wp, LPARAM lp) noexcept;

private:
    void OnInitDialog() noexcept;
    void SetTexts() noexcept;
    // Grows the dialog and moves its controls so that every text shows whole.
    void FitToTexts() noexcept;
    void Centre() noexcept;
    bool OnCommand(UINT id) noexcept;
};

// What client selection calls when both clients are installed: logs
// "Asking user about what version of Morvane to use...", shows the dialog
// owned by parent (the launcher window), logs "User's choice: %d" with the
// result and returns it. 2 means open nothing, 6 the legacy client; any other
// value (8, or -1 when the dialog could not be shown) the current client.
// The caller logs nothing more about the question.
int AskVersionChoice(HWND parent) noexcept;
