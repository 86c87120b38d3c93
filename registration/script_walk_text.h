// Registry scripts as text: tokens, blocks and value texts, and the two walks
// (register, unregister) over them. The walks reach the registry only through
// the small key-store interface below and the platform's text rules only
// through script_text_rules, so this file holds no state, touches nothing by
// itself and includes no platform header: keys are the platform's key handles
// (HKEY is HKEY__*), store results Win32 error codes, walk results the 32-bit
// HRESULT values held in a long.
#pragma once

#include <cstddef>
#include <cstdint>

struct HKEY__;

namespace gn {

using reg_key = HKEY__*;

// Registry value types (REG_SZ, REG_BINARY, REG_DWORD) and Win32 error codes.
constexpr unsigned long kRegString = 1;
constexpr unsigned long kRegBinary = 3;
constexpr unsigned long kRegNumber = 4;
constexpr long kErrorSuccess = 0;
constexpr long kErrorFileNotFound = 2;
constexpr long kErrorAccessDenied = 5;

// Results of a walk, as the platform's HRESULTs.
constexpr long script_result(std::uint32_t code) noexcept {
    return static_cast<long>(static_cast<std::int32_t>(code));
}
constexpr long kScriptOk = 0;                                   // S_OK
constexpr long kScriptSyntaxError = script_result(0x80020009);  // DISP_E_EXCEPTION
constexpr long kScriptFailed = script_result(0x80004005);       // E_FAIL
constexpr long kScriptOutOfMemory = script_result(0x8007000E);  // E_OUTOFMEMORY
constexpr long kScriptInvalidArg = script_result(0x80070057);   // E_INVALIDARG

// The registry as the walks see it. Results are Win32 error codes (0 = success).
class key_store {
public:
    enum class access { all, read, read_write };
    virtual long open(reg_key parent, const char* name, access how, reg_key* key) noexcept = 0;
    virtual long create(reg_key parent, const char* name, reg_key* key) noexcept = 0;
    virtual long close(reg_key key) noexcept = 0;
    virtual long delete_key(reg_key parent, const char* name) noexcept = 0;
    virtual long delete_value(reg_key key, const char* name) noexcept = 0;
    virtual long set_value(reg_key key, const char* name, unsigned long type, const unsigned char* data,
                           unsigned long size) noexcept = 0;
    // name has room for *size bytes; *size receives the length.
    virtual long enum_key(reg_key key, unsigned long index, char* name, unsigned long* size) noexcept = 0;
    virtual long enum_value(reg_key key, unsigned long index, char* name, unsigned long* size) noexcept = 0;
    virtual long query_info(reg_key key, unsigned long* subkeys, unsigned long* values) noexcept = 0;

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
    long open(reg_key parent, const char* name, access how, reg_key* key) noexcept override;
    long create(reg_key parent, const char* name, reg_key* key) noexcept override;
    long close(reg_key key) noexcept override { return inner_.close(key); }
    long delete_key(reg_key parent, const char* name) noexcept override;
    long delete_value(reg_key key, const char* name) noexcept override;
    long set_value(reg_key key, const char* name, unsigned long type, const unsigned char* data,
                   unsigned long size) noexcept override;
    long enum_key(reg_key key, unsigned long index, char* name, unsigned long* size) noexcept override {
        return inner_.enum_key(key, index, name, size);
    }
    long enum_value(reg_key key, unsigned long index, char* name, unsigned long* size) noexcept override {
        return inner_.enum_value(key, index, name, size);
    }
    long query_info(reg_key key, unsigned long* subkeys, unsigned long* values) noexcept override {
        return inner_.query_info(key, subkeys, values);
    }

private:
    key_store& inner_;
};

// What the walks need of the platform's text rules.
class script_text_rules {
public:
    // The next character of 8-bit text in the system code page (one or two
    // bytes; a lead byte is never taken with the terminator).
    virtual const char* next_char(const char* p) const noexcept = 0;
    // The number a "D" value's text stands for; false when it is none.
    virtual bool parse_number(const char* text, unsigned long* value) const noexcept = 0;

protected:
    ~script_text_rules() = default;
};

// Applies expanded script text in one direction. Each root block is parsed
// whole before anything is written, so a block with a syntax error changes
// nothing; a block whose registration fails later is unregistered again.
// Results: kScriptOk; kScriptSyntaxError; kScriptFailed (an odd-length binary
// value); kScriptOutOfMemory; kScriptInvalidArg for a null text.
long walk_script(key_store& store, const script_text_rules& rules, const char* text,
                 bool do_register) noexcept;

// The predefined key for a root name ("HKCR", "HKEY_CLASSES_ROOT", ...), or null.
reg_key root_key_for(const char* name) noexcept;

// Deletes parent\name with everything below it; the first failure is returned
// and stops the deletion.
long delete_subtree(key_store& store, reg_key parent, const char* name) noexcept;

}  // namespace gn
