// What the controls show of a document: its size and the start of its text.
#include "clients/document.h"

#include <cstdio>

namespace clients {

std::wstring summarize_bytes(const std::string& bytes, unsigned long long size) {
    // The first line, at most 80 characters, with anything unprintable as '.'.
    std::wstring first;
    for (char c : bytes) {
        if (c == '\r' || c == '\n' || first.size() >= 80) break;
        const unsigned char u = static_cast<unsigned char>(c);
        first += (u >= 0x20 && u < 0x7F) ? static_cast<wchar_t>(u) : L'.';
    }
    return L"Size: " + std::to_wstring(size) + L" bytes\r\nContent: " + first;
}

HRESULT summarize_file(const wchar_t* path, std::wstring& summary) {
    summary.clear();
    RETURN_HR_IF(E_INVALIDARG, !path || !*path);
    gn::unique_file file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return HRESULT_FROM_WIN32(GetLastError());
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) return HRESULT_FROM_WIN32(GetLastError());
    std::string head(512, '\0');
    DWORD got = 0;
    if (!ReadFile(file.get(), &head[0], static_cast<DWORD>(head.size()), &got, nullptr))
        return HRESULT_FROM_WIN32(GetLastError());
    head.resize(got);
    summary = summarize_bytes(head, static_cast<unsigned long long>(size.QuadPart));
    return S_OK;
}

HRESULT summarize_stream(IStream* stream, std::wstring& summary) {
    summary.clear();
    RETURN_HR_IF(E_POINTER, !stream);
    std::string head;
    unsigned long long total = 0;
    char buffer[4096];
    for (;;) {
        ULONG got = 0;
        const HRESULT hr = stream->Read(buffer, sizeof(buffer), &got);
        if (FAILED(hr)) return hr;
        if (got == 0) break;
        if (head.size() < 512) head.append(buffer, got < 512 ? got : 512);
        total += got;
        if (hr == S_FALSE) break;
    }
    summary = summarize_bytes(head, total);
    return S_OK;
}

}  // namespace clients
