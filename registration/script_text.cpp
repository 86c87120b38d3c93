#include "registration/script_text.h"

#include "frame/com.h"

#include <objbase.h>
#include <oleauto.h>

#include <cstring>
#include <cwchar>
#include <memory>
#include <new>

namespace gn {

namespace {

constexpr size_t kTokenSize = 4096;      // longest value text of a script, and its zero
constexpr size_t kMaxReplacementName = 31;

// One character forward in the system code page; a lead byte before the end
// of the text is never taken with the terminator.
const char* step(const char* p) {
    const char* next = CharNextA(p);
    if (next <= p) next = p + 1;
    if (next > p + 1 && p[1] == '\0') next = p + 1;
    return next;
}

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equals_nocase(const char* a, size_t alen, const char* b) {
    const size_t blen = std::strlen(b);
    if (alen != blen) return false;
    for (size_t i = 0; i < alen; ++i)
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    return true;
}

// The walks' text rules in the system code page.
class system_rules final : public script_text_rules {
public:
    const char* next_char(const char* p) const noexcept override { return step(p); }
    bool parse_number(const char* text, unsigned long* value) const noexcept override {
        wchar_t wide[kTokenSize];
        ULONG number = 0;
        if (!MultiByteToWideChar(CP_ACP, 0, text, -1, wide, static_cast<int>(kTokenSize)) ||
            FAILED(VarUI4FromStr(wide, 0, 0, &number)))
            return false;
        *value = number;
        return true;
    }
};

wchar_t* copy_wide(const wchar_t* s) {
    const size_t n = std::wcslen(s) + 1;
    auto* p = static_cast<wchar_t*>(CoTaskMemAlloc(n * sizeof(wchar_t)));
    if (p) std::memcpy(p, s, n * sizeof(wchar_t));
    return p;
}

// Output buffer of the expansion: starts at a given size, doubles when full.
class growing_text {
public:
    bool reserve(size_t size) {
        data_.reset(static_cast<char*>(CoTaskMemAlloc(size)));
        capacity_ = data_ ? size : 0;
        return static_cast<bool>(data_);
    }
    bool append(const char* s, size_t n) {
        while (length_ + n + 1 > capacity_) {
            const size_t bigger = capacity_ * 2;
            if (bigger <= capacity_) return false;
            auto* grown = static_cast<char*>(CoTaskMemRealloc(data_.get(), bigger));
            if (!grown) return false;
            data_.release();  // moved into grown
            data_.reset(grown);
            capacity_ = bigger;
        }
        std::memcpy(data_.get() + length_, s, n);
        length_ += n;
        data_.get()[length_] = '\0';
        return true;
    }
    char* release() { return data_.release(); }

private:
    unique_cotaskmem<char> data_;
    size_t length_ = 0;
    size_t capacity_ = 0;
};

}  // namespace

replacement_map::~replacement_map() {
    for (size_t i = 0; i < count_; ++i) {
        CoTaskMemFree(pairs_[i].name);
        CoTaskMemFree(pairs_[i].value);
    }
    CoTaskMemFree(pairs_);
}

HRESULT replacement_map::add(const wchar_t* name, const wchar_t* value) noexcept {
    RETURN_HR_IF(E_INVALIDARG, !name || !value);
    if (count_ == capacity_) {
        const size_t bigger = capacity_ ? capacity_ * 2 : 10;
        auto* grown = static_cast<pair*>(CoTaskMemRealloc(pairs_, bigger * sizeof(pair)));
        RETURN_IF_NULL_ALLOC(grown);
        pairs_ = grown;
        capacity_ = bigger;
    }
    unique_cotaskmem<wchar_t> n(copy_wide(name));
    unique_cotaskmem<wchar_t> v(copy_wide(value));
    RETURN_HR_IF(E_OUTOFMEMORY, !n || !v);
    pairs_[count_++] = {n.release(), v.release()};
    return S_OK;
}

const wchar_t* replacement_map::find(const char* name, size_t len) const noexcept {
    for (size_t i = 0; i < count_; ++i) {
        char narrow[64];
        const int got = WideCharToMultiByte(CP_ACP, 0, pairs_[i].name, -1, narrow, sizeof narrow,
                                            nullptr, nullptr);
        if (got > 0 && equals_nocase(name, len, narrow)) return pairs_[i].value;
    }
    return nullptr;
}

bool double_single_quotes(const wchar_t* in, wchar_t* out, size_t cap) noexcept {
    if (!out || cap == 0) return false;
    size_t n = 0;
    for (const wchar_t* p = in; p && *p; ++p) {
        const size_t need = (*p == L'\'') ? 2 : 1;
        if (n + need + 1 > cap) {
            out[0] = L'\0';
            return false;
        }
        out[n++] = *p;
        if (need == 2) out[n++] = L'\'';
    }
    out[n] = L'\0';
    return true;
}

HRESULT expand_script(const char* text, const replacement_map& map, char** out) noexcept {
    RETURN_HR_IF(E_POINTER, !out);
    *out = nullptr;
    RETURN_HR_IF(E_INVALIDARG, !text);
    growing_text result;
    const size_t length = std::strlen(text);
    RETURN_HR_IF(E_OUTOFMEMORY, !result.reserve(length * 2 + 2) || !result.append("", 0));

    for (const char* p = text; *p;) {
        if (*p != '%') {
            const char* next = step(p);
            RETURN_HR_IF(E_OUTOFMEMORY, !result.append(p, static_cast<size_t>(next - p)));
            p = next;
            continue;
        }
        if (p[1] == '%') {
            RETURN_HR_IF(E_OUTOFMEMORY, !result.append("%", 1));
            p += 2;
            continue;
        }
        const char* name = p + 1;
        const char* end = std::strchr(name, '%');
        RETURN_HR_IF(DISP_E_EXCEPTION, !end);
        const size_t name_length = static_cast<size_t>(end - name);
        RETURN_HR_IF(E_FAIL, name_length > kMaxReplacementName);
        const wchar_t* value = map.find(name, name_length);
        RETURN_HR_IF(DISP_E_EXCEPTION, !value);
        const int bytes = WideCharToMultiByte(CP_ACP, 0, value, -1, nullptr, 0, nullptr, nullptr);
        RETURN_HR_IF(DISP_E_EXCEPTION, bytes <= 0);
        unique_cotaskmem<char> narrow(static_cast<char*>(CoTaskMemAlloc(static_cast<size_t>(bytes))));
        RETURN_IF_NULL_ALLOC(narrow.get());
        WideCharToMultiByte(CP_ACP, 0, value, -1, narrow.get(), bytes, nullptr, nullptr);
        RETURN_HR_IF(E_OUTOFMEMORY, !result.append(narrow.get(), std::strlen(narrow.get())));
        p = end + 1;
    }
    *out = result.release();
    return S_OK;
}

HRESULT run_script_text(key_store& store, const char* text, bool do_register) noexcept {
    static const system_rules rules;
    return walk_script(store, rules, text, do_register);
}

}  // namespace gn
