#include "viewer/viewer_text.h"

#include <cstdio>
#include <cwctype>

namespace gnviewer {

namespace {

std::wstring lower(std::wstring s) {
    for (auto& c : s) c = static_cast<wchar_t>(std::towlower(c));
    return s;
}

bool starts_with_nocase(const std::wstring& s, const wchar_t* prefix) {
    const std::wstring p(prefix);
    return s.size() >= p.size() && lower(s.substr(0, p.size())) == p;
}

// A decimal number without sign, at most max; false for anything else.
bool parse_count(const std::wstring& text, unsigned long max, unsigned long& out) {
    if (text.empty() || text.size() > 10) return false;
    unsigned long long v = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        v = v * 10 + static_cast<unsigned>(c - L'0');
    }
    if (v > max) return false;
    out = static_cast<unsigned long>(v);
    return true;
}

}  // namespace

std::wstring usage() {
    return L"usage: gnviewer.exe <url-or-path> [--close-after-ms N] [--record <file>]"
           L" [--user <name> --password <password>]";
}

Options parse_command_line(const std::vector<std::wstring>& args) {
    // The whole line is read even after an error, so that --record still
    // names the file that the error goes to.
    Options o;
    auto problem = [&o](const std::wstring& text) {
        if (o.error.empty()) o.error = text;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& a = args[i];
        if (a == L"--close-after-ms" || a == L"--record" || a == L"--user" || a == L"--password") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                problem(a + L" needs a value");
                ++i;
                continue;
            }
            const std::wstring& value = args[++i];
            if (a == L"--record")
                o.record_path = value;
            else if (a == L"--user")
                o.user = value;
            else if (a == L"--password")
                o.password = value;
            else if (parse_count(value, kMaxCloseAfterMs, o.close_after_ms))
                o.close_after = true;
            else
                problem(L"--close-after-ms takes a number of milliseconds up to 3600000");
        } else if (a.size() > 1 && a[0] == L'-' && a[1] == L'-') {
            problem(L"unknown option " + a);
        } else if (!o.target.empty()) {
            problem(L"more than one document given");
        } else {
            o.target = a;
        }
    }
    if (o.target.empty()) problem(L"no document given");
    if (!o.password.empty() && o.user.empty()) problem(L"--password needs --user");
    return o;
}

unsigned download_percent(unsigned long done, unsigned long total) {
    if (total == 0) return 0;
    const unsigned long long percent = static_cast<unsigned long long>(done) * 100 / total;
    return percent > 100 ? 100 : static_cast<unsigned>(percent);
}

TargetKind classify(const std::wstring& target) {
    if (starts_with_nocase(target, L"http://") || starts_with_nocase(target, L"https://"))
        return TargetKind::http;
    if (starts_with_nocase(target, L"file:")) return TargetKind::file_url;
    // A scheme is letters, digits, + - . before ':' and at least two long
    // (a single letter is a drive: C:\x).
    const size_t colon = target.find(L':');
    if (colon != std::wstring::npos && colon >= 2) {
        bool scheme = std::iswalpha(target[0]) != 0;
        for (size_t i = 1; i < colon && scheme; ++i)
            scheme = std::iswalnum(target[i]) || target[i] == L'+' || target[i] == L'-' || target[i] == L'.';
        if (scheme) return TargetKind::unsupported;
    }
    return target.empty() ? TargetKind::unsupported : TargetKind::path;
}

std::wstring url_host(const std::wstring& url) {
    const size_t scheme_end = url.find(L"://");
    if (scheme_end == std::wstring::npos) return L"";
    size_t start = scheme_end + 3;
    const size_t end = url.find_first_of(L"/?#", start);
    std::wstring authority = url.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    const size_t at = authority.rfind(L'@');
    if (at != std::wstring::npos) authority.erase(0, at + 1);
    if (!authority.empty() && authority[0] == L'[') {
        const size_t close = authority.find(L']');
        return close == std::wstring::npos ? L"" : lower(authority.substr(1, close - 1));
    }
    return lower(authority.substr(0, authority.find(L':')));
}

bool is_loopback_url(const std::wstring& url) {
    if (classify(url) != TargetKind::http) return false;
    const std::wstring host = url_host(url);
    return host == L"127.0.0.1" || host == L"localhost" || host == L"::1";
}

std::wstring file_url(const std::wstring& full_path) { return L"file://" + full_path; }

std::wstring file_url_path(const std::wstring& url) {
    if (!starts_with_nocase(url, L"file:")) return L"";
    std::wstring path = url.substr(5);
    size_t slashes = 0;
    while (slashes < path.size() && (path[slashes] == L'/' || path[slashes] == L'\\')) ++slashes;
    // file:///C:/x and file://C:\x name a drive path; file://server/share a UNC one.
    const bool drive = path.size() > slashes + 1 && path[slashes + 1] == L':';
    if (drive) path.erase(0, slashes);
    else if (slashes >= 2) path = L"\\\\" + path.substr(slashes);
    else return L"";
    for (auto& c : path) if (c == L'/') c = L'\\';
    return path;
}

std::wstring extension_of(const std::wstring& target) {
    std::wstring t = target;
    if (classify(t) == TargetKind::http) {
        const size_t cut = t.find_first_of(L"?#");
        if (cut != std::wstring::npos) t.erase(cut);
    }
    const size_t sep = t.find_last_of(L"/\\");
    const std::wstring name = sep == std::wstring::npos ? t : t.substr(sep + 1);
    const size_t dot = name.rfind(L'.');
    if (dot == std::wstring::npos || dot + 1 == name.size()) return L"";
    return lower(name.substr(dot));
}

std::wstring media_type(const std::wstring& content_type) {
    std::wstring t = content_type.substr(0, content_type.find(L';'));
    const size_t first = t.find_first_not_of(L" \t");
    const size_t last = t.find_last_not_of(L" \t");
    if (first == std::wstring::npos) return L"";
    return lower(t.substr(first, last - first + 1));
}

std::string hresult_text(long hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

std::string to_utf8(const std::wstring& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned long cp = static_cast<unsigned short>(text[i]);
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() &&
            text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<unsigned short>(text[++i]) - 0xDC00);
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

}  // namespace gnviewer
