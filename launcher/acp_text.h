// Wide strings in the system code page, for log lines and file names.
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

}  // namespace gn
