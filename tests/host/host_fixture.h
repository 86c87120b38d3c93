// Fixture of the control-host tests: loads gntesthooks.dll (the module's own
// objects in a test-only DLL that can hand out a control host) with its log pointed at a scratch file,
// and gives each test a parent window with a 300 x 200 child host window
// whose own procedure records the messages the host hands on.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_control.h"
#include "frame/com.h"
#include "frame/interfaces.h"
#include "support/module.h"

namespace hosttest {

constexpr wchar_t kFakeClsidText[] = L"{0D5E8F41-6B2A-4C3D-9E10-7A8B9C0D1E21}";
constexpr wchar_t kNoOleClsidText[] = L"{0D5E8F41-6B2A-4C3D-9E10-7A8B9C0D1E22}";

// Messages that reached the host window's previous procedure.
extern std::vector<UINT> g_previous_messages;
bool previous_saw(UINT msg);

class HostTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A new host from the test DLL, as ICtlHost6x.
    gn::com_ptr<ICtlHost6x> new_host();
    // CreateControl6x with wide-string arguments turned into BSTRs.
    HRESULT create_control(ICtlHost6x* host, const wchar_t* clsid, const wchar_t* url, HWND window,
                           IUnknown* service_provider, IUnknown** control);
    std::string log_text() const { return gntest::read_file(log_path_); }
    HRESULT test_dll_can_unload() const { return can_unload_ ? can_unload_() : E_UNEXPECTED; }
    WNDPROC host_window_proc() const;
    static WNDPROC recording_proc();

    HWND parent_ = nullptr;
    HWND host_window_ = nullptr;
    HMODULE dll_ = nullptr;
    std::string log_path_;

private:
    HRESULT(WINAPI* create_host_)(IUnknown**) = nullptr;
    HRESULT(WINAPI* can_unload_)() = nullptr;
};

}  // namespace hosttest
