#include "launcher/addon_policy.h"

#include <cstring>
#include <initializer_list>

namespace gn {
namespace {

constexpr unsigned long kKillBit = 0x400;     // "Compatibility Flags": never create
constexpr unsigned long kUserDisabled = 0x1;  // "Flags": the user turned it off

// Where each setting lies. A key that ends in the class is followed by
// "\{class}"; a value without a name is named by the class.
struct place {
    bool machine;
    const char* key;
    bool class_key;
    const char* value;
    const char* rule;
};
constexpr place kPlaces[addon_setting_count] = {
    {true, "Software\\Microsoft\\Internet Explorer\\ActiveX Compatibility", true, "Compatibility Flags",
     "the kill bit"},
    {true, "Software\\Microsoft\\Internet Explorer\\ActiveX Compatibility", true, "AlternateCLSID",
     "the kill bit's replacement"},
    {true, "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Ext\\CLSID", false, nullptr,
     "the add-on list"},
    {false, "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Ext\\CLSID", false, nullptr,
     "the add-on list"},
    {true, "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Ext", false, "RestrictToList",
     "the add-on list's deny unless allowed"},
    {false, "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Ext", false, "RestrictToList",
     "the add-on list's deny unless allowed"},
    {false, "Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Settings", true, "Flags",
     "the user's disabled add-ons"},
};

bool valid(addon_setting s) noexcept { return s >= 0 && s < addon_setting_count; }

// Reads the settings one by one, noting the malformed ones.
class reader {
public:
    explicit reader(const addon_settings& s) noexcept : s_(s) {}
    unsigned malformed() const noexcept { return malformed_; }

    // A REG_DWORD of four bytes; false when absent or malformed.
    bool dword(addon_setting which, unsigned long& out) noexcept {
        const addon_value& v = s_.values[which];
        if (!v.present) return false;
        if (v.type != kRegDword || v.size != 4) return bad(which);
        out = static_cast<unsigned long>(v.data[0]) | static_cast<unsigned long>(v.data[1]) << 8 |
              static_cast<unsigned long>(v.data[2]) << 16 | static_cast<unsigned long>(v.data[3]) << 24;
        return true;
    }

    // A REG_SZ that fits, without its terminators (one or more trailing
    // zeros, or none); false when absent, empty or malformed, or when a zero
    // lies inside the text.
    bool text(addon_setting which, const char*& out, size_t& length) noexcept {
        const addon_value& v = s_.values[which];
        if (!v.present) return false;
        if (v.type != kRegText || v.size > kAddonValueSize) return bad(which);
        length = v.size;
        while (length > 0 && v.data[length - 1] == 0) --length;
        out = reinterpret_cast<const char*>(v.data);
        if (length == 0 || std::memchr(out, 0, length)) return bad(which);
        return true;
    }

    // The add-on list's entry: 0, 1 or 2, written in decimal digits only;
    // -1 when absent or anything else.
    int list_entry(addon_setting which) noexcept {
        const char* text = nullptr;
        size_t length = 0;
        if (!this->text(which, text, length)) return -1;
        unsigned long n = 0;
        for (size_t i = 0; i < length; ++i) {
            if (text[i] < '0' || text[i] > '9') return bad(which), -1;
            if (n <= 2) n = n * 10 + static_cast<unsigned long>(text[i] - '0');
        }
        if (n > 2) return bad(which), -1;
        return static_cast<int>(n);
    }

    // Notes a value present but malformed; false.
    bool bad(addon_setting which) noexcept {
        malformed_ |= 1u << which;
        return false;
    }

private:
    const addon_settings& s_;
    unsigned malformed_ = 0;
};

bool hex_digit(char c) noexcept {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A class identifier in braces: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
bool is_class_text(const char* text, size_t length) noexcept {
    if (length != 38 || text[0] != '{' || text[37] != '}') return false;
    for (size_t i = 1; i < 37; ++i) {
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash ? text[i] != '-' : !hex_digit(text[i])) return false;
    }
    return true;
}

bool same_class_text(const char* a, const char* b) noexcept {
    for (size_t i = 0; i < 38; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

addon_verdict decide(reader& r, const char* other_class) noexcept {
    addon_verdict v;
    unsigned long flags = 0;
    if (r.dword(addon_kill_flags, flags) && (flags & kKillBit)) {
        v.outcome = addon_outcome::blocked;
        v.rule = addon_kill_flags;
        const char* alternate = nullptr;
        size_t length = 0;
        if (r.text(addon_alternate, alternate, length)) {
            if (!is_class_text(alternate, length)) return r.bad(addon_alternate), v;
            if (other_class && std::strlen(other_class) == 38 &&
                same_class_text(alternate, other_class)) {
                v.outcome = addon_outcome::alternate;
                v.rule = addon_alternate;
            }
        }
        return v;
    }

    int entry = r.list_entry(addon_machine_list);
    addon_setting listed = addon_machine_list;
    if (entry < 0) {
        entry = r.list_entry(addon_user_list);
        listed = addon_user_list;
    }
    if (entry == 0) return {addon_outcome::blocked, listed, 0};
    if (entry == 1) return {addon_outcome::allowed, listed, 0};
    if (entry < 0) {
        for (addon_setting restrict : {addon_machine_restrict, addon_user_restrict}) {
            unsigned long on = 0;
            if (r.dword(restrict, on) && on != 0) return {addon_outcome::blocked, restrict, 0};
        }
    }
    if (r.dword(addon_user_flags, flags) && (flags & kUserDisabled))
        return {addon_outcome::blocked, addon_user_flags, 0};
    if (entry == 2) v.rule = listed;
    return v;
}

}  // namespace

addon_verdict addon_decision(const addon_settings& settings, const char* other_class) noexcept {
    reader r(settings);
    addon_verdict v = decide(r, other_class);
    v.malformed = r.malformed();
    return v;
}

addon_verdict addon_resolve(const addon_verdict& own, const addon_verdict& replacement) noexcept {
    if (own.outcome != addon_outcome::alternate || replacement.outcome == addon_outcome::allowed)
        return own;
    addon_verdict v = own;
    v.outcome = addon_outcome::blocked;
    v.rule = addon_kill_flags;
    return v;
}

const char* addon_root_name(addon_setting setting) noexcept {
    if (!valid(setting)) return "";
    return kPlaces[setting].machine ? "HKLM" : "HKCU";
}

bool addon_key_path(addon_setting setting, const char* class_text, char* out, size_t size) noexcept {
    if (!out || size == 0) return false;
    out[0] = '\0';
    if (!valid(setting)) return false;
    const place& p = kPlaces[setting];
    const size_t key = std::strlen(p.key);
    const size_t cls = p.class_key ? 1 + (class_text ? std::strlen(class_text) : 0) : 0;
    if (key + cls >= size) return false;
    std::memcpy(out, p.key, key);
    if (p.class_key) {
        out[key] = '\\';
        std::memcpy(out + key + 1, class_text ? class_text : "", cls - 1);
    }
    out[key + cls] = '\0';
    return true;
}

const char* addon_value_name(addon_setting setting, const char* class_text) noexcept {
    if (!valid(setting)) return "";
    const char* name = kPlaces[setting].value;
    return name ? name : (class_text ? class_text : "");
}

const char* addon_rule_text(addon_setting setting) noexcept {
    return valid(setting) ? kPlaces[setting].rule : "no setting";
}

}  // namespace gn
