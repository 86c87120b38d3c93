// The version service's 8-bit copies of the wide strings scripts pass in.
#pragma once

#include <windows.h>

namespace gn {

// An 8-bit copy of a wide string in the system code page. exact() tells
// whether the copy stands for the wide text faithfully: every character has
// its own code in the code page (no replacement, no best-fit look-alike) and
// the text holds no zero character that would cut the 8-bit string short.
class system_text {
public:
    system_text() noexcept = default;
    ~system_text();
    system_text(const system_text&) = delete;
    system_text& operator=(const system_text&) = delete;

    // Converts length characters of text (null counts as empty).
    // E_OUTOFMEMORY leaves an empty, inexact copy.
    HRESULT assign(const wchar_t* text, UINT length) noexcept;
    const char* c_str() const noexcept { return data_ ? data_ : ""; }
    bool exact() const noexcept { return exact_; }

private:
    char* data_ = nullptr;
    bool exact_ = true;
};

}  // namespace gn
