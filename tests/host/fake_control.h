// A scripted control for the host tests: registered in this process under
// test class identifiers, it records every container call it receives and
// can be told to correct its extent, translate keys or lack IOleObject.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include <string>
#include <vector>

#include "support/expect.h"

namespace hosttest {

// {0D5E8F41-6B2A-4C3D-9E10-7A8B9C0D1E21}: the scripted control
extern const CLSID CLSID_FakeControl;
// {0D5E8F41-6B2A-4C3D-9E10-7A8B9C0D1E22}: an object that is no OLE object
extern const CLSID CLSID_FakeNoOleObject;

struct FakeOptions {
    SIZEL corrected_extent{0, 0};  // non-zero: GetExtent answers this instead
    bool use_activate_ex = false;  // activate through IOleInPlaceSiteEx
    bool translate_keys = false;   // TranslateAccelerator answers S_OK
    bool keep_site = true;         // AddRef the client site it is given
    HRESULT doverb_result = S_OK;
};

struct FakeState {
    FakeOptions options;
    std::vector<std::string> calls;  // one entry per container call
    gntest::Expectations* expected = nullptr;  // when set, every call is checked against it
    gntest::ApartmentThread apartment;         // the test's thread, which made the control
    int created = 0;                 // instances made
    int alive = 0;                   // instances alive
    HWND window = nullptr;           // the control's own window, once in place
    OLEINPLACEFRAMEINFO frame_info{};
    IOleClientSite* site = nullptr;  // not owned: as the control last saw it
    LONG running_locks = 0;          // IRunnableObject::LockRunning balance
    std::vector<UINT> child_messages;  // messages of 0x2000 and up at the control's window
    std::vector<LPARAM> child_lparams;
};

extern FakeState g_fake;

// Registers both classes for this thread; undone by unregister_fakes().
void register_fakes();
void unregister_fakes();
void reset_fake(const FakeOptions& options = FakeOptions());
bool fake_called(const std::string& call);
int fake_call_index(const std::string& call);  // -1 when absent

}  // namespace hosttest
