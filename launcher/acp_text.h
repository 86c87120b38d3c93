// Wide strings in the system code page, for log lines and file names, and
// the launcher's own short texts back into wide strings.
#pragma once

namespace gn {

// A wide string converted to the system code page for log lines and file
// names. Null and failed conversions read as "".
class acp_text {
public:
    explicit acp_text(const wchar_t* text) noexcept;
    ~acp_text();
    acp_text(const acp_text&) = delete;
    acp_text& operator=(const acp_text&) = delete;
    const char* c_str() const noexcept { return text_ ? text_ : ""; }

private:
    char* text_ = nullptr;
};

// A short text of the system code page as a wide string (the launcher's
// messages for the main plugin). Null, failed and too long read as "".
class wide_text {
public:
    explicit wide_text(const char* text) noexcept;
    const wchar_t* c_str() const noexcept { return text_; }

private:
    wchar_t text_[256];
};

}  // namespace gn
