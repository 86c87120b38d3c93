// The administrator's settings for a control that a program creates by class:
// the kill bit and the replacement it may name, the add-on list policy, "deny
// unless allowed" and the add-ons a user turned off. The registry values come
// in as read (present, type, bytes); a verdict comes out. No platform header:
// addon_registry.h reads the values.
#pragma once

#include <cstddef>

namespace gn {

// The registry values the rules read. Where each lies: addon_key_path,
// addon_value_name, addon_root_name.
enum addon_setting : int {
    addon_kill_flags,        // HKLM ...\ActiveX Compatibility\{class} "Compatibility Flags"
    addon_alternate,         // the same key, "AlternateCLSID"
    addon_machine_list,      // HKLM ...\Policies\Ext\CLSID, the value named "{class}"
    addon_user_list,         // HKCU, the same
    addon_machine_restrict,  // HKLM ...\Policies\Ext "RestrictToList"
    addon_user_restrict,     // HKCU, the same
    addon_user_flags,        // HKCU ...\Ext\Settings\{class} "Flags"
    addon_setting_count,
    addon_no_setting = addon_setting_count,
};

// Registry value types as the platform numbers them.
constexpr unsigned long kRegText = 1;   // REG_SZ
constexpr unsigned long kRegDword = 4;  // REG_DWORD (little-endian)

// Bytes kept of one value: a class identifier in braces in wide characters
// with its terminator fits.
constexpr size_t kAddonValueSize = 80;

// One registry value as read.
struct addon_value {
    bool present = false;
    unsigned long type = 0;
    // The value's whole size in bytes: more than kAddonValueSize when it did
    // not fit, and then data holds nothing of it.
    unsigned long size = 0;
    unsigned char data[kAddonValueSize] = {};
};

// Every value the rules read for one class, at one moment.
struct addon_settings {
    addon_value values[addon_setting_count];
};

enum class addon_outcome {
    allowed,
    blocked,    // rule names the setting that blocked it
    alternate,  // the kill bit names the other client as the replacement
};

struct addon_verdict {
    addon_outcome outcome = addon_outcome::allowed;
    // The setting that decided: the one that blocked, the AlternateCLSID of a
    // replacement, the list entry that allowed; addon_no_setting when none did.
    addon_setting rule = addon_no_setting;
    // One bit (1 << setting) per value present but malformed: of a wrong
    // type, a size that does not fit it, or text that is not what the setting
    // holds. Such a value counts as not set.
    unsigned malformed = 0;
};

// The verdict on creating the class whose settings are given. Its kill bit
// blocks it; the AlternateCLSID beside a kill bit gives addon_outcome::
// alternate only when it names other_class (a class identifier in braces,
// letter case ignored). Then the add-on list, HKLM before HKCU: "0" blocks,
// "1" allows, "2" allows and leaves it to the user. Without an entry there,
// RestrictToList (not 0, in HKLM or HKCU) blocks. Without a "1", the user's
// Flags with its lowest bit set (1: turned off) blocks.
addon_verdict addon_decision(const addon_settings& settings, const char* other_class) noexcept;

// A control whose kill bit names a replacement: blocked unless the
// replacement's own verdict allows it.
addon_verdict addon_resolve(const addon_verdict& own, const addon_verdict& replacement) noexcept;

// "HKLM" or "HKCU": the root key of a setting.
const char* addon_root_name(addon_setting setting) noexcept;
// Writes the key of a setting below its root for class_text (the class
// identifier in braces) into out. False when it does not fit (out empty).
bool addon_key_path(addon_setting setting, const char* class_text, char* out, size_t size) noexcept;
// The value's name: fixed, or class_text for the add-on list.
const char* addon_value_name(addon_setting setting, const char* class_text) noexcept;
// What the rule is called in log lines and reports: "the kill bit", ...
const char* addon_rule_text(addon_setting setting) noexcept;

}  // namespace gn
