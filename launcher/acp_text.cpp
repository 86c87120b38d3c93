#include "launcher/acp_text.h"

#include <windows.h>

#include <new>

namespace gn {

acp_text::acp_text(const wchar_t* text) noexcept {
    if (!text) return;
    const int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return;
    text_ = new (std::nothrow) char[size];
    if (text_ && WideCharToMultiByte(CP_ACP, 0, text, -1, text_, size, nullptr, nullptr) <= 0) {
        delete[] text_;
        text_ = nullptr;
    }
}

acp_text::~acp_text() { delete[] text_; }

wide_text::wide_text(const char* text) noexcept {
    if (!text || !MultiByteToWideChar(CP_ACP, 0, text, -1, text_, ARRAYSIZE(text_))) text_[0] = L'\0';
    text_[ARRAYSIZE(text_) - 1] = L'\0';
}

}  // namespace gn
