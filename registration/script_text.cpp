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

constexpr size_t kTokenSize = 4096;      // current token and value text buffers
constexpr size_t kMaxTokenLength = 4094; // longer tokens are a syntax error
constexpr size_t kNameSize = 260;        // value names after "Val", remembered key names
constexpr size_t kMaxReplacementName = 31;
constexpr int kMaxDepth = 512;           // the registry's own nesting limit

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// One character forward in the system code page; a lead byte before the end
// of the text is never taken with the terminator.
const char* step(const char* p) {
    const char* next = CharNextA(p);
    if (next <= p) next = p + 1;
    if (next > p + 1 && p[1] == '\0') next = p + 1;
    return next;
}

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equals_nocase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (ascii_lower(*a) != ascii_lower(*b)) return false;
    return *a == *b;
}

bool equals_nocase(const char* a, size_t alen, const char* b) {
    const size_t blen = std::strlen(b);
    if (alen != blen) return false;
    for (size_t i = 0; i < alen; ++i)
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    return true;
}

bool contains_backslash(const char* s) {
    for (const char* p = s; *p; p = step(p))
        if (*p == '\\') return true;
    return false;
}

bool is_protected(const char* name) {
    return equals_nocase(name, "CLSID") || equals_nocase(name, "TYPELIB");
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}

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

// A key handle of the key store, closed when the holder goes.
class store_key {
public:
    explicit store_key(key_store& store) : store_(store) {}
    ~store_key() { close(); }
    store_key(const store_key&) = delete;
    store_key& operator=(const store_key&) = delete;
    HKEY* put() { close(); return &key_; }
    HKEY get() const { return key_; }
    LONG close() {
        LONG rc = ERROR_SUCCESS;
        if (key_) rc = store_.close(key_);
        key_ = nullptr;
        return rc;
    }

private:
    key_store& store_;
    HKEY key_ = nullptr;
};

// Parser and walker over one expanded script. The parse position and the
// current token are shared by every level of the walk.
class script_walker {
public:
    script_walker(key_store& store, const char* text) : store_(store), pos_(text) {}
    HRESULT run(bool do_register);

private:
    HRESULT next_token();
    bool token_is(const char* s) const { return std::strcmp(tok_, s) == 0; }
    bool keyword_is(const char* s) const { return equals_nocase(tok_, s); }
    void skip_space() { while (is_space(*pos_)) ++pos_; }
    HRESULT check_item() const;
    HRESULT check_key_name() const;
    HRESULT read_value_name(char (&name)[kNameSize]);
    HRESULT read_assignment();
    HRESULT write_value(HKEY key, const char* name);
    HRESULT walk_register(HKEY parent, int depth);
    HRESULT walk_unregister(HKEY parent, bool recover, int depth);
    HRESULT unregister_key_rest(HKEY key, bool recover, bool block_allowed, int depth);
    bool has_subkeys(HKEY key);
    bool has_named_values(HKEY key);

    key_store& store_;
    const char* pos_;
    char tok_[kTokenSize] = {};
    char value_[kTokenSize] = {};
    BYTE data_[kTokenSize] = {};
    DWORD data_type_ = REG_SZ;
    DWORD data_size_ = 0;
    char scratch_[kTokenSize] = {};
};

HRESULT script_walker::next_token() {
    skip_space();
    RETURN_HR_IF(DISP_E_EXCEPTION, !*pos_);
    size_t n = 0;
    auto append = [&](const char* from, size_t count) {
        if (n + count > kMaxTokenLength) return false;
        std::memcpy(tok_ + n, from, count);
        n += count;
        return true;
    };
    if (*pos_ == '\'') {
        ++pos_;
        for (;;) {
            RETURN_HR_IF(DISP_E_EXCEPTION, !*pos_);
            if (*pos_ == '\'') {
                if (pos_[1] != '\'') {
                    ++pos_;
                    break;
                }
                RETURN_HR_IF(DISP_E_EXCEPTION, !append(pos_, 1));
                pos_ += 2;
                continue;
            }
            const char* next = step(pos_);
            RETURN_HR_IF(DISP_E_EXCEPTION, !append(pos_, static_cast<size_t>(next - pos_)));
            pos_ = next;
        }
    } else {
        while (*pos_ && !is_space(*pos_)) {
            const char* next = step(pos_);
            RETURN_HR_IF(DISP_E_EXCEPTION, !append(pos_, static_cast<size_t>(next - pos_)));
            pos_ = next;
        }
    }
    tok_[n] = '\0';
    return S_OK;
}

// A lone "{" or "=" where an item should start is outside the grammar (a block
// after "Delete" or a value line, an assignment after a block).
HRESULT script_walker::check_item() const {
    return (token_is("{") || token_is("=")) ? DISP_E_EXCEPTION : S_OK;
}

// One key level per name: no backslash, and never empty (an empty name would
// stand for the parent key itself).
HRESULT script_walker::check_key_name() const {
    return (!tok_[0] || contains_backslash(tok_)) ? DISP_E_EXCEPTION : S_OK;
}

HRESULT script_walker::read_value_name(char (&name)[kNameSize]) {
    RETURN_IF_FAILED(next_token());
    const size_t n = std::strlen(tok_);
    RETURN_HR_IF(DISP_E_EXCEPTION, n >= kNameSize);
    std::memcpy(name, tok_, n + 1);
    RETURN_IF_FAILED(next_token());
    RETURN_HR_IF(DISP_E_EXCEPTION, !token_is("="));
    return S_OK;
}

// After "=": the type letter and the value text, turned into registry data in
// data_. Leaves the token after the value in tok_.
HRESULT script_walker::read_assignment() {
    RETURN_IF_FAILED(next_token());
    DWORD type;
    if (equals_nocase(tok_, "S")) type = REG_SZ;
    else if (equals_nocase(tok_, "D")) type = REG_DWORD;
    else if (equals_nocase(tok_, "B")) type = REG_BINARY;
    else return DISP_E_EXCEPTION;
    RETURN_IF_FAILED(next_token());
    const size_t n = std::strlen(tok_);
    std::memcpy(value_, tok_, n + 1);

    data_type_ = type;
    if (type == REG_SZ) {
        std::memcpy(data_, value_, n + 1);
        data_size_ = static_cast<DWORD>(n + 1);
    } else if (type == REG_DWORD) {
        // A text that is not a 32-bit unsigned number is a syntax error.
        wchar_t wide[kTokenSize];
        RETURN_HR_IF(DISP_E_EXCEPTION, !MultiByteToWideChar(CP_ACP, 0, value_, -1, wide,
                                                             static_cast<int>(kTokenSize)));
        ULONG number = 0;
        RETURN_HR_IF(DISP_E_EXCEPTION, FAILED(VarUI4FromStr(wide, 0, 0, &number)));
        std::memcpy(data_, &number, sizeof number);
        data_size_ = sizeof number;
    } else {
        RETURN_HR_IF(E_FAIL, n % 2);
        for (size_t i = 0; i < n; i += 2)
            data_[i / 2] = static_cast<BYTE>(hex_digit(value_[i]) * 16 + hex_digit(value_[i + 1]));
        data_size_ = static_cast<DWORD>(n / 2);
    }
    return next_token();
}

HRESULT script_walker::write_value(HKEY key, const char* name) {
    RETURN_IF_FAILED(read_assignment());
    store_.set_value(key, name, data_type_, data_, data_size_);  // a failed write is not reported
    return S_OK;
}

bool script_walker::has_subkeys(HKEY key) {
    DWORD subkeys = 0, values = 0;
    if (store_.query_info(key, &subkeys, &values) != ERROR_SUCCESS) return false;
    return subkeys > 0;
}

bool script_walker::has_named_values(HKEY key) {
    DWORD subkeys = 0, values = 0;
    if (store_.query_info(key, &subkeys, &values) != ERROR_SUCCESS) return false;
    if (values >= 2) return true;
    if (values == 0) return false;
    DWORD size = kTokenSize;
    scratch_[0] = '\0';
    if (store_.enum_value(key, 0, scratch_, &size) != ERROR_SUCCESS) return false;
    return scratch_[0] != '\0';
}

HRESULT script_walker::walk_register(HKEY parent, int depth) {
    RETURN_HR_IF(DISP_E_EXCEPTION, depth > kMaxDepth);
    RETURN_IF_FAILED(next_token());
    while (!token_is("}")) {
        RETURN_IF_FAILED(check_item());
        if (keyword_is("ForceRemove") || keyword_is("Delete")) {
            const bool only_delete = keyword_is("Delete");
            RETURN_IF_FAILED(next_token());
            RETURN_IF_FAILED(check_key_name());
            if (!is_protected(tok_)) delete_subtree(store_, parent, tok_);  // failures ignored
            if (only_delete) {
                RETURN_IF_FAILED(next_token());
                if (token_is("=")) RETURN_IF_FAILED(read_assignment());
                continue;
            }
        } else if (keyword_is("NoRemove")) {
            RETURN_IF_FAILED(next_token());
        } else if (keyword_is("Val")) {
            char name[kNameSize];
            RETURN_IF_FAILED(read_value_name(name));
            RETURN_IF_FAILED(write_value(parent, name));
            continue;
        }

        RETURN_IF_FAILED(check_key_name());
        store_key key(store_);
        const bool opened =
            store_.open(parent, tok_, key_store::access::all, key.put()) == ERROR_SUCCESS ||
            store_.open(parent, tok_, key_store::access::read, key.put()) == ERROR_SUCCESS ||
            store_.create(parent, tok_, key.put()) == ERROR_SUCCESS;
        RETURN_HR_IF(DISP_E_EXCEPTION, !opened);
        RETURN_IF_FAILED(next_token());
        if (token_is("=")) RETURN_IF_FAILED(write_value(key.get(), nullptr));
        if (token_is("{")) {
            RETURN_IF_FAILED(walk_register(key.get(), depth + 1));
            RETURN_IF_FAILED(next_token());
        }
    }
    return S_OK;
}

// The rest of a key line: an optional assignment, then an optional block
// walked below key (only parsed with recover set).
HRESULT script_walker::unregister_key_rest(HKEY key, bool recover, bool block_allowed,
                                           int depth) {
    RETURN_IF_FAILED(next_token());
    if (token_is("=")) RETURN_IF_FAILED(read_assignment());
    if (token_is("{")) {
        RETURN_HR_IF(DISP_E_EXCEPTION, !block_allowed);
        RETURN_IF_FAILED(walk_unregister(key, recover, depth + 1));
        RETURN_IF_FAILED(next_token());
    }
    return S_OK;
}

// With recover set the block is only parsed: nothing is opened or deleted.
HRESULT script_walker::walk_unregister(HKEY parent, bool recover, int depth) {
    RETURN_HR_IF(DISP_E_EXCEPTION, depth > kMaxDepth);
    bool deletion_allowed = true;
    RETURN_IF_FAILED(next_token());
    while (!token_is("}")) {
        RETURN_IF_FAILED(check_item());
        // A "Delete" line has no block.
        const bool block_allowed = !keyword_is("Delete");
        if (keyword_is("ForceRemove") || keyword_is("Delete")) {
            RETURN_IF_FAILED(next_token());
        } else if (keyword_is("NoRemove")) {
            deletion_allowed = false;
            RETURN_IF_FAILED(next_token());
        } else if (keyword_is("Val")) {
            char name[kNameSize];
            RETURN_IF_FAILED(read_value_name(name));
            if (!recover) store_.delete_value(parent, name);  // failure ignored
            RETURN_IF_FAILED(read_assignment());
            continue;
        }

        RETURN_IF_FAILED(check_key_name());
        // A key that cannot be opened is only parsed, with its block; the
        // following lines of this block are walked normally again.
        bool skip = recover;
        char name[kNameSize] = {};
        const size_t n = std::strlen(tok_);
        if (n >= kNameSize) skip = true;  // longer than any registry key name
        else std::memcpy(name, tok_, n + 1);
        store_key key(store_);
        if (!skip && store_.open(parent, name, key_store::access::read, key.put()) != ERROR_SUCCESS)
            skip = true;

        if (!skip && !has_subkeys(key.get()) && !has_named_values(key.get())) {
            RETURN_HR_IF(DISP_E_EXCEPTION, key.close() != ERROR_SUCCESS);
            if (deletion_allowed) store_.delete_key(parent, name);  // failure ignored
            RETURN_IF_FAILED(unregister_key_rest(nullptr, true, block_allowed, depth));
            continue;
        }

        RETURN_IF_FAILED(unregister_key_rest(key.get(), skip, block_allowed, depth));
        if (!skip && !has_subkeys(key.get())) {
            RETURN_HR_IF(DISP_E_EXCEPTION, key.close() != ERROR_SUCCESS);
            if (deletion_allowed) store_.delete_key(parent, name);  // failure ignored
        }
    }
    return S_OK;
}

HRESULT script_walker::run(bool do_register) {
    for (;;) {
        skip_space();
        if (!*pos_) return S_OK;
        RETURN_IF_FAILED(next_token());
        const HKEY root = root_key_for(tok_);
        RETURN_HR_IF(DISP_E_EXCEPTION, !root);
        RETURN_IF_FAILED(next_token());
        RETURN_HR_IF(DISP_E_EXCEPTION, tok_[0] != '{');

        // Parse the whole block before touching the registry.
        const char* block = pos_;
        RETURN_IF_FAILED(walk_unregister(nullptr, true, 0));

        pos_ = block;
        if (do_register) {
            const HRESULT hr = walk_register(root, 0);
            if (FAILED(hr)) {
                pos_ = block;
                walk_unregister(root, false, 0);
                return hr;
            }
        } else {
            RETURN_IF_FAILED(walk_unregister(root, false, 0));
        }
    }
}

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

HKEY root_key_for(const char* name) noexcept {
    static const struct {
        const char* short_name;
        const char* long_name;
        HKEY key;
    } roots[] = {
        {"HKCR", "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
        {"HKCU", "HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {"HKLM", "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {"HKU", "HKEY_USERS", HKEY_USERS},
        {"HKPD", "HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
        {"HKDD", "HKEY_DYN_DATA", HKEY_DYN_DATA},
        {"HKCC", "HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
    };
    if (!name) return nullptr;
    for (const auto& r : roots)
        if (equals_nocase(name, r.short_name) || equals_nocase(name, r.long_name)) return r.key;
    return nullptr;
}

LONG delete_subtree(key_store& store, HKEY parent, const char* name) noexcept {
    HKEY key = nullptr;
    LONG rc = store.open(parent, name, key_store::access::read_write, &key);
    if (rc != ERROR_SUCCESS) return rc;
    for (;;) {
        char child[256];
        DWORD size = sizeof child;
        if (store.enum_key(key, 0, child, &size) != ERROR_SUCCESS) break;
        rc = delete_subtree(store, key, child);
        if (rc != ERROR_SUCCESS) {
            store.close(key);
            return rc;
        }
    }
    store.close(key);
    return store.delete_key(parent, name);
}

HRESULT run_script_text(key_store& store, const char* text, bool do_register) noexcept {
    RETURN_HR_IF(E_INVALIDARG, !text);
    // The walker's buffers are large: keep them off the stack.
    std::unique_ptr<script_walker> walker(new (std::nothrow) script_walker(store, text));
    RETURN_IF_NULL_ALLOC(walker);
    return walker->run(do_register);
}

namespace {

bool is_root(HKEY key) noexcept {
    for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS,
                      HKEY_PERFORMANCE_DATA, HKEY_DYN_DATA, HKEY_CURRENT_CONFIG})
        if (key == root) return true;
    return false;
}

// Below the roots only HKCR\CLSID leads on; keys opened from there are the view's own.
bool reachable(HKEY parent, const char* name) noexcept {
    if (parent == HKEY_CLASSES_ROOT) return name && lstrcmpiA(name, "CLSID") == 0;
    return !is_root(parent);
}

}  // namespace

LONG own_view_store::open(HKEY parent, const char* name, access how, HKEY* key) noexcept {
    if (!reachable(parent, name)) return ERROR_FILE_NOT_FOUND;
    return inner_.open(parent, name, how, key);
}

LONG own_view_store::create(HKEY parent, const char* name, HKEY* key) noexcept {
    if (!reachable(parent, name)) return ERROR_ACCESS_DENIED;
    return inner_.create(parent, name, key);
}

LONG own_view_store::delete_key(HKEY parent, const char* name) noexcept {
    if (!reachable(parent, name)) return ERROR_ACCESS_DENIED;
    return inner_.delete_key(parent, name);
}

LONG own_view_store::delete_value(HKEY key, const char* name) noexcept {
    if (is_root(key)) return ERROR_ACCESS_DENIED;
    return inner_.delete_value(key, name);
}

LONG own_view_store::set_value(HKEY key, const char* name, DWORD type, const BYTE* data,
                               DWORD size) noexcept {
    if (is_root(key)) return ERROR_ACCESS_DENIED;
    return inner_.set_value(key, name, type, data, size);
}

}  // namespace gn
