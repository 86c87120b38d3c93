// Registry scripts: replacement expansion in the system code page, and the
// walks of script_walk_text.h with the platform's text rules.
#pragma once

#include <windows.h>

#include <cstddef>

#include "registration/script_walk_text.h"

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

// Applies expanded script text in one direction (walk_script with the
// system code page's text rules).
HRESULT run_script_text(key_store& store, const char* text, bool do_register) noexcept;

}  // namespace gn
