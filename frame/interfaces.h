// The component's own interfaces (generated from the type-library source)
// and the identifiers of the classes and controls it knows.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include "GNLauncher_h.h"

namespace gn {

// {5B2D7A10-3C4E-4F81-9A6B-2E7C4D1F8A04} the launcher again, data-file type "dzdfile"
constexpr CLSID CLSID_MorvaneLauncherData = {0x5B2D7A10, 0x3C4E, 0x4F81,
                                             {0x9A, 0x6B, 0x2E, 0x7C, 0x4D, 0x1F, 0x8A, 0x04}};
// {3E8A61C4-7D25-4B9F-8C13-A05F92D6E847} counted as the launcher's own class by the version query
constexpr CLSID CLSID_MorvaneLauncherAlt = {0x3E8A61C4, 0x7D25, 0x4B9F,
                                            {0x8C, 0x13, 0xA0, 0x5F, 0x92, 0xD6, 0xE8, 0x47}};
// {6F3B9D20-4E1A-11D5-A7C3-0050DA6E1B42} the legacy (6.x) document control
constexpr CLSID CLSID_Legacy6xControl = {0x6F3B9D20, 0x4E1A, 0x11D5,
                                         {0xA7, 0xC3, 0x00, 0x50, 0xDA, 0x6E, 0x1B, 0x42}};
// {6F3B9D29-4E1A-11D5-A7C3-0050DA6E1B42} the main plugin PluginCtl (8.x)
constexpr CLSID CLSID_PluginCtl = {0x6F3B9D29, 0x4E1A, 0x11D5,
                                   {0xA7, 0xC3, 0x00, 0x50, 0xDA, 0x6E, 0x1B, 0x42}};

// {0002DF05-0000-0000-C000-000000000046} the browser application service
constexpr GUID SID_SWebBrowserApp = {0x0002DF05, 0x0000, 0x0000,
                                     {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Component categories: safe for scripting, safe for initializing.
constexpr GUID CATID_SafeForScripting = {0x7DD95801, 0x9882, 0x11CF,
                                          {0x9F, 0xA9, 0x00, 0xAA, 0x00, 0x6C, 0x42, 0xC4}};
constexpr GUID CATID_SafeForInitializing = {0x7DD95802, 0x9882, 0x11CF,
                                             {0x9F, 0xA9, 0x00, 0xAA, 0x00, 0x6C, 0x42, 0xC4}};

// The registry form of an identifier, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}",
// made from the identifier itself so that each one is written only once.
struct guid_text {
    char text[39];
};
namespace detail {
constexpr int put_hex(char* out, int at, unsigned long value, int digits) {
    for (int i = digits - 1; i >= 0; --i) out[at++] = "0123456789ABCDEF"[(value >> (4 * i)) & 0xF];
    return at;
}
}  // namespace detail
constexpr guid_text registry_text(const GUID& g) {
    guid_text t{};
    int at = 0;
    t.text[at++] = '{';
    at = detail::put_hex(t.text, at, g.Data1, 8);
    t.text[at++] = '-';
    at = detail::put_hex(t.text, at, g.Data2, 4);
    t.text[at++] = '-';
    at = detail::put_hex(t.text, at, g.Data3, 4);
    t.text[at++] = '-';
    for (int i = 0; i < 8; ++i) {
        if (i == 2) t.text[at++] = '-';
        at = detail::put_hex(t.text, at, g.Data4[i], 2);
    }
    t.text[at++] = '}';
    t.text[at] = '\0';
    return t;
}

constexpr guid_text kPluginCtlClsidText = registry_text(CLSID_PluginCtl);

}  // namespace gn
