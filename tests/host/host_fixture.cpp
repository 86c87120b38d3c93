#include "host_fixture.h"

#include <cstdlib>

namespace hosttest {

std::vector<UINT> g_previous_messages;

bool previous_saw(UINT msg) {
    for (UINT m : g_previous_messages)
        if (m == msg) return true;
    return false;
}

namespace {

const char kHostWindowClass[] = "GNTest.HostWindow";

LRESULT CALLBACK recording_window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    g_previous_messages.push_back(msg);
    if (msg == WM_COMMAND || msg == WM_NOTIFY) return 0x0BAD;
    return DefWindowProcA(hwnd, msg, wp, lp);
}

void register_window_class() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = recording_window_proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kHostWindowClass;
    RegisterClassA(&wc);
}

}  // namespace

WNDPROC HostTest::recording_proc() { return recording_window_proc; }

WNDPROC HostTest::host_window_proc() const {
    return reinterpret_cast<WNDPROC>(GetWindowLongPtrA(host_window_, GWLP_WNDPROC));
}

void HostTest::SetUp() {
    CoInitialize(nullptr);
    static bool type_library_registered = false;
    if (!type_library_registered) {
        ASSERT_EQ(S_OK, gntest::register_type_library(gntest::LoadedModule::module_path()));
        type_library_registered = true;
    }
    const std::string dir = gntest::make_scratch_dir("host");
    log_path_ = dir + "host.log";
    _putenv_s("GNLAUNCHERLOG", log_path_.c_str());
    dll_ = LoadLibraryA((gntest::LoadedModule::program_dir() + "gntesthooks.dll").c_str());
    ASSERT_NE(nullptr, dll_);
    create_host_ = reinterpret_cast<decltype(create_host_)>(
        reinterpret_cast<void*>(GetProcAddress(dll_, "CreateCtlHost6xForTest")));
    can_unload_ = gn::proc_address<decltype(can_unload_)>(dll_, "DllCanUnloadNow");
    ASSERT_NE(nullptr, create_host_);

    register_window_class();
    register_fakes();
    reset_fake();
    g_previous_messages.clear();
    parent_ = CreateWindowExA(0, kHostWindowClass, "parent", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480,
                              nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    host_window_ = CreateWindowExA(0, kHostWindowClass, "host", WS_CHILD | WS_VISIBLE, 0, 0, 300,
                                   200, parent_, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_TRUE(IsWindow(host_window_));
    g_previous_messages.clear();
}

void HostTest::TearDown() {
    if (IsWindow(parent_)) DestroyWindow(parent_);
    gntest::pump_until([] { return false; }, 0);
    unregister_fakes();
    EXPECT_EQ(0, g_fake.alive) << "a control outlived its host";
    EXPECT_EQ(S_OK, test_dll_can_unload());
    if (dll_) FreeLibrary(dll_);
    _putenv_s("GNLAUNCHERLOG", "");
    CoUninitialize();
}

gn::com_ptr<ICtlHost6x> HostTest::new_host() {
    gn::com_ptr<IUnknown> unk;
    gn::com_ptr<ICtlHost6x> host;
    if (create_host_ && SUCCEEDED(create_host_(unk.put())))
        unk->QueryInterface(IID_ICtlHost6x, host.put_void());
    return host;
}

HRESULT HostTest::create_control(ICtlHost6x* host, const wchar_t* clsid, const wchar_t* url,
                                 HWND window, IUnknown* service_provider, IUnknown** control) {
    auto clsid_text = gn::unique_bstr::copy_of(clsid);
    auto url_text = gn::unique_bstr::copy_of(url);
    return host->CreateControl6x(clsid_text.get(), url_text.get(),
                                 static_cast<LONG>(reinterpret_cast<LONG_PTR>(window)),
                                 service_provider, control);
}

}  // namespace hosttest
