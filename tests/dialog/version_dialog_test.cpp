// The real version choice dialog, shown by the test DLL's copy of the module
// and driven from a thread timer that acts on it once it is up.
#include <gtest/gtest.h>

#include "frame/interfaces.h"
#include "resources/resource.h"
#include "support/browser.h"
#include "support/child.h"
#include "test_dll.h"

#include <oleacc.h>

#include <cstdio>
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

// IAccessible's identifier, written out: the 64-bit import library of oleacc
// resolves IID_IAccessible to a code thunk in oleacc.dll instead of the data.
const IID kIAccessible = {0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

// The name a screen reader reads for a window: its client object's name.
std::wstring accessible_name(HWND hwnd) {
    gn::com_ptr<IAccessible> object;
    const HRESULT hr = AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT),
                                                  kIAccessible, object.put_void());
    if (FAILED(hr) || !object) {
        wchar_t text[64];
        swprintf(text, 64, L"<no accessible object: 0x%08lx>", static_cast<unsigned long>(hr));
        return text;
    }
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = nullptr;
    if (FAILED(object->get_accName(self, &name))) return L"<no name>";
    gn::unique_bstr owned(name);
    return name ? std::wstring(name, SysStringLen(name)) : std::wstring();
}

LONG font_height(HWND hwnd) {
    LOGFONTA font{};
    GetObjectA(reinterpret_cast<HGDIOBJ>(SendMessageA(hwnd, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font.lfHeight < 0 ? -font.lfHeight : font.lfHeight;
}

// Whether a key press reaches its target with Shift held: the thread's key
// state says so for as long as it takes.
void with_shift(bool down, const std::function<void()>& act) {
    BYTE keys[256];
    GetKeyboardState(keys);
    const BYTE before = keys[VK_SHIFT];
    keys[VK_SHIFT] = down ? 0x80 : 0;
    SetKeyboardState(keys);
    act();
    keys[VK_SHIFT] = before;
    SetKeyboardState(keys);
}

// Every fault of the dialog's layout, one a line: a control outside the
// client area, two controls overlapping, a text that does not fit its control
// as Wine draws it, the dialog outside the work area. Empty when all is well.
std::string layout_faults(HWND d) {
    std::string faults;
    RECT client{}, area{}, window{};
    GetClientRect(d, &client);
    GetWindowRect(d, &window);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    auto fault = [&](int id, const std::string& what) {
        faults += "control " + std::to_string(id) + ": " + what + "\n";
    };
    RECT visible{};
    if (!IntersectRect(&visible, &window, &area) || !EqualRect(&visible, &window))
        fault(0, "the dialog leaves the work area");
    std::vector<std::pair<int, RECT>> placed;
    for (HWND c = GetWindow(d, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        const int id = GetDlgCtrlID(c);
        RECT r{};
        GetWindowRect(c, &r);
        MapWindowPoints(nullptr, d, reinterpret_cast<POINT*>(&r), 2);
        if (r.left < 0 || r.top < 0 || r.right > client.right || r.bottom > client.bottom)
            fault(id, "outside the client area");
        for (const auto& other : placed) {
            RECT both{};
            if (IntersectRect(&both, &r, &other.second))
                fault(id, "overlaps control " + std::to_string(other.first));
        }
        placed.emplace_back(id, r);

        HDC dc = GetDC(c);
        const HGDIOBJ old =
            SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(c, WM_GETFONT, 0, 0)));
        const std::string text = text_of(c);
        const LONG width = r.right - r.left, height = r.bottom - r.top;
        char cls[16] = {};
        GetClassNameA(c, cls, sizeof cls);
        const LONG type = GetWindowLongA(c, GWL_STYLE) & BS_TYPEMASK;
        RECT need{0, 0, width, 0};
        if (lstrcmpiA(cls, "Static") == 0) {
            DrawTextA(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
        } else {
            DrawTextA(dc, text.c_str(), -1, &need, DT_CALCRECT | DT_SINGLELINE);
            if (type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON) {
                // Wine's mark: 12 pixels at 96 dpi and one, then half a digit's width.
                INT digit = 0;
                GetCharWidth32A(dc, '0', '0', &digit);
                need.right += 12 * GetDeviceCaps(dc, LOGPIXELSY) / 96 + 1 + digit / 2;
            } else {
                need.right += 4;  // the button's edges
            }
        }
        SelectObject(dc, old);
        ReleaseDC(c, dc);
        if (need.right > width || need.bottom > height)
            fault(id, "text needs " + std::to_string(need.right) + "x" +
                          std::to_string(need.bottom) + ", has " + std::to_string(width) + "x" +
                          std::to_string(height));
    }
    return faults;
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
                if (s.id == IDC_OPEN_WITH_8X || s.id == IDC_OPEN_WITH_6X) {
                    // The template's radio buttons reach 3 units past the dialog's
                    // edge: they end at its right margin instead.
                    RECT margin{7, 0, 0, 0};
                    MapDialogRect(d, &margin);
                    s.expected_place.right = client.right - margin.left;
                }
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

TEST_F(VersionDialog, TextsLongerThanTheScreenKeepItOnTheScreen) {
    TestDll dll("vd_huge");
    std::string words;
    while (words.size() < 8000) words += "Veltrix ";
    dll.write_table("Two versions of Veltrix are detected on your system. Choose the version of "
                    "Veltrix to use to open this document:\t" + words + "\n" +
                    "Open the document with Veltrix 8.x\t" + std::string(3000, 'W') + "\n");
    ASSERT_TRUE(dll.load());
    RECT dialog{}, area{}, client{}, ok{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    EXPECT_EQ(2, run_dialog(dll, nullptr, [&](HWND d) {
        GetWindowRect(d, &dialog);
        GetClientRect(d, &client);
        GetWindowRect(GetDlgItem(d, IDOK), &ok);
        MapWindowPoints(nullptr, d, reinterpret_cast<POINT*>(&ok), 2);
        press(d, VK_ESCAPE);
    }));
    // As large as the work area, no larger: the buttons stay in reach.
    EXPECT_TRUE(dialog.left >= area.left && dialog.top >= area.top && dialog.right <= area.right &&
                dialog.bottom <= area.bottom);
    EXPECT_LE(ok.bottom, client.bottom);
    EXPECT_LE(ok.right, client.right);
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
            // A static text control carries the notice: screen readers read it.
            HWND notice = FindWindowExA(window, nullptr, "Static", nullptr);
            ASSERT_NE(nullptr, notice);
            EXPECT_EQ("Document illisible : aucun client Veltrix", text_of(notice));
            EXPECT_EQ(L"Document illisible : aucun client Veltrix", accessible_name(notice));
            EXPECT_EQ(L"Document illisible : aucun client Veltrix", accessible_name(window));
            // Its font follows the window's resolution.
            const LONG at_96 = font_height(notice);
            SendMessageA(window, 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(192, 192), 0);
            EXPECT_EQ(2 * at_96, font_height(notice)) << at_96;
            RECT inside{}, client{};
            GetClientRect(window, &client);
            GetWindowRect(notice, &inside);
            MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&inside), 2);
            EXPECT_EQ(32, inside.left);  // the margin at 192 dpi
            EXPECT_EQ(client.right - 32, inside.right);
            {  // and its text fits it whole at that size
                HDC dc = GetDC(notice);
                const HGDIOBJ old = SelectObject(
                    dc, reinterpret_cast<HGDIOBJ>(SendMessageA(notice, WM_GETFONT, 0, 0)));
                RECT need{0, 0, inside.right - inside.left, 0};
                DrawTextA(dc, text, -1, &need, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
                SelectObject(dc, old);
                ReleaseDC(notice, dc);
                EXPECT_LE(need.right, inside.right - inside.left);
                EXPECT_LE(need.bottom, inside.bottom - inside.top);
            }
            SendMessageA(window, 0x02E0, MAKEWPARAM(96, 96), 0);
            EXPECT_EQ(at_96, font_height(notice));
            browser.close();
        }
        DeleteFileA(path);
        EXPECT_EQ("Document illisible : aucun client Veltrix", shown);
        dll.unload();
    }
    OleUninitialize();
}

TEST_F(VersionDialog, NamesTabOrderDefaultButtonAndKeys) {
    TestDll dll("vd_keys");
    ASSERT_TRUE(dll.load());
    std::vector<std::wstring> names;
    std::vector<int> forward, backward;
    LRESULT default_id = 0;
    EXPECT_EQ(2, run_dialog(dll, nullptr, [&](HWND d) {
        names.push_back(accessible_name(d));
        for (int id : {IDC_PROMPT, IDC_OPEN_WITH_8X, IDC_OPEN_WITH_6X, IDOK, IDCANCEL})
            names.push_back(accessible_name(GetDlgItem(d, id)));
        default_id = SendMessageA(d, DM_GETDEFID, 0, 0);
        // Tab and Shift+Tab as the dialog's message loop hands them to it.
        auto tab = [&](std::vector<int>& order) {
            MSG m{GetFocus(), WM_KEYDOWN, VK_TAB, 0, 0, {0, 0}};
            IsDialogMessageA(d, &m);
            order.push_back(GetDlgCtrlID(GetFocus()));
        };
        with_shift(false, [&] { for (int i = 0; i < 4; ++i) tab(forward); });
        with_shift(true, [&] { for (int i = 0; i < 4; ++i) tab(backward); });
        SendMessageA(GetDlgItem(d, IDC_OPEN_WITH_6X), BM_CLICK, 0, 0);
        press(d, VK_ESCAPE);  // cancels whatever is chosen
    }));
    const std::vector<std::wstring> expected_names = {
        L"Veltrix",
        // NOLINTNEXTLINE(bugprone-suspicious-missing-comma): one text, written over two lines
        L"Two versions of Veltrix are detected on your system. Choose the version of Veltrix to use "
        L"to open this document:",
        L"Open the document with Veltrix 8.x", L"Open the document with Veltrix 6.x", L"OK", L"Cancel"};
    EXPECT_EQ(expected_names, names);
    EXPECT_EQ(MAKELRESULT(IDOK, DC_HASDEFID), default_id);
    // From the first radio button: the second, OK, Cancel, and round again.
    EXPECT_EQ((std::vector<int>{IDC_OPEN_WITH_6X, IDOK, IDCANCEL, IDC_OPEN_WITH_8X}), forward);
    EXPECT_EQ((std::vector<int>{IDCANCEL, IDOK, IDC_OPEN_WITH_6X, IDC_OPEN_WITH_8X}), backward);
}

// The dialog at 96, 144 and 192 dpi, with the English texts and with texts
// about 60 % longer: each case runs in a child process of its own, started
// after the prefix's LogPixels is set (Wine reads it when a process starts).
TEST(DialogFit, EveryTextShowsWholeAtEveryDpiAndLength) {
    const char* key_path = "Control Panel\\Desktop";
    gn::unique_hkey key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, key_path, 0, nullptr, 0,
                                             KEY_READ | KEY_WRITE, nullptr, key.put(), nullptr));
    DWORD saved = 0, size = sizeof saved, type = 0;
    const bool had = RegQueryValueExA(key.get(), "LogPixels", nullptr, &type,
                                      reinterpret_cast<BYTE*>(&saved), &size) == ERROR_SUCCESS;
    // The prefix's resolution comes back whatever happens below.
    const auto restore = gn::scope_exit([&] {
        if (had)
            RegSetValueExA(key.get(), "LogPixels", 0, type, reinterpret_cast<const BYTE*>(&saved), size);
        else
            RegDeleteValueA(key.get(), "LogPixels");
    });
    for (DWORD dpi : {96u, 144u, 192u}) {
        for (const char* longer : {"0", "1"}) {
            RegSetValueExA(key.get(), "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi),
                           sizeof dpi);
            SetEnvironmentVariableA("GN_FIT_DPI", std::to_string(dpi).c_str());
            SetEnvironmentVariableA("GN_FIT_LONGER", longer);
            const DWORD code = gntest::run_child_cases("DialogFitChild.*");
            EXPECT_EQ(0u, code) << dpi << " dpi, longer texts " << longer;
        }
    }
    SetEnvironmentVariableA("GN_FIT_DPI", nullptr);
    SetEnvironmentVariableA("GN_FIT_LONGER", nullptr);
}

TEST(DialogFitChild, DISABLED_ShowsEveryTextWhole) {
    char value[16] = {};
    GetEnvironmentVariableA("GN_FIT_DPI", value, sizeof value);
    const int dpi = atoi(value);
    GetEnvironmentVariableA("GN_FIT_LONGER", value, sizeof value);
    const bool longer = value[0] == '1';
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(dpi, GetDeviceCaps(screen, LOGPIXELSY));
    ReleaseDC(nullptr, screen);

    TestDll dll(std::string("vd_fit_") + (longer ? "longer" : "english"));
    if (longer) dll.write_table(gntest::read_file(GN_LONGER_TEXTS));
    ASSERT_TRUE(dll.load());
    std::string faults, caption;
    RECT client{}, units{0, 0, 230, 96};
    EXPECT_EQ(2, run_dialog(dll, nullptr, [&](HWND d) {
        caption = text_of(d);
        faults = layout_faults(d);
        GetClientRect(d, &client);
        MapDialogRect(d, &units);
        press(d, VK_ESCAPE);
    }));
    EXPECT_EQ(longer ? "Veltrix Client" : "Veltrix", caption);
    EXPECT_EQ("", faults) << dpi << " dpi";
    // The English dialog keeps the template's size; longer texts may make it larger.
    EXPECT_LE(units.right, client.right);
    EXPECT_LE(units.bottom, client.bottom);
    if (!longer) {
        EXPECT_EQ(units.right, client.right);
        EXPECT_EQ(units.bottom, client.bottom);
    }
    std::printf("%d dpi, %s texts: client area %dx%d (template %dx%d)\n", dpi,
                longer ? "longer" : "English", int(client.right), int(client.bottom), int(units.right),
                int(units.bottom));

    // Owned by a window that is not DPI aware, the dialog is made unaware too:
    // the system shows it at 96 dpi, and its texts still fit.
    HMODULE user32 = GetModuleHandleA("user32.dll");
    using SetContextFn = void*(WINAPI*)(void*);
    using GetContextFn = void*(WINAPI*)(HWND);
    using AwarenessFn = int(WINAPI*)(void*);
    const auto set_context = gn::proc_address<SetContextFn>(user32, "SetThreadDpiAwarenessContext");
    const auto window_context = gn::proc_address<GetContextFn>(user32, "GetWindowDpiAwarenessContext");
    const auto awareness = gn::proc_address<AwarenessFn>(user32, "GetAwarenessFromDpiAwarenessContext");
    if (!set_context || !window_context || !awareness) return;  // no per-thread contexts here
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "GNTestUnawareOwner";
    RegisterClassA(&wc);
    void* before = set_context(reinterpret_cast<void*>(-1));  // DPI_AWARENESS_CONTEXT_UNAWARE
    gn::unique_hwnd owner(CreateWindowExA(0, "GNTestUnawareOwner", "owner",
                                          WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 200, nullptr,
                                          nullptr, GetModuleHandleA(nullptr), nullptr));
    if (before) set_context(before);
    ASSERT_TRUE(owner);
    int dialog_awareness = -1, owner_awareness = -1;
    faults = "not shown";
    EXPECT_EQ(2, run_dialog(dll, owner.get(), [&](HWND d) {
        dialog_awareness = awareness(window_context(d));
        faults = layout_faults(d);
        press(d, VK_ESCAPE);
    }));
    owner_awareness = awareness(window_context(owner.get()));
    EXPECT_EQ(0, dialog_awareness);  // DPI_AWARENESS_UNAWARE, as its owner
    EXPECT_EQ(0, owner_awareness);
    EXPECT_EQ("", faults) << "unaware owner at " << dpi << " dpi";
}
