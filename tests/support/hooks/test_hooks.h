// The extra entry points of gntesthooks.dll, a test-only build of the module's
// own objects and resources: they reach the version choice dialog, the
// translation table, the control host and the certificate check, which GNLauncher.dll exports
// nothing for. It never ships; GNLauncher.dll keeps exactly its four exports.
#pragma once

#include <windows.h>

enum GnTestOp : UINT {
    GnTestAskVersionChoice = 1,  // wp: owner HWND. Returns the dialog's result.
    GnTestTranslate = 2,         // wp: GnTestTexts*. Returns the pass's flag, -1 on bad input.
    GnTestIsTablePresent = 3,    // Returns 1 when the table file was found at load.
    GnTestCheckCertificate = 4,  // wp: URL (const wchar_t*). Starts a certificate check of
                                 // it and abandons it at once; 1 when its worker started.
    GnTestWaitCertificates = 5,  // wp: URL, lp: count. Starts count checks of it and waits,
                                 // pumping messages, until each started one is answered or
                                 // past its deadline. Returns how many started.
};

// Texts for one translation pass: count inputs, each translated into the
// caller's out[i] buffer of out_size bytes (length in out_len[i]).
struct GnTestTexts {
    UINT count;
    const char* const* in;
    char** out;
    UINT out_size;
    UINT* out_len;
};

using GnTestCallFn = INT_PTR(WINAPI*)(UINT op, WPARAM wp, LPARAM lp);
// CreateCtlHost6xForTest: a new control host, as client selection makes one.
using GnCreateCtlHostFn = HRESULT(WINAPI*)(IUnknown** ppUnk);
