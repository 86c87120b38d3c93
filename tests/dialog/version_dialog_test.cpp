// The real version choice dialog, shown by the test DLL's copy of the module
// and driven from a thread timer that acts on it once it is up.
#include <gtest/gtest.h>

#include "frame/interfaces.h"
#include "resources/resource.h"
#include "support/browser.h"
#include "test_dll.h"

#include <functional>

using gntest::TestDll;

namespace {

// What the test does with the dialog once it is up; runs inside the modal loop.
using Action = std::function<void(HWND dialog)>;

struct Driver {
    Action act;
    bool acted = false;
    int ticks_after = 0;
};
Driver* g_driver = nullptr;

BOOL CALLBACK match_dialog(HWND hwnd, LPARAM lp) {
    char cls[16] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    if (lstrcmpA(cls, "#32770") != 0) return TRUE;
    *reinterpret_cast<HWND*>(lp) = hwnd;
    return FALSE;
}

HWND find_dialog() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &match_dialog, reinterpret_cast<LPARAM>(&found));
    return found;
}

void CALLBACK on_tick(HWND, UINT, UINT_PTR, DWORD) {
    Driver* d = g_driver;
    HWND dialog = find_dialog();
    if (!d || !dialog) return;
    if (!d->acted) {
        d->acted = true;
        d->act(dialog);
        return;
    }
    // The action should have ended the dialog; end it as a failure instead of hanging.
    if (++d->ticks_after > 500) EndDialog(dialog, -99);
}

// Shows the dialog owned by owner and returns its result.
INT_PTR run_dialog(const TestDll& dll, HWND owner, Action act) {
    Driver driver{std::move(act)};
    g_driver = &driver;
    const UINT_PTR timer = SetTimer(nullptr, 0, 10, &on_tick);
    const INT_PTR result = dll.call(GnTestAskVersionChoice, reinterpret_cast<WPARAM>(owner));
    KillTimer(nullptr, timer);
    g_driver = nullptr;
    EXPECT_TRUE(driver.acted) << "the dialog never came up";
    return result;
}

// A key as the user types it: to the control that has the focus.
void press(HWND dialog, WPARAM key) {
    HWND target = GetFocus();
    if (!target || (target != dialog && !IsChild(dialog, target))) target = dialog;
    PostMessageA(target, WM_KEYDOWN, key, 0);
    PostMessageA(target, WM_KEYUP, key, 0xC0000000);
}

std::string text_of(HWND hwnd) {
    char buf[512] = {};
    GetWindowTextA(hwnd, buf, sizeof buf);
    return buf;
}

class VersionDialog : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "GNTestOwner";
        RegisterClassA(&wc);
    }
    // A top-level owner window at the given place.
    gn::unique_hwnd make_owner(int x, int y, int w, int h, bool visible = true) {
        return gn::unique_hwnd(CreateWindowExA(0, "GNTestOwner", "owner",
                                               WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0),
                                               x, y, w, h, nullptr, nullptr,
                                               GetModuleHandleA(nullptr), nullptr));
    }
};

TEST_F(VersionDialog, EnterAtOnceChoosesTheCurrentClient) {
    TestDll dll("vd_enter");
    ASSERT_TRUE(dll.load());
    auto owner = make_owner(100, 100, 400, 300);
    bool eight = false, six = true;
    UINT focus = 0;
    EXPECT_EQ(8, run_dialog(dll, owner.get(), [&](HWND d) {
        eight = IsDlgButtonChecked(d, IDC_OPEN_WITH_8X) == BST_CHECKED;
        six = IsDlgButtonChecked(d, IDC_OPEN_WITH_6X) == BST_CHECKED;
        focus = GetDlgCtrlID(GetFocus());
        press(d, VK_RETURN);
    }));
    EXPECT_TRUE(eight);
    EXPECT_FALSE(six);
    EXPECT_EQ(static_cast<UINT>(IDC_OPEN_WITH_8X), focus);  // the first tab stop
    owner.reset();
    const std::string log = dll.unload();
    const size_t asking = log.find("Asking user about what version of Morvane to use...\n");
    const size_t choice = log.find("User's choice: 8\n");
    EXPECT_NE(std::string::npos, asking) << log;
    EXPECT_NE(std::string::npos, choice) << log;
    EXPECT_LT(asking, choice);
}

TEST_F(VersionDialog, LegacyChoiceThenOk) {
    TestDll dll("vd_six");
    ASSERT_TRUE(dll.load());
    bool eight_after = true;
    EXPECT_EQ(6, run_dialog(dll, nullptr, [&](HWND d) {
        SendMessageA(GetDlgItem(d, IDC_OPEN_WITH_6X), BM_CLICK, 0, 0);
        eight_after = IsDlgButtonChecked(d, IDC_OPEN_WITH_8X) == BST_CHECKED;
        SendMessageA(GetDlgItem(d, IDOK), BM_CLICK, 0, 0);
    }));
    EXPECT_FALSE(eight_after);
    EXPECT_NE(std::string::npos, dll.log_text().find("User's choice: 6\n"));
}

TEST_F(VersionDialog, EscapeCloseBoxAndOtherCommandsCancel) {
    TestDll dll("vd_cancel");
    ASSERT_TRUE(dll.load());
    EXPECT_EQ(2, run_dialog(dll, nullptr, [](HWND d) {
        SendMessageA(GetDlgItem(d, IDC_OPEN_WITH_6X), BM_CLICK, 0, 0);
        press(d, VK_ESCAPE);
    }));
    EXPECT_EQ(2, run_dialog(dll, nullptr, [](HWND d) {
        PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0);
    }));
    // Neither radio button checked: OK cancels.
    EXPECT_EQ(2, run_dialog(dll, nullptr, [](HWND d) {
        CheckDlgButton(d, IDC_OPEN_WITH_8X, BST_UNCHECKED);
        SendMessageA(d, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }));
    // Ids 3 to 7 cancel as well; others, and the radio buttons' own clicks, do not end it.
    EXPECT_EQ(2, run_dialog(dll, nullptr, [](HWND d) {
        PostMessageA(d, WM_COMMAND, MAKEWPARAM(7, 0), 0);
    }));
    // Had id 8 or the radio click ended the dialog, OK would come too late to give 8.
    EXPECT_EQ(8, run_dialog(dll, nullptr, [&](HWND d) {
        SendMessageA(d, WM_COMMAND, MAKEWPARAM(8, 0), 0);
        SendMessageA(d, WM_COMMAND, MAKEWPARAM(IDC_OPEN_WITH_8X, BN_CLICKED), 0);
        SendMessageA(d, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
    }));
}

TEST_F(VersionDialog, TemplateTextsIdsAndStyles) {
    TestDll dll("vd_template");
    ASSERT_TRUE(dll.load());
    struct Control {
        int id;
        const char* cls;
        LONG style;
        RECT units;  // x, y, width, height in dialog units
        const char* text;
    };
    const Control expected[] = {
        {IDC_PROMPT, "Static", WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT, {7, 7, 210, 31},
         "Two versions of Veltrix are detected on your system. Choose the version of Veltrix to "
         "use to open this document:"},
        {IDC_OPEN_WITH_8X, "Button", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTORADIOBUTTON,
         {13, 40, 220, 10}, "Open the document with Veltrix 8.x"},
        {IDC_OPEN_WITH_6X, "Button", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTORADIOBUTTON,
         {13, 54, 220, 10}, "Open the document with Veltrix 6.x"},
        {IDOK, "Button", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, {59, 75, 50, 14},
         "OK"},
        {IDCANCEL, "Button", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
         {121, 75, 50, 14}, "Cancel"},
    };
    struct Seen {
        int id;
        std::string cls, text;
        LONG style;
        RECT place, expected_place;
    };
    std::string caption;
    LONG style = 0;
    RECT client{}, expected_client{0, 0, 230, 96};
    std::vector<Seen> seen;
    EXPECT_EQ(2, run_dialog(dll, nullptr, [&](HWND d) {
        caption = text_of(d);
        style = GetWindowLongA(d, GWL_STYLE);
        GetClientRect(d, &client);
        MapDialogRect(d, &expected_client);
        size_t i = 0;
        for (HWND c = GetWindow(d, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT), ++i) {
            Seen s{GetDlgCtrlID(c), "", text_of(c), GetWindowLongA(c, GWL_STYLE), {}, {}};
            char cls[32] = {};
            GetClassNameA(c, cls, sizeof cls);
            s.cls = cls;
            GetWindowRect(c, &s.place);
            MapWindowPoints(nullptr, d, reinterpret_cast<POINT*>(&s.place), 2);
            if (i < 5) {
                // The dialog manager maps position and size each on its own.
                RECT r = expected[i].units;
                MapDialogRect(d, &r);
                s.expected_place = RECT{r.left, r.top, r.left + r.right, r.top + r.bottom};
            }
            seen.push_back(s);
        }
        press(d, VK_ESCAPE);
    }));
    EXPECT_EQ("Veltrix", caption);
    const LONG dialog_style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
    EXPECT_EQ(dialog_style, style & dialog_style);
    EXPECT_EQ(expected_client.right, client.right);
    EXPECT_EQ(expected_client.bottom, client.bottom);
    ASSERT_EQ(5u, seen.size());
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(expected[i].id, seen[i].id) << i;
        EXPECT_STRCASEEQ(expected[i].cls, seen[i].cls.c_str()) << i;
        EXPECT_EQ(expected[i].text, seen[i].text) << i;
        EXPECT_EQ(expected[i].style, seen[i].style & (expected[i].style | 0xF)) << i;
        EXPECT_TRUE(EqualRect(&seen[i].expected_place, &seen[i].place)) << i;
    }
}

TEST_F(VersionDialog, TranslatedTexts) {
    TestDll dll("vd_translated");
    dll.write_table(
        "OK\tD'accord\r\n"
        "Cancel\tAnnuler\r\n"
        "Veltrix\tVeltrix (fr)\r\n"
        "Open the document with Veltrix 8.x\t[NU]\r\n"
        "Open the document with Veltrix 6.x\t\r\n");
    ASSERT_TRUE(dll.load());
    std::string caption, ok, cancel, eight, six, prompt;
    EXPECT_EQ(2, run_dialog(dll, nullptr, [&](HWND d) {
        caption = text_of(d);
        ok = text_of(GetDlgItem(d, IDOK));
        cancel = text_of(GetDlgItem(d, IDCANCEL));
        eight = text_of(GetDlgItem(d, IDC_OPEN_WITH_8X));
        six = text_of(GetDlgItem(d, IDC_OPEN_WITH_6X));
        prompt = text_of(GetDlgItem(d, IDC_PROMPT));
        press(d, VK_ESCAPE);
    }));
    EXPECT_EQ("Veltrix (fr)", caption);
    EXPECT_EQ("D'accord", ok);
    EXPECT_EQ("Annuler", cancel);
    EXPECT_EQ("Open the document with Veltrix 8.x", eight);
    EXPECT_EQ("", six);
    EXPECT_EQ(0u, prompt.find("Two versions of Veltrix are detected"));
}

// Where the dialog lands, for an owner made by make.
class DialogPlacement : public VersionDialog {
protected:
    void place(const std::string& name, HWND owner, RECT& dialog, RECT& area) {
        TestDll dll(name);
        ASSERT_TRUE(dll.load());
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
        EXPECT_EQ(2, run_dialog(dll, owner, [&](HWND d) {
            GetWindowRect(d, &dialog);
            press(d, VK_ESCAPE);
        }));
    }
};

TEST_F(DialogPlacement, CentresOnAVisibleOwner) {
    auto owner = make_owner(101, 120, 501, 401);
    RECT d{}, area{}, o{};
    GetWindowRect(owner.get(), &o);
    place("vd_centre_owner", owner.get(), d, area);
    const LONG w = d.right - d.left, h = d.bottom - d.top;
    EXPECT_EQ((o.left + o.right) / 2 - w / 2, d.left);
    EXPECT_EQ((o.top + o.bottom) / 2 - h / 2, d.top);
}

TEST_F(DialogPlacement, HiddenMinimisedOrMissingOwnerCentresOnTheWorkArea) {
    auto hidden = make_owner(0, 0, 200, 150, false);
    auto minimised = make_owner(0, 0, 200, 150);
    ShowWindow(minimised.get(), SW_MINIMIZE);
    const HWND owners[] = {hidden.get(), minimised.get(), nullptr};
    for (HWND owner : owners) {
        RECT d{}, area{};
        place("vd_centre_area", owner, d, area);
        const LONG w = d.right - d.left, h = d.bottom - d.top;
        EXPECT_EQ((area.left + area.right) / 2 - w / 2, d.left) << owner;
        EXPECT_EQ((area.top + area.bottom) / 2 - h / 2, d.top) << owner;
    }
}

TEST_F(DialogPlacement, KeptInsideTheWorkArea) {
    RECT area{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    {
        auto owner = make_owner(area.right - 100, area.bottom - 60, 300, 200);
        RECT d{}, a{};
        place("vd_push_right", owner.get(), d, a);
        EXPECT_EQ(area.right, d.right);
        EXPECT_EQ(area.bottom, d.bottom);
    }
    {
        auto owner = make_owner(area.left - 250, area.top - 200, 300, 220);
        RECT d{}, a{};
        place("vd_push_left", owner.get(), d, a);
        EXPECT_EQ(area.left, d.left);
        EXPECT_EQ(area.top, d.top);
    }
}

}  // namespace

// The launcher window's notice when no client control can be created goes
// through the same table as the dialog's texts.
TEST(LauncherNotice, IsTranslated) {
    ASSERT_EQ(S_OK, OleInitialize(nullptr));
    {
        TestDll dll("notice_translated");
        dll.write_table(
            "This document cannot be shown: no Veltrix client control could be started on this "
            "computer.\tDocument illisible : aucun client Veltrix\r\n");
        ASSERT_TRUE(dll.load());
        char path[MAX_PATH];
        GetTempFileNameA(dll.dir().c_str(), "doc", 0, path);
        const std::wstring url = L"file:///" + std::wstring(path, path + strlen(path));
        std::string shown;
        {
            gn::com_ptr<IUnknown> launcher;
            ASSERT_EQ(S_OK, dll.create(CLSID_MorvaneLauncher, IID_IUnknown, launcher.put_void()));
            gntest::BrowserContainer browser;
            ASSERT_EQ(S_OK, browser.open(launcher.get(), url.c_str(), L"application/x-quorquery"));
            HWND window = nullptr;
            gn::try_query<IOleWindow>(launcher.get())->GetWindow(&window);
            char text[128] = {};
            GetWindowTextA(window, text, sizeof text);
            shown = text;
            browser.close();
        }
        DeleteFileA(path);
        EXPECT_EQ("Document illisible : aucun client Veltrix", shown);
        dll.unload();
    }
    OleUninitialize();
}
