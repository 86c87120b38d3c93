#include "viewer/resolve.h"

#include <wininet.h>

#include "frame/com.h"

namespace gnviewer {

namespace {

using gn::unique_hinternet;

// A string value of a key under HKEY_CLASSES_ROOT; empty when missing.
std::wstring classes_value(const std::wstring& subkey, const wchar_t* name) {
    gn::unique_hkey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, subkey.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return L"";
    wchar_t buffer[1024];
    DWORD type = 0, size = sizeof buffer - sizeof(wchar_t);
    if (RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return L"";
    buffer[size / sizeof(wchar_t)] = 0;  // the stored text need not end in a zero
    return buffer;
}

std::wstring query_text(HINTERNET request, DWORD what) {
    wchar_t buffer[512];
    DWORD size = sizeof buffer - sizeof(wchar_t), index = 0;
    if (!HttpQueryInfoW(request, what, buffer, &size, &index)) return L"";
    buffer[size / sizeof(wchar_t)] = 0;
    return buffer;
}

std::wstring last_error_text(const wchar_t* step) {
    return std::wstring(step) + L" failed (error " + std::to_wstring(GetLastError()) + L")";
}

ServerAnswer request(HINTERNET session, const URL_COMPONENTSW& parts, const wchar_t* verb,
                     const std::wstring& user, const std::wstring& password) {
    ServerAnswer a;
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring object(parts.lpszUrlPath, parts.dwUrlPathLength);
    object.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (object.empty()) object = L"/";
    unique_hinternet connection(InternetConnectW(session, host.c_str(), parts.nPort,
                                                 user.empty() ? nullptr : user.c_str(),
                                                 user.empty() ? nullptr : password.c_str(),
                                                 INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) {
        a.error = last_error_text(L"InternetConnect");
        return a;
    }
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI |
                  INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_AUTO_REDIRECT;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
    unique_hinternet req(HttpOpenRequestW(connection.get(), verb, object.c_str(), nullptr, nullptr,
                                          nullptr, flags, 0));
    if (!req) {
        a.error = last_error_text(L"HttpOpenRequest");
        return a;
    }
    if (!HttpSendRequestW(req.get(), nullptr, 0, nullptr, 0)) {
        a.error = last_error_text(L"HttpSendRequest");
        return a;
    }
    DWORD status = 0, size = sizeof status, index = 0;
    if (!HttpQueryInfoW(req.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, &index)) {
        a.error = last_error_text(L"HttpQueryInfo");
        return a;
    }
    a.hr = S_OK;
    a.status = status;
    a.content_type = query_text(req.get(), HTTP_QUERY_CONTENT_TYPE);
    return a;
}

}  // namespace

ServerAnswer ask_server(const std::wstring& url, const std::wstring& user, const std::wstring& password) {
    ServerAnswer a;
    wchar_t host[256], path[2048], extra[2048];
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = ARRAYSIZE(host);
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = ARRAYSIZE(path);
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = ARRAYSIZE(extra);
    if (url.size() > 4000 || !InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) {
        a.error = L"the URL cannot be read";
        return a;
    }
    unique_hinternet session(
        InternetOpenW(L"GNViewer/1", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
    if (!session) {
        a.error = last_error_text(L"InternetOpen");
        return a;
    }
    DWORD timeout = kNetworkTimeoutMs;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_RECEIVE_TIMEOUT})
        InternetSetOptionW(session.get(), option, &timeout, sizeof timeout);
    a = request(session.get(), parts, L"HEAD", user, password);
    if (SUCCEEDED(a.hr) && (a.status == 405 || a.status == 501))
        a = request(session.get(), parts, L"GET", user, password);
    return a;
}

std::wstring content_type_of_extension(const std::wstring& ext) {
    if (ext.size() < 2 || ext[0] != L'.' || ext.find(L'\\') != std::wstring::npos) return L"";
    return classes_value(ext, L"Content Type");
}

HRESULT class_of_content_type(const std::wstring& type, CLSID& clsid) {
    if (type.empty() || type.find(L'\\') != std::wstring::npos) return REGDB_E_CLASSNOTREG;
    const std::wstring text = classes_value(L"MIME\\Database\\Content Type\\" + type, L"CLSID");
    if (text.empty()) return REGDB_E_CLASSNOTREG;
    return CLSIDFromString(text.c_str(), &clsid);
}

std::wstring inproc_server_of(const CLSID& clsid) {
    return classes_value(L"CLSID\\" + clsid_text(clsid) + L"\\InprocServer32", nullptr);
}

std::wstring clsid_text(const CLSID& clsid) {
    wchar_t text[64] = {};
    StringFromGUID2(clsid, text, ARRAYSIZE(text));
    return text;
}

}  // namespace gnviewer
