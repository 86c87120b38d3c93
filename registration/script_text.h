// Registry scripts: replacement expansion, tokens and the two walks (register,
// unregister). The walks reach the registry only through the small key-store
// interface below, so this file holds no state and touches nothing by itself.
#pragma once

#include <windows.h>

#include <cstddef>

namespace gn {

// Growable list of replacement (name, value) pairs, each copied into storage
// of its own. Starts with room for 10 pairs and doubles when full.
class replacement_map {
public:
    replacement_map() noexcept = default;
    ~replacement_map();
    replacement_map(const replacement_map&) = delete;
    replacement_map& operator=(const replacement_map&) = delete;

    // Copies both strings; S_OK or E_OUTOFMEMORY.
    HRESULT add(const wchar_t* name, const wchar_t* value) noexcept;
    // The value for an 8-bit name of len bytes, compared without case; null when absent.
    const wchar_t* find(const char* name, size_t len) const noexcept;

private:
    struct pair {
        wchar_t* name;
        wchar_t* value;
    };
    pair* pairs_ = nullptr;
    size_t count_ = 0;
    size_t capacity_ = 0;
};

// Writes in with every single quote doubled into out (cap wide characters,
// NUL included). Returns false, with out empty, when it does not fit.
bool double_single_quotes(const wchar_t* in, wchar_t* out, size_t cap) noexcept;

// Expands "%name%" and "%%" over the whole text. On success *out is a new
// NUL-terminated buffer from CoTaskMemAlloc that the caller frees.
// Results: S_OK; DISP_E_EXCEPTION for an unterminated or unknown name; E_FAIL
// for a name of 32 bytes or more; E_OUTOFMEMORY.
HRESULT expand_script(const char* text, const replacement_map& map, char** out) noexcept;

// The registry as the walks see it. Results are Win32 error codes (0 = success).
class key_store {
public:
    enum class access { all, read, read_write };
    virtual LONG open(HKEY parent, const char* name, access how, HKEY* key) noexcept = 0;
    virtual LONG create(HKEY parent, const char* name, HKEY* key) noexcept = 0;
    virtual LONG close(HKEY key) noexcept = 0;
    virtual LONG delete_key(HKEY parent, const char* name) noexcept = 0;
    virtual LONG delete_value(HKEY key, const char* name) noexcept = 0;
    virtual LONG set_value(HKEY key, const char* name, DWORD type, const BYTE* data,
                           DWORD size) noexcept = 0;
    // name has room for *size bytes; *size receives the length.
    virtual LONG enum_key(HKEY key, DWORD index, char* name, DWORD* size) noexcept = 0;
    virtual LONG enum_value(HKEY key, DWORD index, char* name, DWORD* size) noexcept = 0;
    virtual LONG query_info(HKEY key, DWORD* subkeys, DWORD* values) noexcept = 0;

protected:
    ~key_store() = default;
};

// A store seen from one registry view while the other flavor of the module
// stays registered in the other view: below HKEY_CLASSES_ROOT only "CLSID"
// (kept per view) can be opened, created or deleted; the shared keys look
// absent and cannot be written, other roots likewise.
class own_view_store final : public key_store {
public:
    explicit own_view_store(key_store& inner) noexcept : inner_(inner) {}
    LONG open(HKEY parent, const char* name, access how, HKEY* key) noexcept override;
    LONG create(HKEY parent, const char* name, HKEY* key) noexcept override;
    LONG close(HKEY key) noexcept override { return inner_.close(key); }
    LONG delete_key(HKEY parent, const char* name) noexcept override;
    LONG delete_value(HKEY key, const char* name) noexcept override;
    LONG set_value(HKEY key, const char* name, DWORD type, const BYTE* data,
                   DWORD size) noexcept override;
    LONG enum_key(HKEY key, DWORD index, char* name, DWORD* size) noexcept override {
        return inner_.enum_key(key, index, name, size);
    }
    LONG enum_value(HKEY key, DWORD index, char* name, DWORD* size) noexcept override {
        return inner_.enum_value(key, index, name, size);
    }
    LONG query_info(HKEY key, DWORD* subkeys, DWORD* values) noexcept override {
        return inner_.query_info(key, subkeys, values);
    }

private:
    key_store& inner_;
};

// Applies expanded script text in one direction. Each root block is parsed
// whole before anything is written, so a block with a syntax error changes
// nothing; a block whose registration fails later is unregistered again.
HRESULT run_script_text(key_store& store, const char* text, bool do_register) noexcept;

// The predefined key for a root name ("HKCR", "HKEY_CLASSES_ROOT", ...), or null.
HKEY root_key_for(const char* name) noexcept;

// Deletes parent\name with everything below it; the first failure is returned
// and stops the deletion.
LONG delete_subtree(key_store& store, HKEY parent, const char* name) noexcept;

}  // namespace gn
