#include "viewer/record.h"

#include "viewer/viewer_text.h"

namespace gnviewer {

Record::~Record() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

bool Record::open(const std::wstring& path) {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    file_ = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    return file_ != INVALID_HANDLE_VALUE;
}

void Record::add(const std::string& key, const std::string& value) {
    if (file_ == INVALID_HANDLE_VALUE) return;
    std::string line = key;
    if (!value.empty()) line += " " + value;
    for (auto& c : line)
        if (c == '\r' || c == '\n') c = ' ';
    line += "\r\n";
    DWORD written = 0;
    WriteFile(file_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void Record::add(const std::string& key, const std::wstring& value) { add(key, to_utf8(value)); }

void Record::add_hr(const std::string& key, HRESULT hr) { add(key, hresult_text(hr)); }

}  // namespace gnviewer
