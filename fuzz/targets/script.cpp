// The registry script engine's text side: any script text, walked in both
// directions against a registry kept in memory that checks every handle.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <string>

#include "registration/script_walk_text.h"

namespace {

struct node {
    std::map<std::string, node*> keys;  // names lower-cased: the registry ignores case
    std::map<std::string, std::string> values;
};

std::string folded(const char* name) {
    std::string s = name ? name : "";
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

class memory_store final : public gn::key_store {
public:
    memory_store() {
        for (std::uint32_t code = 0x80000000; code <= 0x80000006; ++code)
            handles_[root(code)] = &nodes_.emplace_back();
    }
    static gn::reg_key root(std::uint32_t code) {
        return reinterpret_cast<gn::reg_key>(
            static_cast<std::intptr_t>(static_cast<std::int32_t>(code)));
    }
    bool roots_only() const { return handles_.size() == 7; }

    long open(gn::reg_key parent, const char* name, access, gn::reg_key* key) noexcept override {
        node* p = find(parent);
        if (!p || !key) return 6;
        if (!name || !*name) return hand_out(p, key);
        const auto it = p->keys.find(folded(name));
        if (it == p->keys.end()) return 2;
        return hand_out(it->second, key);
    }
    long create(gn::reg_key parent, const char* name, gn::reg_key* key) noexcept override {
        node* p = find(parent);
        if (!p || !key) return 6;
        if (!name || !*name) return hand_out(p, key);
        node*& child = p->keys[folded(name)];
        if (!child) child = &nodes_.emplace_back();
        return hand_out(child, key);
    }
    long close(gn::reg_key key) noexcept override {
        for (std::uint32_t code = 0x80000000; code <= 0x80000006; ++code)
            if (key == root(code)) return 0;  // a root: nothing to close
        if (!handles_.erase(key)) __builtin_trap();  // never handed out, or closed twice
        return 0;
    }
    long delete_key(gn::reg_key parent, const char* name) noexcept override {
        node* p = find(parent);
        if (!p) return 6;
        const auto it = p->keys.find(folded(name));
        if (it == p->keys.end()) return 2;
        if (!it->second->keys.empty()) return 5;
        p->keys.erase(it);
        return 0;
    }
    long delete_value(gn::reg_key key, const char* name) noexcept override {
        node* p = find(key);
        if (!p) return 6;
        return p->values.erase(folded(name)) ? 0 : 2;
    }
    long set_value(gn::reg_key key, const char* name, unsigned long, const unsigned char* data,
                   unsigned long size) noexcept override {
        node* p = find(key);
        if (!p) return 6;
        if (size && !data) __builtin_trap();
        p->values[folded(name)].assign(reinterpret_cast<const char*>(data), size);
        return 0;
    }
    long enum_key(gn::reg_key key, unsigned long index, char* name, unsigned long* size) noexcept override {
        node* p = find(key);
        return p ? nth_name(p->keys, index, name, size) : 6;
    }
    long enum_value(gn::reg_key key, unsigned long index, char* name, unsigned long* size) noexcept override {
        node* p = find(key);
        return p ? nth_name(p->values, index, name, size) : 6;
    }
    // The name of the index-th entry of a key's map, or 259 (no more items).
    template <class Map>
    static long nth_name(const Map& map, unsigned long index, char* name, unsigned long* size) noexcept {
        auto it = map.begin();
        for (unsigned long i = 0; i < index && it != map.end(); ++i) ++it;
        return it == map.end() ? 259 : copy_name(it->first, name, size);
    }
    long query_info(gn::reg_key key, unsigned long* subkeys, unsigned long* values) noexcept override {
        node* p = find(key);
        if (!p) return 6;
        if (subkeys) *subkeys = static_cast<unsigned long>(p->keys.size());
        if (values) *values = static_cast<unsigned long>(p->values.size());
        return 0;
    }

private:
    node* find(gn::reg_key key) {
        const auto it = handles_.find(key);
        return it == handles_.end() ? nullptr : it->second;
    }
    long hand_out(node* n, gn::reg_key* key) {
        *key = reinterpret_cast<gn::reg_key>(next_ += 16);
        handles_[*key] = n;
        return 0;
    }
    static long copy_name(const std::string& s, char* name, unsigned long* size) {
        if (!name || !size) __builtin_trap();
        if (s.size() + 1 > *size) return 234;
        std::memcpy(name, s.c_str(), s.size() + 1);
        *size = static_cast<unsigned long>(s.size());
        return 0;
    }

    std::deque<node> nodes_;
    std::map<gn::reg_key, node*> handles_;
    std::uintptr_t next_ = 0x10000;
};

// Single-byte text, or a double-byte code page whose lead bytes are 0x81-0xFE.
class test_rules final : public gn::script_text_rules {
public:
    explicit test_rules(bool double_byte) : double_byte_(double_byte) {}
    const char* next_char(const char* p) const noexcept override {
        const unsigned char c = static_cast<unsigned char>(*p);
        return (double_byte_ && c >= 0x81 && c <= 0xFE && p[1]) ? p + 2 : p + 1;
    }
    bool parse_number(const char* text, unsigned long* value) const noexcept override {
        unsigned long long v = 0;
        if (!*text) return false;
        for (const char* p = text; *p; ++p) {
            if (*p < '0' || *p > '9') return false;
            v = v * 10 + static_cast<unsigned>(*p - '0');
            if (v > 0xFFFFFFFFull) return false;
        }
        *value = static_cast<unsigned long>(v);
        return true;
    }

private:
    bool double_byte_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > 65536) return 0;
    const test_rules rules(data[0] & 1);
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    memory_store store;
    (void)gn::walk_script(store, rules, text.c_str(), true);
    (void)gn::walk_script(store, rules, text.c_str(), false);
    gn::own_view_store view(store);
    (void)gn::walk_script(view, rules, text.c_str(), true);
    // Every key the walks opened is closed again.
    if (!store.roots_only()) __builtin_trap();
    (void)gn::root_key_for(text.c_str());
    return 0;
}
