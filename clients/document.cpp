// What the controls show of a document: its size, the start of its text and,
// for the bundled sample format, its title and table.
#include "clients/document.h"

#include "samples/format/quorquery_format.h"

#include <shlwapi.h>
#include <urlmon.h>
#include <wininet.h>

#include <cstdio>
#include <new>

namespace clients {
namespace {

constexpr size_t kKeep = quorquery::kMaxDocumentBytes + 1;

std::wstring from_utf8(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
}

std::wstring join(const std::vector<std::string>& lines) {
    std::string all;
    for (const auto& line : lines) all += line + "\r\n";
    return from_utf8(all);
}

// An open internet handle, closed on every path.
using InternetHandle = gn::unique_any<HINTERNET, BOOL, InternetCloseHandle>;

// Fetches an http(s) URL with wininet, which (unlike a blocking urlmon
// stream) tells the HTTP status: a 404 must not pass for a document.
// Counts got more bytes of the document and keeps them while there is room.
HRESULT keep(LoadedDocument& document, const char* bytes, DWORD got) noexcept {
    const size_t room = kKeep - document.bytes.size();
    try {
        document.bytes.append(bytes, got < room ? got : room);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    document.size += got;
    return S_OK;
}

HRESULT download(const std::wstring& url, LoadedDocument& document, std::wstring& why) {
    InternetHandle session(
        InternetOpenW(L"GNClients/1", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!session.get()) return HRESULT_FROM_WIN32(GetLastError());
    InternetHandle request(InternetOpenUrlW(
        session.get(), url.c_str(), nullptr, 0,
        INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI, 0));
    if (!request.get()) {
        why = L"the document server cannot be reached";
        return INET_E_RESOURCE_NOT_FOUND;
    }
    DWORD status = 0, size = sizeof status;
    if (HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                       nullptr) &&
        status != 200) {
        wchar_t text[128] = {};
        DWORD text_size = sizeof text - sizeof(wchar_t);
        HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_TEXT, text, &text_size, nullptr);
        why = L"the server answered HTTP " + std::to_wstring(status) + (*text ? L" " : L"") + text;
        return status == 404 ? INET_E_OBJECT_NOT_FOUND : INET_E_DOWNLOAD_FAILURE;
    }
    // A body shorter than announced was cut off on the way.
    DWORD announced = 0, announced_size = sizeof announced;
    const bool has_length =
        HttpQueryInfoW(request.get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &announced,
                       &announced_size, nullptr) != FALSE;
    char buffer[8192];
    for (;;) {
        DWORD got = 0;
        if (!InternetReadFile(request.get(), buffer, sizeof buffer, &got)) {
            why = L"the download broke off";
            return INET_E_DOWNLOAD_FAILURE;
        }
        if (got == 0) break;
        RETURN_IF_FAILED(keep(document, buffer, got));
    }
    if (has_length && document.size < announced) {
        why = L"the download broke off";
        return INET_E_DOWNLOAD_FAILURE;
    }
    return S_OK;
}

}  // namespace

HRESULT read_file(const wchar_t* path, LoadedDocument& document) {
    document = LoadedDocument();
    RETURN_HR_IF(E_INVALIDARG, !path || !*path);
    gn::unique_file file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return HRESULT_FROM_WIN32(GetLastError());
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) return HRESULT_FROM_WIN32(GetLastError());
    const unsigned long long total = static_cast<unsigned long long>(size.QuadPart);
    try {
        document.bytes.resize(total < kKeep ? static_cast<size_t>(total) : kKeep);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    DWORD got = 0;
    if (!document.bytes.empty() &&
        !ReadFile(file.get(), &document.bytes[0], static_cast<DWORD>(document.bytes.size()), &got,
                  nullptr))
        return HRESULT_FROM_WIN32(GetLastError());
    document.bytes.resize(got);
    document.size = total;
    return S_OK;
}

HRESULT read_stream(IStream* stream, LoadedDocument& document) {
    document = LoadedDocument();
    RETURN_HR_IF(E_POINTER, !stream);
    char buffer[8192];
    for (;;) {
        ULONG got = 0;
        const HRESULT hr = stream->Read(buffer, sizeof(buffer), &got);
        if (FAILED(hr)) return hr;
        if (got == 0) break;
        RETURN_IF_FAILED(keep(document, buffer, got));
        if (hr == S_FALSE) break;
    }
    return S_OK;
}

RenderedDocument render_document(const LoadedDocument& document) {
    RenderedDocument out;
    const quorquery::ParseResult parsed = quorquery::parse(document.bytes);
    if (!parsed.ok()) {
        out.text = join(quorquery::render_error(parsed));
        out.record = L"Malformed " + from_utf8(parsed.message);
        return out;
    }
    out.ok = true;
    out.text = join(quorquery::render_lines(parsed.document));
    const auto& d = parsed.document;
    out.record = L"Document " + from_utf8(d.title) + L" | " + std::to_wstring(d.columns.size()) +
                 L" columns | " + std::to_wstring(d.rows.size()) + L" rows | " +
                 std::to_wstring(document.size) + L" bytes";
    return out;
}

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
    LoadedDocument document;
    RETURN_IF_FAILED(read_file(path, document));
    summary = summarize_bytes(document.bytes, document.size);
    return S_OK;
}

HRESULT summarize_stream(IStream* stream, std::wstring& summary) {
    summary.clear();
    LoadedDocument document;
    RETURN_IF_FAILED(read_stream(stream, document));
    summary = summarize_bytes(document.bytes, document.size);
    return S_OK;
}

std::wstring path_from_source(const std::wstring& source) {
    if (source.empty()) return std::wstring();
    if (source.compare(0, 5, L"file:") != 0)
        return source.find(L"://") == std::wstring::npos ? source : std::wstring();
    // "file://C:\dir\doc.dzy" (as a browser passes it) is a path behind the scheme.
    if (source.size() > 9 && source.compare(0, 7, L"file://") == 0 && iswalpha(source[7]) &&
        source[8] == L':')
        return source.substr(7);
    wchar_t path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (FAILED(PathCreateFromUrlW(source.c_str(), path, &size, 0))) return std::wstring();
    return path;
}

HRESULT open_source(const std::wstring& source, LoadedDocument& document, std::wstring& why) {
    document = LoadedDocument();
    why.clear();
    RETURN_HR_IF(E_INVALIDARG, source.empty());
    if (source.compare(0, 5, L"file:") == 0 || source.find(L"://") == std::wstring::npos) {
        const std::wstring path = path_from_source(source);
        RETURN_HR_IF(E_INVALIDARG, path.empty());
        const HRESULT hr = read_file(path.c_str(), document);
        if (FAILED(hr)) why = L"cannot read " + path;
        return hr;
    }
    if (source.compare(0, 7, L"http://") == 0 || source.compare(0, 8, L"https://") == 0)
        return download(source, document, why);
    // Anything else through urlmon.
    gn::com_ptr<IStream> stream;
    HRESULT hr = URLOpenBlockingStreamW(nullptr, source.c_str(), stream.put(), 0, nullptr);
    if (FAILED(hr)) {
        why = L"the document could not be downloaded";
        return hr;
    }
    hr = read_stream(stream.get(), document);
    if (FAILED(hr)) why = L"the download broke off";
    return hr;
}

}  // namespace clients
