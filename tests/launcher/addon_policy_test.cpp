// The administrator's settings for a client control: the values as read, the verdict.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "launcher/addon_policy.h"

using namespace gn;

namespace {

const char kOther[] = "{6F3B9D29-4E1A-11D5-A7C3-0050DA6E1B42}";

// "" absent; "#n" a REG_DWORD, "3n" one of three bytes, "Qn" a REG_QWORD;
// "=text" a REG_SZ with its zero, "~" one longer than is kept.
addon_value value(const std::string& shape) {
    addon_value v;
    v.present = !shape.empty();
    const char kind = v.present ? shape[0] : '#';
    const unsigned long n = v.present ? std::strtoul(shape.c_str() + 1, nullptr, 0) : 0;
    const bool text = kind == '=' || kind == '~';
    v.type = text ? kRegText : kind == 'Q' ? 11 : kRegDword;
    v.size = kind == '=' ? shape.size() : kind == '~' ? 200 : kind == 'Q' ? 8 : kind == '3' ? 3 : 4;
    std::memcpy(v.data, kind == '=' ? static_cast<const void*>(shape.c_str() + 1) : &n,
                text ? v.size % 200 : 4);
    return v;
}

}  // namespace

TEST(AddonPolicy, SettingsGiveTheVerdict) {
    constexpr auto A = addon_outcome::allowed, B = addon_outcome::blocked, R = addon_outcome::alternate;
    constexpr unsigned kFlagsBad = 1u << addon_kill_flags, kAltBad = 1u << addon_alternate,
                       kMachineBad = 1u << addon_machine_list,
                       kRestrictBad = 1u << addon_machine_restrict;
    // Kill flags, AlternateCLSID, list HKLM, list HKCU, RestrictToList HKLM, HKCU, user's Flags.
    const struct {
        const char* values[addon_setting_count];
        addon_outcome outcome;
        addon_setting rule;
        unsigned malformed;
    } rows[] = {
        {{}, A, addon_no_setting, 0},
        {{"#0x400"}, B, addon_kill_flags, 0},
        {{"#0x3FF", "={6F3B9D29-4E1A-11D5-A7C3-0050DA6E1B42}"}, A, addon_no_setting, 0},
        {{"#0x401", "={6f3b9d29-4e1a-11d5-a7c3-0050da6e1b42}"}, R, addon_alternate, 0},
        {{"#0x400", "={6F3B9D20-4E1A-11D5-A7C3-0050DA6E1B42}"}, B, addon_kill_flags, 0},
        {{"#0x400", "=6F3B9D29-4E1A-11D5-A7C3-0050DA6E1B42"}, B, addon_kill_flags, kAltBad},
        {{"#0x400", "", "=1", "=1"}, B, addon_kill_flags, 0},
        {{"=1024", "", "=0"}, B, addon_machine_list, kFlagsBad},
        {{"Q1024"}, A, addon_no_setting, kFlagsBad},
        {{"", "", "", "=0"}, B, addon_user_list, 0},
        {{"", "", "=1", "=0"}, A, addon_machine_list, 0},
        {{"", "", "=00", "=1"}, B, addon_machine_list, 0},
        {{"", "", "=x", "=0"}, B, addon_user_list, kMachineBad},
        {{"", "", "=3", "", "#1"}, B, addon_machine_restrict, kMachineBad},
        {{"", "", "=", "", "", "#2"}, B, addon_user_restrict, kMachineBad},
        {{"", "", "~", "", "#0"}, A, addon_no_setting, kMachineBad},
        {{"", "", "=-0", "", "31"}, A, addon_no_setting, kMachineBad | kRestrictBad},
        {{"", "", "=2", "", "#1"}, A, addon_machine_list, 0},
        {{"", "", "", "=1", "#1", "", "#1"}, A, addon_user_list, 0},
        {{"", "", "", "", "", "", "#3"}, B, addon_user_flags, 0},
        {{"", "", "", "=2", "", "", "#1"}, B, addon_user_flags, 0},
    };
    int n = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(n++);
        addon_settings s;
        for (int i = 0; i < addon_setting_count; ++i)
            s.values[i] = value(row.values[i] ? row.values[i] : "");
        const addon_verdict v = addon_decision(s, kOther);
        EXPECT_EQ(row.outcome, v.outcome);
        EXPECT_EQ(row.rule, v.rule);
        EXPECT_EQ(row.malformed, v.malformed);
        // A replacement counts only while its own settings allow it.
        for (addon_outcome other : {A, B, R}) {
            const addon_verdict r = addon_resolve(v, {other, addon_no_setting, 0});
            EXPECT_EQ(v.outcome == R && other != A ? B : v.outcome, r.outcome);
        }
    }
}
