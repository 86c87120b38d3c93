#include "clients/clients.h"

#include <cstdio>

namespace clients {

std::wstring hex_result(HRESULT hr) {
    wchar_t text[16];
    swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

void record_call(const char* control, const std::wstring& text) noexcept {
    char path[MAX_PATH];
    const DWORD n = GetEnvironmentVariableA("GNCLIENTS_CALLS", path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    std::wstring line = std::wstring(control, control + strlen(control)) + L" " + text;
    for (wchar_t& c : line)
        if (c == L'\r' || c == L'\n') c = L' ';  // one call, one line
    line += L"\n";
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()),
                                          nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return;
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), &utf8[0], bytes,
                        nullptr, nullptr);
    gn::unique_file file(CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    DWORD written = 0;
    WriteFile(file.get(), utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

}  // namespace clients
