#include "registration/script_walk_text.h"

#include <cstring>
#include <memory>
#include <new>

#include "frame/result.h"

namespace gn {

namespace {

constexpr size_t kTokenSize = 4096;      // current token and value text buffers
constexpr size_t kMaxTokenLength = 4094; // longer tokens are a syntax error
constexpr size_t kNameSize = 260;        // value names after "Val", remembered key names
constexpr int kMaxDepth = 512;           // the registry's own nesting limit

// The platform's handle of a predefined root key: its 32-bit code widened
// with its sign, as the platform headers define HKEY_CLASSES_ROOT and the rest.
reg_key predefined_key(std::uint32_t code) noexcept {
    return reinterpret_cast<reg_key>(static_cast<std::intptr_t>(static_cast<std::int32_t>(code)));
}

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equals_nocase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (ascii_lower(*a) != ascii_lower(*b)) return false;
    return *a == *b;
}

bool contains_backslash(const script_text_rules& rules, const char* s) {
    for (const char* p = s; *p; p = rules.next_char(p))
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

// A key handle of the key store, closed when the holder goes.
class store_key {
public:
    explicit store_key(key_store& store) : store_(store) {}
    ~store_key() { close(); }
    store_key(const store_key&) = delete;
    store_key& operator=(const store_key&) = delete;
    reg_key* put() { close(); return &key_; }
    reg_key get() const { return key_; }
    long close() {
        long rc = kErrorSuccess;
        if (key_) rc = store_.close(key_);
        key_ = nullptr;
        return rc;
    }

private:
    key_store& store_;
    reg_key key_ = nullptr;
};

// Parser and walker over one expanded script. The parse position and the
// current token are shared by every level of the walk.
class script_walker {
public:
    script_walker(key_store& store, const script_text_rules& rules, const char* text)
        : store_(store), rules_(rules), pos_(text) {}
    long run(bool do_register);

private:
    long next_token();
    bool token_is(const char* s) const { return std::strcmp(tok_, s) == 0; }
    bool keyword_is(const char* s) const { return equals_nocase(tok_, s); }
    void skip_space() { while (is_space(*pos_)) ++pos_; }
    long check_item() const;
    long check_key_name() const;
    long read_value_name(char (&name)[kNameSize]);
    long read_assignment();
    long write_value(reg_key key, const char* name);
    long walk_register(reg_key parent, int depth);
    long walk_unregister(reg_key parent, bool recover, int depth);
    long unregister_key_rest(reg_key key, bool recover, bool block_allowed, int depth);
    bool has_subkeys(reg_key key);
    bool has_named_values(reg_key key);

    key_store& store_;
    const script_text_rules& rules_;
    const char* pos_;
    char tok_[kTokenSize] = {};
    char value_[kTokenSize] = {};
    unsigned char data_[kTokenSize] = {};
    unsigned long data_type_ = kRegString;
    unsigned long data_size_ = 0;
    char scratch_[kTokenSize] = {};
};

long script_walker::next_token() {
    skip_space();
    RETURN_HR_IF(kScriptSyntaxError, !*pos_);
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
            RETURN_HR_IF(kScriptSyntaxError, !*pos_);
            if (*pos_ == '\'') {
                if (pos_[1] != '\'') {
                    ++pos_;
                    break;
                }
                RETURN_HR_IF(kScriptSyntaxError, !append(pos_, 1));
                pos_ += 2;
                continue;
            }
            const char* next = rules_.next_char(pos_);
            RETURN_HR_IF(kScriptSyntaxError, !append(pos_, static_cast<size_t>(next - pos_)));
            pos_ = next;
        }
    } else {
        while (*pos_ && !is_space(*pos_)) {
            const char* next = rules_.next_char(pos_);
            RETURN_HR_IF(kScriptSyntaxError, !append(pos_, static_cast<size_t>(next - pos_)));
            pos_ = next;
        }
    }
    tok_[n] = '\0';
    return kScriptOk;
}

// A lone "{" or "=" where an item should start is outside the grammar (a block
// after "Delete" or a value line, an assignment after a block).
long script_walker::check_item() const {
    return (token_is("{") || token_is("=")) ? kScriptSyntaxError : kScriptOk;
}

// One key level per name: no backslash, and never empty (an empty name would
// stand for the parent key itself).
long script_walker::check_key_name() const {
    return (!tok_[0] || contains_backslash(rules_, tok_)) ? kScriptSyntaxError : kScriptOk;
}

long script_walker::read_value_name(char (&name)[kNameSize]) {
    RETURN_IF_FAILED(next_token());
    const size_t n = std::strlen(tok_);
    RETURN_HR_IF(kScriptSyntaxError, n >= kNameSize);
    std::memcpy(name, tok_, n + 1);
    RETURN_IF_FAILED(next_token());
    RETURN_HR_IF(kScriptSyntaxError, !token_is("="));
    return kScriptOk;
}

// After "=": the type letter and the value text, turned into registry data in
// data_. Leaves the token after the value in tok_.
long script_walker::read_assignment() {
    RETURN_IF_FAILED(next_token());
    unsigned long type;
    if (equals_nocase(tok_, "S")) type = kRegString;
    else if (equals_nocase(tok_, "D")) type = kRegNumber;
    else if (equals_nocase(tok_, "B")) type = kRegBinary;
    else return kScriptSyntaxError;
    RETURN_IF_FAILED(next_token());
    const size_t n = std::strlen(tok_);
    std::memcpy(value_, tok_, n + 1);

    data_type_ = type;
    if (type == kRegString) {
        std::memcpy(data_, value_, n + 1);
        data_size_ = static_cast<unsigned long>(n + 1);
    } else if (type == kRegNumber) {
        // A text that is not a 32-bit unsigned number is a syntax error.
        unsigned long number = 0;
        RETURN_HR_IF(kScriptSyntaxError,
                     !rules_.parse_number(value_, &number) || number > 0xFFFFFFFFul);
        const std::uint32_t word = static_cast<std::uint32_t>(number);
        std::memcpy(data_, &word, sizeof word);
        data_size_ = sizeof word;
    } else {
        RETURN_HR_IF(kScriptFailed, n % 2);
        for (size_t i = 0; i < n; i += 2)
            data_[i / 2] = static_cast<unsigned char>(hex_digit(value_[i]) * 16 + hex_digit(value_[i + 1]));
        data_size_ = static_cast<unsigned long>(n / 2);
    }
    return next_token();
}

long script_walker::write_value(reg_key key, const char* name) {
    RETURN_IF_FAILED(read_assignment());
    store_.set_value(key, name, data_type_, data_, data_size_);  // a failed write is not reported
    return kScriptOk;
}

bool script_walker::has_subkeys(reg_key key) {
    unsigned long subkeys = 0, values = 0;
    if (store_.query_info(key, &subkeys, &values) != kErrorSuccess) return false;
    return subkeys > 0;
}

bool script_walker::has_named_values(reg_key key) {
    unsigned long subkeys = 0, values = 0;
    if (store_.query_info(key, &subkeys, &values) != kErrorSuccess) return false;
    if (values >= 2) return true;
    if (values == 0) return false;
    unsigned long size = kTokenSize;
    scratch_[0] = '\0';
    if (store_.enum_value(key, 0, scratch_, &size) != kErrorSuccess) return false;
    return scratch_[0] != '\0';
}

long script_walker::walk_register(reg_key parent, int depth) {
    RETURN_HR_IF(kScriptSyntaxError, depth > kMaxDepth);
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
            store_.open(parent, tok_, key_store::access::all, key.put()) == kErrorSuccess ||
            store_.open(parent, tok_, key_store::access::read, key.put()) == kErrorSuccess ||
            store_.create(parent, tok_, key.put()) == kErrorSuccess;
        RETURN_HR_IF(kScriptSyntaxError, !opened);
        RETURN_IF_FAILED(next_token());
        if (token_is("=")) RETURN_IF_FAILED(write_value(key.get(), nullptr));
        if (token_is("{")) {
            RETURN_IF_FAILED(walk_register(key.get(), depth + 1));
            RETURN_IF_FAILED(next_token());
        }
    }
    return kScriptOk;
}

// The rest of a key line: an optional assignment, then an optional block
// walked below key (only parsed with recover set).
long script_walker::unregister_key_rest(reg_key key, bool recover, bool block_allowed,
                                           int depth) {
    RETURN_IF_FAILED(next_token());
    if (token_is("=")) RETURN_IF_FAILED(read_assignment());
    if (token_is("{")) {
        RETURN_HR_IF(kScriptSyntaxError, !block_allowed);
        RETURN_IF_FAILED(walk_unregister(key, recover, depth + 1));
        RETURN_IF_FAILED(next_token());
    }
    return kScriptOk;
}

// With recover set the block is only parsed: nothing is opened or deleted.
long script_walker::walk_unregister(reg_key parent, bool recover, int depth) {
    RETURN_HR_IF(kScriptSyntaxError, depth > kMaxDepth);
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
        if (!skip && store_.open(parent, name, key_store::access::read, key.put()) != kErrorSuccess)
            skip = true;

        if (!skip && !has_subkeys(key.get()) && !has_named_values(key.get())) {
            RETURN_HR_IF(kScriptSyntaxError, key.close() != kErrorSuccess);
            if (deletion_allowed) store_.delete_key(parent, name);  // failure ignored
            RETURN_IF_FAILED(unregister_key_rest(nullptr, true, block_allowed, depth));
            continue;
        }

        RETURN_IF_FAILED(unregister_key_rest(key.get(), skip, block_allowed, depth));
        if (!skip && !has_subkeys(key.get())) {
            RETURN_HR_IF(kScriptSyntaxError, key.close() != kErrorSuccess);
            if (deletion_allowed) store_.delete_key(parent, name);  // failure ignored
        }
    }
    return kScriptOk;
}

long script_walker::run(bool do_register) {
    for (;;) {
        skip_space();
        if (!*pos_) return kScriptOk;
        RETURN_IF_FAILED(next_token());
        const reg_key root = root_key_for(tok_);
        RETURN_HR_IF(kScriptSyntaxError, !root);
        RETURN_IF_FAILED(next_token());
        RETURN_HR_IF(kScriptSyntaxError, tok_[0] != '{');

        // Parse the whole block before touching the registry.
        const char* block = pos_;
        RETURN_IF_FAILED(walk_unregister(nullptr, true, 0));

        pos_ = block;
        if (do_register) {
            const long hr = walk_register(root, 0);
            if (hr < 0) {
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

reg_key root_key_for(const char* name) noexcept {
    static const struct {
        const char* short_name;
        const char* long_name;
        std::uint32_t code;
    } roots[] = {
        {"HKCR", "HKEY_CLASSES_ROOT", 0x80000000},
        {"HKCU", "HKEY_CURRENT_USER", 0x80000001},
        {"HKLM", "HKEY_LOCAL_MACHINE", 0x80000002},
        {"HKU", "HKEY_USERS", 0x80000003},
        {"HKPD", "HKEY_PERFORMANCE_DATA", 0x80000004},
        {"HKDD", "HKEY_DYN_DATA", 0x80000006},
        {"HKCC", "HKEY_CURRENT_CONFIG", 0x80000005},
    };
    if (!name) return nullptr;
    for (const auto& r : roots)
        if (equals_nocase(name, r.short_name) || equals_nocase(name, r.long_name))
            return predefined_key(r.code);
    return nullptr;
}

long delete_subtree(key_store& store, reg_key parent, const char* name) noexcept {
    reg_key key = nullptr;
    long rc = store.open(parent, name, key_store::access::read_write, &key);
    if (rc != kErrorSuccess) return rc;
    for (;;) {
        char child[256];
        unsigned long size = sizeof child;
        if (store.enum_key(key, 0, child, &size) != kErrorSuccess) break;
        rc = delete_subtree(store, key, child);
        if (rc != kErrorSuccess) {
            store.close(key);
            return rc;
        }
    }
    store.close(key);
    return store.delete_key(parent, name);
}

long walk_script(key_store& store, const script_text_rules& rules, const char* text,
                 bool do_register) noexcept {
    RETURN_HR_IF(kScriptInvalidArg, !text);
    // The walker's buffers are large: keep them off the stack.
    std::unique_ptr<script_walker> walker(new (std::nothrow) script_walker(store, rules, text));
    RETURN_HR_IF(kScriptOutOfMemory, !walker);
    return walker->run(do_register);
}

namespace {

bool is_root(reg_key key) noexcept {
    for (std::uint32_t code = 0x80000000; code <= 0x80000006; ++code)
        if (key == predefined_key(code)) return true;
    return false;
}

// Below the roots only HKCR\CLSID leads on; keys opened from there are the view's own.
bool reachable(reg_key parent, const char* name) noexcept {
    if (parent == predefined_key(0x80000000)) return name && equals_nocase(name, "CLSID");
    return !is_root(parent);
}

}  // namespace

long own_view_store::open(reg_key parent, const char* name, access how, reg_key* key) noexcept {
    if (!reachable(parent, name)) return kErrorFileNotFound;
    return inner_.open(parent, name, how, key);
}

long own_view_store::create(reg_key parent, const char* name, reg_key* key) noexcept {
    if (!reachable(parent, name)) return kErrorAccessDenied;
    return inner_.create(parent, name, key);
}

long own_view_store::delete_key(reg_key parent, const char* name) noexcept {
    if (!reachable(parent, name)) return kErrorAccessDenied;
    return inner_.delete_key(parent, name);
}

long own_view_store::delete_value(reg_key key, const char* name) noexcept {
    if (is_root(key)) return kErrorAccessDenied;
    return inner_.delete_value(key, name);
}

long own_view_store::set_value(reg_key key, const char* name, unsigned long type, const unsigned char* data,
                               unsigned long size) noexcept {
    if (is_root(key)) return kErrorAccessDenied;
    return inner_.set_value(key, name, type, data, size);
}

}  // namespace gn
