// The component's own interfaces (generated from the type-library source)
// and the identifiers of the classes and controls it knows.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include "GNLauncher_h.h"

namespace gn {

// A GUID from its registry text "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", read
// at compile time, so that each class identifier is written once, as text.
namespace detail {
constexpr unsigned long guid_hex(const char* text, int digits) {
    unsigned long value = 0;
    for (int i = 0; i < digits; ++i) {
        const char c = text[i];
        const unsigned long digit =
            c >= '0' && c <= '9'   ? static_cast<unsigned long>(c - '0')
            : c >= 'A' && c <= 'F' ? static_cast<unsigned long>(c - 'A' + 10)
            : c >= 'a' && c <= 'f' ? static_cast<unsigned long>(c - 'a' + 10)
                                   : throw "not a hexadecimal digit";
        value = value * 16 + digit;
    }
    return value;
}
constexpr unsigned char guid_byte(const char* text) {
    return static_cast<unsigned char>(guid_hex(text, 2));
}
}  // namespace detail

constexpr GUID guid_from_text(const char (&text)[39]) {
    return text[0] != '{' || text[9] != '-' || text[14] != '-' || text[19] != '-' ||
                   text[24] != '-' || text[37] != '}'
               ? throw "not a braced GUID"
               : GUID{detail::guid_hex(text + 1, 8),
                      static_cast<unsigned short>(detail::guid_hex(text + 10, 4)),
                      static_cast<unsigned short>(detail::guid_hex(text + 15, 4)),
                      {detail::guid_byte(text + 20), detail::guid_byte(text + 22),
                       detail::guid_byte(text + 25), detail::guid_byte(text + 27),
                       detail::guid_byte(text + 29), detail::guid_byte(text + 31),
                       detail::guid_byte(text + 33), detail::guid_byte(text + 35)}};
}

// The launcher again, data-file type "dzdfile".
constexpr const char kMorvaneLauncherDataClsidText[] = "{5B2D7A10-3C4E-4F81-9A6B-2E7C4D1F8A04}";
constexpr CLSID CLSID_MorvaneLauncherData = guid_from_text(kMorvaneLauncherDataClsidText);
// Counted as the launcher's own class by the version query.
constexpr const char kMorvaneLauncherAltClsidText[] = "{3E8A61C4-7D25-4B9F-8C13-A05F92D6E847}";
constexpr CLSID CLSID_MorvaneLauncherAlt = guid_from_text(kMorvaneLauncherAltClsidText);
// The legacy (6.x) document control.
constexpr const char kLegacy6xClsidText[] = "{6F3B9D20-4E1A-11D5-A7C3-0050DA6E1B42}";
constexpr CLSID CLSID_Legacy6xControl = guid_from_text(kLegacy6xClsidText);
// The main plugin PluginCtl (8.x).
constexpr const char kPluginCtlClsidText[] = "{6F3B9D29-4E1A-11D5-A7C3-0050DA6E1B42}";
constexpr CLSID CLSID_PluginCtl = guid_from_text(kPluginCtlClsidText);

// The browser application service.
constexpr GUID SID_SWebBrowserApp = guid_from_text("{0002DF05-0000-0000-C000-000000000046}");

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

}  // namespace gn
