// The launcher as an active document inside a browser-like container.
#include <gtest/gtest.h>

#include <docobj.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "frame/interfaces.h"
#include "support/browser.h"
#include "support/module.h"

using gn::com_ptr;
using gntest::BrowserContainer;
using gntest::Expectations;
using gntest::in_sequence;
using gntest::LoadedModule;

namespace {

class ViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
        ASSERT_TRUE(module.loaded());
        ASSERT_EQ(S_OK, module.create(CLSID_MorvaneLauncher, IID_IUnknown, launcher.put_void()));
    }
    void TearDown() override {
        launcher.reset();
        EXPECT_EQ(S_OK, module.can_unload_now());
        module.unload();
        OleUninitialize();
    }
    HWND launcher_window() {
        com_ptr<IOleWindow> window = launcher.try_query<IOleWindow>();
        HWND hwnd = nullptr;
        if (window) window->GetWindow(&hwnd);
        return hwnd;
    }
    LoadedModule module;
    com_ptr<IUnknown> launcher;
};

}  // namespace

TEST_F(ViewTest, ShowActivatesInPlaceCreatesTheWindowAndLeavesItUIActive) {
    BrowserContainer browser;
    ASSERT_EQ(S_OK, browser.open(launcher.get(), nullptr, nullptr));
    EXPECT_EQ(S_OK, browser.create_view_result);
    EXPECT_EQ(S_OK, browser.set_rect_result);
    EXPECT_EQ(S_OK, browser.show_result);
    // The window's creation UI-activates inside the verb's activation: the
    // window context is asked and the object shown once by each.
    EXPECT_TRUE(in_sequence(browser.calls, {"ActivateMe", "CanInPlaceActivate", "OnInPlaceActivate",
                                            "GetWindowContext", "GetWindowContext", "OnUIActivate",
                                            "Frame.SetActiveObject", "Frame.SetBorderSpace",
                                            "UIWindow.SetActiveObject", "UIWindow.SetBorderSpace",
                                            "ShowObject", "ShowObject"}));

    HWND hwnd = launcher_window();
    ASSERT_TRUE(IsWindow(hwnd));
    EXPECT_EQ(browser.document_window(), GetParent(hwnd));
    const LONG style = GetWindowLongA(hwnd, GWL_STYLE);
    EXPECT_EQ(static_cast<LONG>(WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN),
              style & static_cast<LONG>(WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN));
    EXPECT_EQ(0, GetWindowLongA(hwnd, GWL_EXSTYLE) & ~WS_EX_NOPARENTNOTIFY);
    char class_name[64] = {};
    GetClassNameA(hwnd, class_name, sizeof class_name);
    EXPECT_EQ(0, strncmp(class_name, "GNLauncher:", 11)) << class_name;
    RECT rc{};
    GetClientRect(hwnd, &rc);
    EXPECT_EQ(400, rc.right);
    EXPECT_EQ(300, rc.bottom);

    // Already UI-active: a second Show calls nobody.
    Expectations expected;
    browser.expected = &expected;
    EXPECT_EQ(S_OK, browser.view()->Show(TRUE));
    EXPECT_EQ(S_OK, browser.view()->UIActivate(TRUE));

    expected.expect("OnUIDeactivate");
    expected.expect("OnInPlaceDeactivate");
    expected.allow("GetWindowContext");  // for the frame to clear the active object
    expected.allow("Frame.SetActiveObject");
    expected.allow("UIWindow.SetActiveObject");
    browser.close();
    EXPECT_FALSE(IsWindow(hwnd));
    expected.check_called();
    browser.expected = nullptr;
}

TEST_F(ViewTest, UIActivateRoadAlsoActivates) {
    BrowserContainer::Options options;
    options.ui_activate = true;
    options.ui_window = false;
    BrowserContainer browser(options);
    ASSERT_EQ(S_OK, browser.open(launcher.get(), nullptr, nullptr));
    EXPECT_TRUE(IsWindow(launcher_window()));
    EXPECT_TRUE(browser.called("Frame.SetActiveObject"));
    EXPECT_FALSE(browser.called("UIWindow.SetActiveObject"));
}

TEST_F(ViewTest, VerbsThatAreRefused) {
    BrowserContainer browser;
    browser.attach(launcher.get());
    com_ptr<IOleObject> ole = launcher.try_query<IOleObject>();
    // No client site yet: nothing can be activated.
    EXPECT_EQ(E_FAIL, browser.do_verb(OLEIVERB_SHOW));
    ASSERT_EQ(S_OK, browser.set_client_site());
    EXPECT_EQ(E_FAIL, browser.do_verb(OLEIVERB_PRIMARY));
    EXPECT_EQ(E_FAIL, browser.do_verb(OLEIVERB_HIDE));
    EXPECT_EQ(E_FAIL, browser.do_verb(7));
    EXPECT_FALSE(browser.called("ActivateMe"));
    EXPECT_EQ(S_OK, browser.do_verb(OLEIVERB_SHOW));
    // UI-active now: activation verbs are refused.
    EXPECT_EQ(E_FAIL, browser.do_verb(OLEIVERB_UIACTIVATE));
}

TEST_F(ViewTest, ClientSiteThatIsNoDocumentSiteCannotActivate) {
    BrowserContainer::Options options;
    options.document_site = false;
    BrowserContainer browser(options);
    EXPECT_EQ(E_FAIL, browser.open(launcher.get(), nullptr, nullptr));
    EXPECT_FALSE(browser.called("ActivateMe"));
}

TEST_F(ViewTest, OneViewOnly) {
    BrowserContainer browser;
    ASSERT_EQ(S_OK, browser.open(launcher.get(), nullptr, nullptr));
    com_ptr<IOleDocument> doc = launcher.try_query<IOleDocument>();
    com_ptr<IOleDocumentView> second;
    EXPECT_EQ(E_FAIL, doc->CreateView(nullptr, nullptr, 0, second.put()));
    EXPECT_FALSE(second);
    EXPECT_EQ(E_POINTER, doc->CreateView(nullptr, nullptr, 0, nullptr));

    com_ptr<IOleDocumentView> view;
    EXPECT_EQ(S_OK, doc->EnumViews(nullptr, view.put()));
    EXPECT_EQ(browser.view(), view.get());
    DWORD status = 0;
    EXPECT_EQ(S_OK, doc->GetDocMiscStatus(&status));
    EXPECT_EQ(static_cast<DWORD>(DOCMISC_NOFILESUPPORT), status);

    com_ptr<IUnknown> document;
    EXPECT_EQ(S_OK, view->GetDocument(document.put()));
    EXPECT_EQ(launcher.get(), document.get());
    EXPECT_EQ(E_FAIL, view->GetDocument(nullptr));
    com_ptr<IOleInPlaceSite> site;
    EXPECT_EQ(S_OK, view->GetInPlaceSite(site.put()));
    EXPECT_TRUE(site);
    for (HRESULT hr : {view->Open(), view->SaveViewState(nullptr), view->ApplyViewState(nullptr),
                       view->Clone(nullptr, nullptr),
                       view->SetRectComplex(nullptr, nullptr, nullptr, nullptr)})
        EXPECT_EQ(E_NOTIMPL, hr);
}

TEST_F(ViewTest, SetRectMovesTheWindowAndANestedSetRectReturnsAtOnce) {
    BrowserContainer browser;
    ASSERT_EQ(S_OK, browser.open(launcher.get(), nullptr, nullptr));
    HWND hwnd = launcher_window();
    RECT rc{10, 20, 210, 120};
    ASSERT_EQ(S_OK, browser.view()->SetRect(&rc));
    RECT got{};
    GetWindowRect(hwnd, &got);
    MapWindowPoints(nullptr, browser.document_window(), reinterpret_cast<POINT*>(&got), 2);
    EXPECT_TRUE(EqualRect(&rc, &got));
    RECT view_rect{};
    EXPECT_EQ(S_OK, browser.view()->GetRect(&view_rect));
    EXPECT_TRUE(EqualRect(&rc, &view_rect));

    // While the window moves, a second SetRect arrives: it must not move it again.
    static IOleDocumentView* nested_view;
    static WNDPROC previous;
    static HRESULT nested_result;
    nested_view = browser.view();
    nested_result = E_PENDING;
    previous = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
        hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(+[](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
            if (m == WM_WINDOWPOSCHANGED && nested_result == E_PENDING) {
                RECT other{0, 0, 50, 50};
                nested_result = nested_view->SetRect(&other);
            }
            return CallWindowProcA(previous, h, m, w, l);
        })));
    RECT outer{5, 5, 305, 205};
    EXPECT_EQ(S_OK, browser.view()->SetRect(&outer));
    SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
    EXPECT_EQ(S_OK, nested_result);
    EXPECT_EQ(S_OK, browser.view()->GetRect(&view_rect));
    EXPECT_TRUE(EqualRect(&outer, &view_rect));
    EXPECT_EQ(E_POINTER, browser.view()->SetRect(nullptr));
}

TEST_F(ViewTest, RefusedInPlaceActivationCanBeTriedAgain) {
    BrowserContainer::Options options;
    options.can_in_place_activate = E_FAIL;
    BrowserContainer browser(options);
    EXPECT_EQ(E_FAIL, browser.open(launcher.get(), nullptr, nullptr));
    EXPECT_EQ(E_FAIL, browser.show_result);
    EXPECT_EQ(nullptr, launcher_window());
    browser.options().can_in_place_activate = S_FALSE;  // not a failure
    EXPECT_EQ(S_OK, browser.view()->Show(TRUE));
    EXPECT_TRUE(IsWindow(launcher_window()));
}

TEST_F(ViewTest, ExtentAndAspects) {
    com_ptr<IOleObject> ole = launcher.try_query<IOleObject>();
    SIZEL size{};
    EXPECT_EQ(S_OK, ole->GetExtent(DVASPECT_CONTENT, &size));
    EXPECT_EQ(5080, size.cx);
    EXPECT_EQ(5080, size.cy);
    EXPECT_EQ(E_FAIL, ole->GetExtent(DVASPECT_ICON, &size));
    SIZEL wanted{1000, 2000};
    EXPECT_EQ(DV_E_DVASPECT, ole->SetExtent(DVASPECT_THUMBNAIL, &wanted));
    EXPECT_EQ(E_POINTER, ole->SetExtent(DVASPECT_CONTENT, nullptr));
    EXPECT_EQ(S_OK, ole->SetExtent(DVASPECT_CONTENT, &wanted));
    EXPECT_EQ(S_OK, ole->GetExtent(DVASPECT_CONTENT, &size));
    EXPECT_EQ(1000, size.cx);
    EXPECT_EQ(2000, size.cy);

    EXPECT_EQ(E_FAIL, ole->Unadvise(1));
    com_ptr<IEnumSTATDATA> advises;
    EXPECT_EQ(E_FAIL, ole->EnumAdvise(advises.put()));
    for (HRESULT hr : {ole->SetMoniker(0, nullptr), ole->InitFromData(nullptr, FALSE, 0),
                       ole->GetClipboardData(0, nullptr), ole->SetColorScheme(nullptr)})
        EXPECT_EQ(E_NOTIMPL, hr);
    EXPECT_EQ(E_POINTER, ole->EnumVerbs(nullptr));
    EXPECT_EQ(E_POINTER, ole->GetMiscStatus(DVASPECT_CONTENT, nullptr));

    com_ptr<IOleInPlaceObject> inplace = launcher.try_query<IOleInPlaceObject>();
    HWND hwnd = reinterpret_cast<HWND>(1);
    EXPECT_EQ(E_UNEXPECTED, inplace->GetWindow(&hwnd));
    EXPECT_EQ(E_POINTER, inplace->GetWindow(nullptr));

    com_ptr<IOleControl> control = launcher.try_query<IOleControl>();
    EXPECT_EQ(S_OK, control->FreezeEvents(TRUE));
    EXPECT_EQ(S_OK, control->FreezeEvents(FALSE));
    EXPECT_EQ(S_OK, control->OnAmbientPropertyChange(DISPID_UNKNOWN));
    EXPECT_EQ(E_NOTIMPL, control->GetControlInfo(nullptr));
}

TEST_F(ViewTest, KeysGoToTheSiteWithTheModifierState) {
    BrowserContainer browser;
    ASSERT_EQ(S_OK, browser.open(launcher.get(), nullptr, nullptr));
    com_ptr<IOleInPlaceActiveObject> active = launcher.try_query<IOleInPlaceActiveObject>();
    ASSERT_TRUE(active);
    EXPECT_EQ(static_cast<IOleInPlaceActiveObject*>(active.get()), browser.active_object());
    MSG msg{launcher_window(), WM_KEYDOWN, 'A', 0, 0, {0, 0}};
    browser.calls.clear();
    EXPECT_EQ(S_FALSE, active->TranslateAccelerator(&msg));
    EXPECT_TRUE(browser.called("TranslateAccelerator(0)"));
    // A Tab that nothing in the window takes also goes on to the site.
    msg.wParam = VK_TAB;
    EXPECT_EQ(S_FALSE, active->TranslateAccelerator(&msg));
}

// Where each key arrives when the browser's loop offers it to the document
// first, as the viewer's does: taken in the document (the focus moves between
// its tab stops), or handed on to the browser through the container's site,
// which records it with the modifier state. Two tab stops in the launcher
// window stand for a hosted control's windows.
TEST_F(ViewTest, KeysLeaveTheDocumentAtEitherEndAndUnusedOnesReachTheBrowser) {
    BrowserContainer browser;
    ASSERT_EQ(S_OK, browser.open(launcher.get(), nullptr, nullptr));
    com_ptr<IOleInPlaceActiveObject> active = launcher.try_query<IOleInPlaceActiveObject>();
    ASSERT_TRUE(active);
    HWND window = launcher_window();
    HWND stops[2];
    for (int i = 0; i < 2; ++i)
        stops[i] = CreateWindowExA(0, "BUTTON", i ? "second" : "first",
                                   WS_CHILD | WS_VISIBLE | WS_TABSTOP, 10, 10 + 30 * i, 80, 24, window,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(i + 1)), nullptr, nullptr);
    struct Key {
        const char* what;
        WPARAM vk;
        BYTE modifier;  // VK_SHIFT, VK_CONTROL or 0
        int focus_before, focus_after;  // tab stop index
        HRESULT taken;
        const char* browser_call;  // what the site records, "" for nothing
    };
    const Key keys[] = {
        {"Tab on the first stop", VK_TAB, 0, 0, 1, S_OK, ""},
        {"Tab at the last stop", VK_TAB, 0, 1, 1, S_FALSE, "TranslateAccelerator(0)"},
        {"Shift+Tab on the last stop", VK_TAB, VK_SHIFT, 1, 0, S_OK, ""},
        {"Shift+Tab at the first stop", VK_TAB, VK_SHIFT, 0, 0, S_FALSE, "TranslateAccelerator(1)"},
        {"Ctrl+P, unused by the control", 'P', VK_CONTROL, 0, 0, S_FALSE, "TranslateAccelerator(2)"},
        {"Escape", VK_ESCAPE, 0, 1, 1, S_FALSE, "TranslateAccelerator(0)"},
        {"Enter", VK_RETURN, 0, 1, 1, S_FALSE, "TranslateAccelerator(0)"},
    };
    std::printf("| key | taken by the document | recorded by the container | focus after |\n");
    for (const Key& k : keys) {
        SetFocus(stops[k.focus_before]);
        BYTE state[256];
        GetKeyboardState(state);
        const BYTE before = k.modifier ? state[k.modifier] : 0;
        if (k.modifier) state[k.modifier] = 0x80;
        SetKeyboardState(state);
        browser.calls.clear();
        MSG msg{GetFocus(), WM_KEYDOWN, k.vk, 0, 0, {0, 0}};
        const HRESULT hr = active->TranslateAccelerator(&msg);
        if (k.modifier) state[k.modifier] = before;
        SetKeyboardState(state);
        std::string recorded;
        for (const auto& call : browser.calls)
            if (call.rfind("TranslateAccelerator", 0) == 0) recorded += call;
        const int after = GetFocus() == stops[0] ? 0 : GetFocus() == stops[1] ? 1 : -1;
        std::printf("| %s | %s | %s | %s |\n", k.what, hr == S_OK ? "yes" : "no",
                    recorded.empty() ? "-" : recorded.c_str(),
                    after < 0 ? "elsewhere" : after ? "second stop" : "first stop");
        EXPECT_EQ(k.taken, hr) << k.what;
        EXPECT_EQ(k.browser_call, recorded) << k.what;
        EXPECT_EQ(k.focus_after, after) << k.what;
    }
    browser.close();
}

TEST_F(ViewTest, MisbehavingContainerGetsResultCodes) {
    com_ptr<IOleDocumentView> view;
    com_ptr<IOleDocument> doc = launcher.try_query<IOleDocument>();
    ASSERT_EQ(S_OK, doc->CreateView(nullptr, nullptr, 0, view.put()));
    // Show and UIActivate with no site at all.
    EXPECT_TRUE(FAILED(view->Show(TRUE)));
    EXPECT_EQ(E_UNEXPECTED, view->UIActivate(TRUE));
    EXPECT_EQ(S_OK, view->Show(FALSE));
    EXPECT_EQ(S_OK, view->CloseView(0));
    com_ptr<IOleObject> ole = launcher.try_query<IOleObject>();
    EXPECT_EQ(S_OK, ole->Close(OLECLOSE_NOSAVE));
    EXPECT_EQ(S_OK, ole->Close(OLECLOSE_NOSAVE));
    EXPECT_EQ(S_OK, ole->SetClientSite(nullptr));
    EXPECT_EQ(S_OK, ole->SetClientSite(nullptr));

    // Close twice, release in between calls.
    BrowserContainer browser;
    ASSERT_EQ(S_OK, browser.open(launcher.get(), nullptr, nullptr));
    EXPECT_EQ(S_OK, ole->Close(OLECLOSE_NOSAVE));
    EXPECT_EQ(S_OK, ole->Close(OLECLOSE_NOSAVE));
    browser.close();
}

TEST_F(ViewTest, CloseDeactivatesEvenWithoutALauncherWindow) {
    BrowserContainer browser;
    // The site's window is gone: activation leaves the launcher in-place
    // active without a window of its own.
    DestroyWindow(browser.document_window());
    ASSERT_EQ(S_OK, browser.open(launcher.get(), nullptr, nullptr));
    ASSERT_EQ(nullptr, launcher_window());
    browser.calls.clear();
    com_ptr<IOleObject> ole = launcher.try_query<IOleObject>();
    EXPECT_EQ(S_OK, ole->Close(OLECLOSE_NOSAVE));
    EXPECT_TRUE(browser.called("OnInPlaceDeactivate"));
    browser.close();
}

// Each browser thread (a tab) is its own apartment: a SetRect on one never
// makes another thread's SetRect do nothing.
TEST_F(ViewTest, SetRectOnFourThreadsAtOnceIsNeverIgnored) {
    constexpr int kThreads = 4, kCalls = 2000;
    std::atomic<int> ignored{0}, ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            CoInitialize(nullptr);
            {
                com_ptr<IUnknown> own;
                if (SUCCEEDED(module.create(CLSID_MorvaneLauncher, IID_IUnknown, own.put_void()))) {
                    // A view in place in a window of this thread: SetRect moves it.
                    BrowserContainer browser;
                    browser.open(own.get(), nullptr, L"application/x-quorquery");
                    com_ptr<IOleDocumentView> view = own.try_query<IOleDocumentView>();
                    ++ready;
                    while (ready < kThreads) Sleep(0);
                    for (int i = 0; i < kCalls; ++i) {
                        RECT rc{t, i % 200, t + 100 + i % 300, i % 200 + 50};
                        RECT got{};
                        view->SetRect(&rc);
                        view->GetRect(&got);
                        if (!EqualRect(&rc, &got)) ++ignored;
                    }
                    browser.close();
                    own.reset();
                }
            }
            CoUninitialize();
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(0, ignored.load()) << "of " << kThreads * kCalls << " SetRect calls";
}
