// The control host: creation, SRC, the fifteen creation steps with their
// clean-up, the site interfaces and the host's lifetime.
#include "host_fixture.h"

#include "frame/object.h"
#include "support/expect.h"

#include <olectl.h>
#include <servprov.h>

#ifndef WM_FORWARDMSG
#define WM_FORWARDMSG 0x037F
#endif

using hosttest::g_fake;
using hosttest::g_previous_messages;
using hosttest::HostTest;

namespace {

// Records the service requests the host forwards.
class RecordingServiceProvider final
    : public gn::implements<RecordingServiceProvider, gn::no_lock, IServiceProvider> {
public:
    STDMETHODIMP QueryService(REFGUID service, REFIID, void** ppv) override {
        last_service = service;
        *ppv = nullptr;
        return E_ACCESSDENIED;
    }
    GUID last_service{};
};

std::wstring bstr_text(BSTR b) { return b ? std::wstring(b, SysStringLen(b)) : L"<null>"; }

}  // namespace

TEST_F(HostTest, SrcBeforeCreationIsEmptyAndNullPointerIsRefused) {
    auto host = new_host();
    ASSERT_TRUE(host);
    gn::unique_variant src;
    ASSERT_EQ(S_OK, host->get_SRC(&src));
    EXPECT_EQ(VT_BSTR, src.vt);
    EXPECT_EQ(L"", bstr_text(src.bstrVal));
    EXPECT_EQ(E_POINTER, host->get_SRC(nullptr));
    EXPECT_NE(std::string::npos, log_text().find("CtlHost6x: get_SRC() accessed."));

    // The host answers its site interfaces and nothing else.
    for (const IID* iid : {&IID_IDispatch, &IID_IOleClientSite, &IID_IOleInPlaceSiteWindowless,
                           &IID_IOleInPlaceSiteEx, &IID_IOleInPlaceSite, &IID_IOleWindow,
                           &IID_IOleControlSite, &IID_IOleContainer, &IID_IServiceProvider}) {
        gn::com_ptr<IUnknown> answer;
        EXPECT_EQ(S_OK, host->QueryInterface(*iid, answer.put_void()));
    }
    for (const IID* iid : {&IID_IOleObject, &IID_IParseDisplayName, &IID_IOleInPlaceFrame,
                           &IID_IPersistStreamInit}) {
        IUnknown* answer = reinterpret_cast<IUnknown*>(0x1);
        EXPECT_EQ(E_NOINTERFACE, host->QueryInterface(*iid, reinterpret_cast<void**>(&answer)));
        EXPECT_EQ(nullptr, answer);
    }
    // No service provider yet.
    auto services = gn::try_query<IServiceProvider>(host.get());
    gn::com_ptr<IUnknown> browser;
    EXPECT_EQ(E_NOINTERFACE, services->QueryService(IID_IUnknown, IID_IUnknown, browser.put_void()));
}

TEST_F(HostTest, HandleThatIsNoWindowCreatesNothingButKeepsTheUrl) {
    auto host = new_host();
    gn::com_ptr<IUnknown> control;
    EXPECT_EQ(S_FALSE, create_control(host.get(), hosttest::kFakeClsidText, L"http://127.0.0.1/a.dzy",
                                      reinterpret_cast<HWND>(0x7FFF0), nullptr, control.put()));
    EXPECT_FALSE(control);
    EXPECT_EQ(0, g_fake.created);
    gn::unique_variant src;
    ASSERT_EQ(S_OK, host->get_SRC(&src));
    EXPECT_EQ(L"http://127.0.0.1/a.dzy", bstr_text(src.bstrVal));

    // A null URL stores nothing: SRC is an empty string again.
    EXPECT_EQ(S_FALSE, create_control(host.get(), hosttest::kFakeClsidText, nullptr, nullptr,
                                      nullptr, control.put()));
    ASSERT_EQ(S_OK, host->get_SRC(src.put()));
    EXPECT_EQ(L"", bstr_text(src.bstrVal));
}

TEST_F(HostTest, FailedCreationLogsAndGivesTheWindowBack) {
    auto host = new_host();
    const WNDPROC original = host_window_proc();

    gn::com_ptr<IUnknown> control;
    const wchar_t unregistered[] = L"{0D5E8F41-6B2A-4C3D-9E10-7A8B9C0D1EFF}";
    EXPECT_EQ(REGDB_E_CLASSNOTREG, create_control(host.get(), unregistered, L"file:///x.dzy",
                                                  host_window_, nullptr, control.put()));
    EXPECT_FALSE(control);
    EXPECT_EQ(original, host_window_proc());
    EXPECT_NE(std::string::npos,
              log_text().find("CtlHost6x: failed to create control: "
                              "{0D5E8F41-6B2A-4C3D-9E10-7A8B9C0D1EFF}"));
    gn::unique_variant src;
    ASSERT_EQ(S_OK, host->get_SRC(&src));
    EXPECT_EQ(L"file:///x.dzy", bstr_text(src.bstrVal));

    // Text that is no class identifier, and no text at all.
    EXPECT_TRUE(FAILED(create_control(host.get(), L"PluginCtl", L"u", host_window_, nullptr,
                                      control.put())));
    EXPECT_EQ(original, host_window_proc());
    EXPECT_TRUE(FAILED(create_control(host.get(), nullptr, L"u", host_window_, nullptr,
                                      control.put())));
    EXPECT_EQ(original, host_window_proc());

    // A registered class with no IOleObject: the caller keeps (and releases) it.
    EXPECT_EQ(E_NOINTERFACE, create_control(host.get(), hosttest::kNoOleClsidText, L"u",
                                            host_window_, nullptr, control.put()));
    EXPECT_TRUE(control);
    EXPECT_EQ(original, host_window_proc());
    // A null out-pointer is refused rather than written through.
    EXPECT_EQ(E_POINTER, create_control(host.get(), hosttest::kFakeClsidText, L"u", host_window_,
                                        nullptr, nullptr));
    EXPECT_EQ(original, host_window_proc());
    EXPECT_EQ(1, g_fake.created);
}

TEST_F(HostTest, CreationFollowsTheContainerSequence) {
    auto host = new_host();
    gn::com_ptr<IUnknown> control;
    // Site before initialisation, then the extent asked and corrected, then
    // activation; nothing else (no host names, no advise, no object site).
    gntest::Expectations expected;
    g_fake.expected = &expected;
    expected.expect_sequence({"SetClientSite(site)", "InitNew", "SetExtent(1,7938x5292)",
                              "GetExtent(1)", "DoVerb(-5,0,0,300,200)"});
    ASSERT_EQ(S_OK, create_control(host.get(), hosttest::kFakeClsidText, L"file:///doc.dzy",
                                   host_window_, nullptr, control.put()));
    ASSERT_TRUE(control);
    expected.check_called();
    // The control's window lives in the host window; the host window is taken over.
    EXPECT_EQ(host_window_, GetParent(g_fake.window));
    EXPECT_NE(recording_proc(), host_window_proc());
    EXPECT_TRUE(gntest::in_order(log_text(), {"CtlHost6x: don't have a service provider",
                                              "CtlHost6x: invoking m_spOleObject->DoVerb()"}));

    // Closing the window ends everything: the control is closed and detached,
    // the host and its accelerator table are freed.
    const HACCEL table = g_fake.frame_info.haccel;
    control.reset();
    host.reset();
    EXPECT_EQ(S_FALSE, test_dll_can_unload());
    g_previous_messages.clear();
    expected.expect_sequence({"Close(1)", "SetClientSite(null)", "SetSite(null)"});
    DestroyWindow(host_window_);
    expected.check_called();
    g_fake.expected = nullptr;
    EXPECT_EQ(0, g_fake.running_locks);
    EXPECT_TRUE(hosttest::previous_saw(WM_DESTROY));
    EXPECT_TRUE(hosttest::previous_saw(WM_NCDESTROY));
    EXPECT_EQ(0, g_fake.alive);
    EXPECT_EQ(0, CopyAcceleratorTableA(table, nullptr, 0));
    EXPECT_EQ(S_OK, test_dll_can_unload());
}

TEST_F(HostTest, WindowContextIsKeptForTheHostsLife) {
    auto host = new_host();
    gn::com_ptr<IUnknown> control;
    ASSERT_EQ(S_OK, create_control(host.get(), hosttest::kFakeClsidText, L"file:///doc.dzy",
                                   host_window_, nullptr, control.put()));
    // Both window objects, the client rectangle and one accelerator table.
    EXPECT_EQ(20u, g_fake.frame_info.cb);
    EXPECT_FALSE(g_fake.frame_info.fMDIApp);
    EXPECT_EQ(parent_, g_fake.frame_info.hwndFrame);
    EXPECT_EQ(1u, g_fake.frame_info.cAccelEntries);
    ASSERT_NE(nullptr, g_fake.frame_info.haccel);
    auto in_place = gn::try_query<IOleInPlaceSite>(host.get());
    gn::com_ptr<IOleInPlaceFrame> frame;
    gn::com_ptr<IOleInPlaceUIWindow> doc;
    RECT pos{}, clip{};
    OLEINPLACEFRAMEINFO info{};
    ASSERT_EQ(S_OK, in_place->GetWindowContext(frame.put(), doc.put(), &pos, &clip, &info));
    EXPECT_EQ(g_fake.frame_info.haccel, info.haccel);
    EXPECT_EQ(300, pos.right);
    EXPECT_EQ(200, clip.bottom);
    auto f = gntest::poison<IOleInPlaceFrame*>();
    auto d = gntest::poison<IOleInPlaceUIWindow*>();
    EXPECT_EQ(E_POINTER, in_place->GetWindowContext(nullptr, &d, &pos, &clip, &info));
    EXPECT_EQ(E_POINTER, in_place->GetWindowContext(&f, &d, nullptr, &clip, &info));
    // A call refused for a missing pointer writes nothing at all.
    EXPECT_EQ(gntest::poison<IOleInPlaceFrame*>(), f);
    EXPECT_EQ(gntest::poison<IOleInPlaceUIWindow*>(), d);

    // The frame offers no tool space whatever is asked; its window is made on demand.
    BORDERWIDTHS widths{0, 0, 0, 0};
    EXPECT_EQ(INPLACE_E_NOTOOLSPACE, frame->RequestBorderSpace(&widths));
    widths = BORDERWIDTHS{10, 20, 30, 40};
    EXPECT_EQ(INPLACE_E_NOTOOLSPACE, frame->RequestBorderSpace(&widths));
    EXPECT_EQ(INPLACE_E_NOTOOLSPACE, doc->RequestBorderSpace(&widths));
    EXPECT_EQ(S_FALSE, frame->TranslateAccelerator(nullptr, 0));
    HWND frame_window = nullptr, doc_window = nullptr, again = nullptr;
    EXPECT_EQ(S_OK, frame->GetWindow(&frame_window));
    EXPECT_EQ(S_OK, doc->GetWindow(&doc_window));
    char title[64] = {};
    GetWindowTextA(frame_window, title, sizeof(title));
    EXPECT_STREQ("AXWIN Frame Window", title);
    GetWindowTextA(doc_window, title, sizeof(title));
    EXPECT_STREQ("AXWIN UI Window", title);
    EXPECT_FALSE(IsWindowVisible(frame_window));
    frame->GetWindow(&again);
    EXPECT_EQ(frame_window, again);
    frame.reset();
    doc.reset();
    in_place.reset();
    control.reset();
    host.reset();
    DestroyWindow(host_window_);
    EXPECT_FALSE(IsWindow(frame_window));
}

TEST_F(HostTest, CorrectedExtentSetsThePositionRectangle) {
    hosttest::FakeOptions options;
    options.corrected_extent = SIZEL{2646, 1323};  // 100 x 50 pixels at 96 dpi
    hosttest::reset_fake(options);
    auto host = new_host();
    gn::com_ptr<IUnknown> control;
    ASSERT_EQ(S_OK, create_control(host.get(), hosttest::kFakeClsidText, L"u", host_window_,
                                   nullptr, control.put()));
    EXPECT_TRUE(hosttest::fake_called("DoVerb(-5,0,0,100,50)"));
    RECT r{};
    GetWindowRect(g_fake.window, &r);
    EXPECT_EQ(100, r.right - r.left);
    EXPECT_EQ(50, r.bottom - r.top);
}

TEST_F(HostTest, ActivationReportsAndResizingReachTheControl) {
    hosttest::FakeOptions options;
    options.use_activate_ex = true;
    hosttest::reset_fake(options);
    auto host = new_host();
    gn::com_ptr<IUnknown> control;
    ASSERT_EQ(S_OK, create_control(host.get(), hosttest::kFakeClsidText, L"u", host_window_,
                                   nullptr, control.put()));
    // OnInPlaceActivateEx places the control at once.
    EXPECT_TRUE(hosttest::fake_called("SetObjectRects(0,0,300,200,0,0,300,200)"));
    EXPECT_EQ(1, g_fake.running_locks);

    hosttest::reset_fake(options);
    g_previous_messages.clear();
    SetWindowPos(host_window_, nullptr, 0, 0, 400, 100, SWP_NOZORDER | SWP_NOMOVE);
    SendMessageA(host_window_, WM_SIZE, SIZE_RESTORED, MAKELPARAM(300, 200));
    EXPECT_TRUE(hosttest::fake_called("SetExtent(1,7938x5292)"));
    EXPECT_TRUE(hosttest::fake_called("SetObjectRects(0,0,300,200,0,0,300,200)"));
    EXPECT_TRUE(hosttest::fake_called("SetObjectRects(0,0,400,100,0,0,400,100)"));
    EXPECT_TRUE(hosttest::previous_saw(WM_SIZE));
}

TEST_F(HostTest, ChildNotificationsAreReflected) {
    auto host = new_host();
    gn::com_ptr<IUnknown> control;
    ASSERT_EQ(S_OK, create_control(host.get(), hosttest::kFakeClsidText, L"u", host_window_,
                                   nullptr, control.put()));
    const HWND child = g_fake.window;
    ASSERT_TRUE(IsWindow(child));
    const LPARAM child_lp = reinterpret_cast<LPARAM>(child);

    // The control window's creation already came back to it (WM_PARENTNOTIFY).
    EXPECT_EQ(std::vector<UINT>{0x2210u}, g_fake.child_messages);
    g_fake.child_messages.clear();
    g_fake.child_lparams.clear();
    g_previous_messages.clear();
    EXPECT_EQ(0x5A5A, SendMessageA(host_window_, WM_COMMAND, MAKEWPARAM(77, BN_CLICKED), child_lp));
    ASSERT_EQ(1u, g_fake.child_messages.size());
    EXPECT_EQ(0x2111u, g_fake.child_messages[0]);
    EXPECT_EQ(child_lp, g_fake.child_lparams[0]);
    EXPECT_FALSE(hosttest::previous_saw(WM_COMMAND));

    // A menu or accelerator command (lParam 0) goes to the previous procedure.
    EXPECT_EQ(0x0BAD, SendMessageA(host_window_, WM_COMMAND, 5, 0));
    EXPECT_TRUE(hosttest::previous_saw(WM_COMMAND));

    NMHDR header{child, 77, 0};
    EXPECT_EQ(0x5A5A, SendMessageA(host_window_, WM_NOTIFY, 77, reinterpret_cast<LPARAM>(&header)));
    EXPECT_EQ(0x204Eu, g_fake.child_messages.back());
    MEASUREITEMSTRUCT measure{};
    measure.CtlType = ODT_LISTBOX;
    measure.CtlID = 77;
    EXPECT_EQ(0x5A5A, SendMessageA(host_window_, WM_MEASUREITEM, 77,
                                   reinterpret_cast<LPARAM>(&measure)));
    EXPECT_EQ(0x202Cu, g_fake.child_messages.back());
    EXPECT_EQ(0x5A5A, SendMessageA(host_window_, WM_PARENTNOTIFY, MAKEWPARAM(WM_LBUTTONDOWN, 77), 0));
    EXPECT_EQ(0x2210u, g_fake.child_messages.back());
    EXPECT_EQ(0x5A5A, SendMessageA(host_window_, WM_CTLCOLORSTATIC, 0, child_lp));
    EXPECT_EQ(0x2138u, g_fake.child_messages.back());
}

TEST_F(HostTest, HostileNotificationsNeverCrashOrReachForeignWindows) {
    auto host = new_host();
    gn::com_ptr<IUnknown> control;
    ASSERT_EQ(S_OK, create_control(host.get(), hosttest::kFakeClsidText, L"u", host_window_,
                                   nullptr, control.put()));
    const size_t reflected = g_fake.child_messages.size();
    // A window that is not the host's child (its parent here) must not be sent
    // a reflected message; nor the control's own one named by an item record
    // with a wrong code (an unknown or a menu's type, another identifier than
    // wParam). A missing record is not read.
    const LPARAM foreign = reinterpret_cast<LPARAM>(parent_);
    g_previous_messages.clear();
    SendMessageA(host_window_, WM_COMMAND, 1, foreign);
    SendMessageA(host_window_, WM_HSCROLL, 1, foreign);
    SendMessageA(host_window_, WM_CTLCOLOREDIT, 1, reinterpret_cast<LPARAM>(host_window_));
    // Every item record starts with CtlType and CtlID; this one is the largest.
    const DRAWITEMSTRUCT wrong[] = {{99, 77, 0, 0, 0, g_fake.window, nullptr, {}, 0},
                                    {ODT_MENU, 77, 0, 0, 0, g_fake.window, nullptr, {}, 0},
                                    {ODT_BUTTON, 78, 0, 0, 0, g_fake.window, nullptr, {}, 0}};
    for (const DRAWITEMSTRUCT& item : wrong) {
        for (UINT msg : {WM_DRAWITEM, WM_MEASUREITEM, WM_DELETEITEM, WM_COMPAREITEM})
            SendMessageA(host_window_, msg, 77, reinterpret_cast<LPARAM>(&item));
    }
    const UINT record_messages[] = {WM_NOTIFY, WM_DRAWITEM, WM_MEASUREITEM, WM_DELETEITEM,
                                    WM_COMPAREITEM, WM_VKEYTOITEM, WM_FORWARDMSG};
    for (UINT msg : record_messages) SendMessageA(host_window_, msg, 77, 0);
    SendMessageA(host_window_, WM_PARENTNOTIFY, MAKEWPARAM(WM_CREATE, 0), 0);
    SendMessageA(host_window_, WM_PARENTNOTIFY, MAKEWPARAM(WM_LBUTTONDOWN, 999), 0);
    NMHDR stale{reinterpret_cast<HWND>(0x12345678), 1, 0};
    SendMessageA(host_window_, WM_NOTIFY, 1, reinterpret_cast<LPARAM>(&stale));
    EXPECT_EQ(reflected, g_fake.child_messages.size());
    EXPECT_TRUE(hosttest::previous_saw(WM_COMMAND));
    EXPECT_TRUE(hosttest::previous_saw(WM_NOTIFY));
    EXPECT_FALSE(hosttest::previous_saw(WM_FORWARDMSG));
}

TEST_F(HostTest, ForwardedKeysGoToTheControl) {
    auto host = new_host();
    gn::com_ptr<IUnknown> control;
    ASSERT_EQ(S_OK, create_control(host.get(), hosttest::kFakeClsidText, L"u", host_window_,
                                   nullptr, control.put()));
    MSG tab{host_window_, WM_KEYDOWN, VK_TAB, 0, 0, {0, 0}};
    g_previous_messages.clear();
    EXPECT_EQ(0, SendMessageA(host_window_, WM_FORWARDMSG, 0, reinterpret_cast<LPARAM>(&tab)));
    EXPECT_TRUE(hosttest::fake_called("TranslateAccelerator(9)"));
    g_fake.options.translate_keys = true;
    EXPECT_EQ(1, SendMessageA(host_window_, WM_FORWARDMSG, 0, reinterpret_cast<LPARAM>(&tab)));
    EXPECT_FALSE(hosttest::previous_saw(WM_FORWARDMSG));
}

TEST_F(HostTest, ExtendedControlOffersSrcByName) {
    auto host = new_host();
    gn::com_ptr<IUnknown> control;
    ASSERT_EQ(S_OK, create_control(host.get(), hosttest::kFakeClsidText,
                                   L"http://127.0.0.1:8080/r/q.dzy", host_window_, nullptr,
                                   control.put()));
    auto site = gn::try_query<IOleControlSite>(g_fake.site);
    ASSERT_TRUE(site);
    EXPECT_EQ(E_POINTER, site->GetExtendedControl(nullptr));
    gn::com_ptr<IDispatch> extended;
    ASSERT_EQ(S_OK, site->GetExtendedControl(extended.put()));
    for (const wchar_t* name : {L"SRC", L"src"}) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        DISPID id = 0;
        ASSERT_EQ(S_OK, extended->GetIDsOfNames(IID_NULL, names, 1, 0, &id));
        EXPECT_EQ(0x60020000, id);
    }
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    gn::unique_variant result;
    ASSERT_EQ(S_OK, extended->Invoke(0x60020000, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result,
                                     nullptr, nullptr));
    EXPECT_EQ(VT_BSTR, result.vt);
    EXPECT_EQ(L"http://127.0.0.1:8080/r/q.dzy", bstr_text(result.bstrVal));
    // SRC has no setter; an ambient property is unknown.
    gn::unique_variant value;
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocString(L"x");
    DISPID put_id = DISPID_PROPERTYPUT;
    DISPPARAMS put{value.get(), &put_id, 1, 1};
    EXPECT_TRUE(FAILED(extended->Invoke(0x60020000, IID_NULL, 0, DISPATCH_PROPERTYPUT, &put,
                                        nullptr, nullptr, nullptr)));
    EXPECT_TRUE(FAILED(extended->Invoke(DISPID_AMBIENT_USERMODE, IID_NULL, 0,
                                        DISPATCH_PROPERTYGET, &none, result.put(), nullptr,
                                        nullptr)));
}

TEST_F(HostTest, ContainerEnumeratesTheControlOnly) {
    auto host = new_host();
    gn::com_ptr<IUnknown> control;
    ASSERT_EQ(S_OK, create_control(host.get(), hosttest::kFakeClsidText, L"u", host_window_,
                                   nullptr, control.put()));
    gn::com_ptr<IOleContainer> container;
    ASSERT_EQ(S_OK, g_fake.site->GetContainer(container.put()));
    EXPECT_EQ(E_POINTER, g_fake.site->GetContainer(nullptr));
    gn::com_ptr<IEnumUnknown> items;
    ASSERT_EQ(S_OK, container->EnumObjects(OLECONTF_EMBEDDINGS, items.put()));
    IUnknown* got[2] = {};
    ULONG fetched = 7;
    EXPECT_EQ(S_OK, items->Next(1, got, &fetched));
    EXPECT_EQ(1u, fetched);
    EXPECT_EQ(control.get(), got[0]);
    if (got[0]) got[0]->Release();
    got[0] = gntest::poison<IUnknown*>();
    EXPECT_EQ(S_FALSE, items->Next(1, got, &fetched));
    EXPECT_EQ(0u, fetched);
    EXPECT_EQ(gntest::poison<IUnknown*>(), got[0]) << "nothing is written past what was fetched";
    EXPECT_EQ(S_OK, items->Reset());
    EXPECT_EQ(E_POINTER, items->Next(2, got, nullptr));
    EXPECT_EQ(E_POINTER, items->Next(1, nullptr, &fetched));
    gn::com_ptr<IEnumUnknown> copy;
    EXPECT_EQ(S_OK, items->Clone(copy.put()));
    EXPECT_EQ(S_FALSE, items->Skip(2));
    EXPECT_EQ(S_FALSE, items->Next(1, got, nullptr));
    EXPECT_EQ(S_FALSE, copy->Next(2, got, &fetched));
    EXPECT_EQ(1u, fetched);
    if (got[0]) got[0]->Release();
    EXPECT_EQ(E_POINTER, container->EnumObjects(OLECONTF_EMBEDDINGS, nullptr));
}

TEST_F(HostTest, ServiceRequestsReachTheCallersProvider) {
    auto provider = gn::make<RecordingServiceProvider>();
    auto host = new_host();
    gn::com_ptr<IUnknown> control;
    ASSERT_EQ(S_OK, create_control(host.get(), hosttest::kFakeClsidText, L"u", host_window_,
                                   provider.get(), control.put()));
    EXPECT_EQ(std::string::npos, log_text().find("don't have a service provider"));
    auto services = gn::try_query<IServiceProvider>(g_fake.site);
    gn::com_ptr<IUnknown> browser;
    const GUID SID_SWebBrowserApp = {0x0002DF05, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    EXPECT_EQ(E_ACCESSDENIED, services->QueryService(SID_SWebBrowserApp, IID_IUnknown,
                                                     browser.put_void()));
    EXPECT_TRUE(IsEqualGUID(SID_SWebBrowserApp, provider->last_service));
    services.reset();
    DestroyWindow(host_window_);
    control.reset();
    host.reset();
    EXPECT_EQ(1u, gntest::refs(provider.get()));
}

TEST_F(HostTest, SecondControlReplacesTheFirst) {
    auto host = new_host();
    gn::com_ptr<IUnknown> first, second;
    ASSERT_EQ(S_OK, create_control(host.get(), hosttest::kFakeClsidText, L"one", host_window_,
                                   nullptr, first.put()));
    hosttest::reset_fake();
    ASSERT_EQ(S_OK, create_control(host.get(), hosttest::kFakeClsidText, L"two", host_window_,
                                   nullptr, second.put()));
    EXPECT_EQ(0, hosttest::fake_call_index("Close(1)"));
    EXPECT_TRUE(hosttest::fake_called("DoVerb(-5,0,0,300,200)"));
    first.reset();
    EXPECT_EQ(1, g_fake.alive);
    // A failing activation cleans up: the control is closed, the window given back.
    hosttest::FakeOptions failing;
    failing.doverb_result = E_FAIL;
    hosttest::reset_fake(failing);
    second.reset();
    EXPECT_EQ(E_FAIL, create_control(host.get(), hosttest::kFakeClsidText, L"three", host_window_,
                                     nullptr, second.put()));
    EXPECT_EQ(recording_proc(), host_window_proc());
    EXPECT_TRUE(hosttest::fake_called("SetClientSite(null)"));
    second.reset();
    EXPECT_EQ(0, g_fake.alive);
}

TEST_F(HostTest, InPlaceSiteServesFocusCaptureAndDefaultMessages) {
    auto host = new_host();
    gn::com_ptr<IUnknown> control;
    ASSERT_EQ(S_OK, create_control(host.get(), hosttest::kFakeClsidText, L"u", host_window_,
                                   nullptr, control.put()));
    auto site = gn::try_query<IOleInPlaceSiteWindowless>(host.get());
    HWND window = nullptr;
    EXPECT_EQ(S_OK, site->GetWindow(&window));
    EXPECT_EQ(host_window_, window);
    EXPECT_EQ(E_POINTER, site->GetWindow(nullptr));
    EXPECT_EQ(S_FALSE, site->GetCapture());
    EXPECT_EQ(S_OK, site->SetCapture(TRUE));
    EXPECT_EQ(S_OK, site->GetCapture());
    EXPECT_EQ(S_OK, site->SetCapture(FALSE));
    EXPECT_EQ(S_FALSE, site->GetCapture());
    EXPECT_EQ(E_POINTER, site->GetDC(nullptr, 0, nullptr));
    HDC dc = nullptr;
    EXPECT_EQ(S_OK, site->GetDC(nullptr, 0, &dc));
    EXPECT_NE(nullptr, dc);
    EXPECT_EQ(S_OK, site->ReleaseDC(dc));
    g_previous_messages.clear();
    LRESULT result = 0;
    EXPECT_EQ(S_OK, site->OnDefWindowMessage(WM_NOTIFY, 0, 0, &result));
    EXPECT_EQ(0x0BAD, result);
    EXPECT_TRUE(hosttest::previous_saw(WM_NOTIFY));

    // Focus on the host window UI-activates the control and passes to its window.
    SetFocus(host_window_);
    EXPECT_TRUE(hosttest::fake_called("DoVerb(-4,0,0,300,200)"));
    EXPECT_EQ(g_fake.window, GetFocus());
    EXPECT_TRUE(hosttest::previous_saw(WM_SETFOCUS));
}
