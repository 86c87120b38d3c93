// An in-memory key store with the registry's rules (names without case, a key
// with subkeys cannot be deleted, handles stay valid by path), used to run
// the script walks without touching the real registry.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "registration/script_text.h"

namespace gntest {

struct nocase_less {
    bool operator()(const std::string& a, const std::string& b) const {
        return _stricmp(a.c_str(), b.c_str()) < 0;
    }
};

struct fake_value {
    DWORD type = REG_SZ;
    std::vector<BYTE> data;
};

struct fake_node {
    std::map<std::string, fake_node, nocase_less> keys;
    std::map<std::string, fake_value, nocase_less> values;
};

class fake_registry final : public gn::key_store {
public:
    // Names whose creation fails (as with a key the caller may not write).
    std::set<std::string, nocase_less> refuse_create;

    fake_registry() {
        for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS,
                          HKEY_PERFORMANCE_DATA, HKEY_DYN_DATA, HKEY_CURRENT_CONFIG})
            roots_[root];
    }
    ~fake_registry() {
        for (auto* h : live_) delete h;
    }

    int open_handles() const { return static_cast<int>(live_.size()); }

    // Creates the path (backslash-separated) below root with an optional default value.
    fake_node& add(const std::string& path, const char* default_value = nullptr,
                   HKEY root = HKEY_CLASSES_ROOT) {
        fake_node* node = &roots_[root];
        size_t start = 0;
        while (start <= path.size()) {
            size_t end = path.find('\\', start);
            if (end == std::string::npos) end = path.size();
            node = &node->keys[path.substr(start, end - start)];
            start = end + 1;
        }
        if (default_value) set_string(*node, "", default_value);
        return *node;
    }
    static void set_string(fake_node& node, const std::string& name, const std::string& text) {
        fake_value v;
        v.data.assign(text.begin(), text.end());
        v.data.push_back(0);
        node.values[name] = v;
    }
    // The node at path below root, or null.
    const fake_node* find(const std::string& path, HKEY root = HKEY_CLASSES_ROOT) const {
        const fake_node* node = &roots_.at(root);
        size_t start = 0;
        while (node && start <= path.size()) {
            size_t end = path.find('\\', start);
            if (end == std::string::npos) end = path.size();
            auto it = node->keys.find(path.substr(start, end - start));
            node = it == node->keys.end() ? nullptr : &it->second;
            start = end + 1;
        }
        return node;
    }
    bool exists(const std::string& path) const { return find(path) != nullptr; }
    // A string value's text; "<none>" when the key or value is missing.
    std::string text(const std::string& path, const std::string& name = "") const {
        const fake_node* node = find(path);
        if (!node) return "<none>";
        auto it = node->values.find(name);
        if (it == node->values.end()) return "<none>";
        const auto& d = it->second.data;
        return std::string(d.begin(), std::find(d.begin(), d.end(), BYTE(0)));
    }
    const fake_value* value(const std::string& path, const std::string& name) const {
        const fake_node* node = find(path);
        if (!node) return nullptr;
        auto it = node->values.find(name);
        return it == node->values.end() ? nullptr : &it->second;
    }

    // Every key and value below every root, one line each.
    std::string dump() const {
        std::string out;
        for (const auto& r : roots_) dump(r.second, std::to_string(reinterpret_cast<uintptr_t>(r.first)), out);
        return out;
    }

    // key_store
    LONG open(HKEY parent, const char* name, access, HKEY* key) noexcept override {
        handle* p = nullptr;
        fake_node* node = resolve(parent, &p);
        if (!node) return ERROR_INVALID_HANDLE;
        if (!node->keys.count(name)) return ERROR_FILE_NOT_FOUND;
        *key = make(parent, p, node->keys.find(name)->first);
        return ERROR_SUCCESS;
    }
    LONG create(HKEY parent, const char* name, HKEY* key) noexcept override {
        handle* p = nullptr;
        fake_node* node = resolve(parent, &p);
        if (!node) return ERROR_INVALID_HANDLE;
        if (!node->keys.count(name)) {
            if (refuse_create.count(name)) return ERROR_ACCESS_DENIED;
            node->keys[name];
        }
        *key = make(parent, p, node->keys.find(name)->first);
        return ERROR_SUCCESS;
    }
    LONG close(HKEY key) noexcept override {
        auto* h = reinterpret_cast<handle*>(key);
        if (!live_.erase(h)) return ERROR_INVALID_HANDLE;
        delete h;
        return ERROR_SUCCESS;
    }
    LONG delete_key(HKEY parent, const char* name) noexcept override {
        fake_node* node = resolve(parent, nullptr);
        if (!node) return ERROR_INVALID_HANDLE;
        auto it = node->keys.find(name);
        if (it == node->keys.end()) return ERROR_FILE_NOT_FOUND;
        if (!it->second.keys.empty()) return ERROR_ACCESS_DENIED;
        node->keys.erase(it);
        return ERROR_SUCCESS;
    }
    LONG delete_value(HKEY key, const char* name) noexcept override {
        fake_node* node = resolve(key, nullptr);
        if (!node) return ERROR_INVALID_HANDLE;
        return node->values.erase(name ? name : "") ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    }
    LONG set_value(HKEY key, const char* name, DWORD type, const BYTE* data,
                   DWORD size) noexcept override {
        fake_node* node = resolve(key, nullptr);
        if (!node) return ERROR_INVALID_HANDLE;
        fake_value v;
        v.type = type;
        v.data.assign(data, data + size);
        node->values[name ? name : ""] = v;
        return ERROR_SUCCESS;
    }
    LONG enum_key(HKEY key, DWORD index, char* name, DWORD* size) noexcept override {
        return enum_name(resolve(key, nullptr), index, name, size, true);
    }
    LONG enum_value(HKEY key, DWORD index, char* name, DWORD* size) noexcept override {
        return enum_name(resolve(key, nullptr), index, name, size, false);
    }
    LONG query_info(HKEY key, DWORD* subkeys, DWORD* values) noexcept override {
        fake_node* node = resolve(key, nullptr);
        if (!node) return ERROR_INVALID_HANDLE;
        *subkeys = static_cast<DWORD>(node->keys.size());
        *values = static_cast<DWORD>(node->values.size());
        return ERROR_SUCCESS;
    }

private:
    struct handle {
        HKEY root;
        std::vector<std::string> path;
    };

    HKEY make(HKEY parent, handle* p, const std::string& name) {
        auto* h = new handle{p ? p->root : parent, p ? p->path : std::vector<std::string>{}};
        h->path.push_back(name);
        live_.insert(h);
        return reinterpret_cast<HKEY>(h);
    }
    fake_node* resolve(HKEY key, handle** out) {
        if (out) *out = nullptr;
        auto root = roots_.find(key);
        if (root != roots_.end()) return &root->second;
        auto* h = reinterpret_cast<handle*>(key);
        if (!live_.count(h)) return nullptr;
        if (out) *out = h;
        fake_node* node = &roots_[h->root];
        for (const auto& part : h->path) {
            auto it = node->keys.find(part);
            if (it == node->keys.end()) return nullptr;
            node = &it->second;
        }
        return node;
    }
    static LONG enum_name(fake_node* node, DWORD index, char* name, DWORD* size, bool keys) {
        if (!node) return ERROR_INVALID_HANDLE;
        std::vector<std::string> names;
        if (keys) for (const auto& k : node->keys) names.push_back(k.first);
        else for (const auto& v : node->values) names.push_back(v.first);
        if (index >= names.size()) return ERROR_NO_MORE_ITEMS;
        const std::string& n = names[index];
        if (n.size() + 1 > *size) return ERROR_MORE_DATA;
        std::memcpy(name, n.c_str(), n.size() + 1);
        *size = static_cast<DWORD>(n.size());
        return ERROR_SUCCESS;
    }
    static void dump(const fake_node& node, const std::string& path, std::string& out) {
        out += path + "\n";
        for (const auto& v : node.values) {
            out += path + " [" + v.first + "] " + std::to_string(v.second.type) + ":";
            for (BYTE b : v.second.data) out += std::to_string(b) + ",";
            out += "\n";
        }
        for (const auto& k : node.keys) dump(k.second, path + "\\" + k.first, out);
    }

    std::map<HKEY, fake_node> roots_;
    std::set<handle*> live_;
};

}  // namespace gntest
