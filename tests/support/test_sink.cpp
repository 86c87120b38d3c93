#include "support/test_sink.h"

#include "support/module.h"

namespace gntest {

namespace {

// The file's bytes, read by its exact (wide) name.
std::string read_file_wide(const wchar_t* path) {
    std::string out;
    HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return out;
    char block[65536];
    DWORD got = 0;
    while (ReadFile(f, block, sizeof block, &got, nullptr) && got > 0) out.append(block, got);
    CloseHandle(f);
    return out;
}

}  // namespace

gn::com_ptr<TestSink> TestSink::make() { return gn::make<TestSink>(); }

STDMETHODIMP TestSink::OnDZxDataAvailable(BSTR pURL, BSTR pPath, BSTR pMimeType) {
    apartment_.check("OnDZxDataAvailable");
    if (expected) expected->call("OnDZxDataAvailable");
    try {
        SinkCall call;
        call.kind = SinkCall::DataAvailable;
        call.url_null = !pURL;
        call.path_null = !pPath;
        call.mime_null = !pMimeType;
        if (pURL) call.url = pURL;
        if (pPath) call.path = pPath;
        if (pMimeType) call.mime = pMimeType;
        if (pPath) {
            WIN32_FILE_ATTRIBUTE_DATA data;
            call.file_existed =
                GetFileAttributesExW(pPath, GetFileExInfoStandard, &data) != FALSE;
            if (call.file_existed) {
                call.file_size =
                    (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
                if (read_contents) call.contents = read_file_wide(pPath);
            }
        }
        calls.push_back(std::move(call));
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    after_call();
    return result;
}

STDMETHODIMP TestSink::OnAbort(HRESULT hrError, BSTR sError) {
    apartment_.check("OnAbort");
    if (expected) expected->call("OnAbort");
    try {
        SinkCall call;
        call.kind = SinkCall::Abort;
        call.hr = hrError;
        call.error_null = !sError;
        if (sError) call.error = sError;
        calls.push_back(std::move(call));
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    after_call();
    return result;
}

void TestSink::after_call() noexcept {
    try {
        if (during_call) during_call(*this);
    } catch (...) {
    }
}

std::string narrow(const std::wstring& s) {
    if (s.empty()) return {};
    const int n = WideCharToMultiByte(CP_ACP, 0, s.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n : 1, '\0');
    WideCharToMultiByte(CP_ACP, 0, s.c_str(), -1, &out[0], n, nullptr, nullptr);
    out.resize(n > 0 ? n - 1 : 0);
    return out;
}

std::wstring widen(const std::string& s) {
    if (s.empty()) return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, nullptr, 0);
    std::wstring out(n > 0 ? n : 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, &out[0], n);
    out.resize(n > 0 ? n - 1 : 0);
    return out;
}

}  // namespace gntest
