// The administrator's settings for a client control: any value of any type
// and size in each of the places the rules read.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "launcher/addon_policy.h"

namespace {

const char kOther[] = "{6F3B9D29-4E1A-11D5-A7C3-0050DA6E1B42}";

}  // namespace

// Each value: a byte of presence, one of type, one of size (up to 255, so
// past what is kept), then as many data bytes as are kept of that size.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    gn::addon_settings settings;
    std::size_t at = 0;
    for (gn::addon_value& v : settings.values) {
        if (size - at < 3) break;
        v.present = data[at] & 1;
        v.type = data[at + 1] % 12;
        v.size = data[at + 2];
        at += 3;
        std::size_t kept = v.size < gn::kAddonValueSize ? v.size : gn::kAddonValueSize;
        if (kept > size - at) kept = size - at;
        std::memcpy(v.data, data + at, kept);
        at += kept;
    }
    const gn::addon_verdict verdict = gn::addon_decision(settings, (data[0] & 2) ? kOther : nullptr);
    // A kill bit is never an allowance; a block always names its rule.
    const gn::addon_value& kill = settings.values[gn::addon_kill_flags];
    if (kill.present && kill.type == gn::kRegDword && kill.size == 4 && (kill.data[1] & 0x04) &&
        verdict.outcome == gn::addon_outcome::allowed)
        __builtin_trap();
    if (verdict.outcome != gn::addon_outcome::allowed && verdict.rule == gn::addon_no_setting)
        __builtin_trap();
    if (verdict.malformed >> gn::addon_setting_count) __builtin_trap();
    const gn::addon_verdict other{static_cast<gn::addon_outcome>(data[0] % 3), gn::addon_user_list, 0};
    if (gn::addon_resolve(verdict, other).outcome == gn::addon_outcome::alternate &&
        other.outcome != gn::addon_outcome::allowed)
        __builtin_trap();

    char key[200];
    for (int s = 0; s <= gn::addon_setting_count; ++s) {
        const auto setting = static_cast<gn::addon_setting>(s);
        const bool fits = gn::addon_key_path(setting, kOther, key, data[0] % sizeof key);
        if (fits && std::strlen(key) >= data[0] % sizeof key) __builtin_trap();
        (void)gn::addon_value_name(setting, kOther);
        (void)gn::addon_rule_text(setting);
    }
    return 0;
}
