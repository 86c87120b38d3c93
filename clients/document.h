#pragma once

#include "clients/clients.h"

#include <string>

namespace clients {

// "Size: N bytes\r\nContent: <first line>" of a document.
std::wstring summarize_bytes(const std::string& head, unsigned long long size);
HRESULT summarize_file(const wchar_t* path, std::wstring& summary);
HRESULT summarize_stream(IStream* stream, std::wstring& summary);

}  // namespace clients
