// The download's text helpers, linked directly.
#include <gtest/gtest.h>

#include <urlmon.h>
#include <wininet.h>

#include <cerrno>
#include <cstring>
#include <cwchar>
#include <string>

#include "launcher/download/download_text.h"

using namespace gn;

TEST(LegacyCookie, NameAtTheStartOfATokenOrAfterABlank) {
    for (const char* text : {"QUORPASSWORD=x", "a=1; QUORPASSWORD=x", "a=1;QUORPASSWORD=x",
                             "a=1;;; rvs_username=u", "rvs_info=1; b=2", "a=1 rvs_info=9",
                             "x=rvs_info=; rvs_info=5", "a=1; QUORPASSWORD="}) {
        EXPECT_TRUE(has_legacy_cookie(text)) << text;
    }
}

TEST(LegacyCookie, NearMisses) {
    for (const char* text :
         {"XQUORPASSWORD=x", "a=1; myrvs_info=2", "a=rvs_info=3", "quorpassword=1",
          "QUORPASSWORD", "a=1; QUORPASSWOR", "rvs_info", "a=1;\tQUORPASSWORD=1",
          // the first occurrence in the token decides: after a letter, then after a blank
          "a=1; xrvs_info= rvs_info=3", "", ";;;;", " ; ; "}) {
        EXPECT_FALSE(has_legacy_cookie(text)) << text;
    }
    EXPECT_FALSE(has_legacy_cookie(nullptr));
}

TEST(LegacyCookie, HostileTexts) {
    std::string huge(200000, 'a');
    EXPECT_FALSE(has_legacy_cookie(huge.c_str()));
    EXPECT_TRUE(has_legacy_cookie((huge + "; rvs_info=1").c_str()));
    EXPECT_FALSE(has_legacy_cookie(std::string(100000, ';').c_str()));
    EXPECT_FALSE(has_legacy_cookie("\xff\xfe\x80=\x81; \xc3\xa9=\xff"));
    EXPECT_TRUE(has_legacy_cookie("\xff=\xfe; rvs_username=\xff"));
}

TEST(CookieMask, NamesStayValuesGo) {
    char out[256];
    const std::string in = "QUORPASSWORD=topsecret; rvs_info=x;session=42";
    const size_t n = mask_cookies(in.c_str(), out, sizeof out);
    EXPECT_EQ("QUORPASSWORD=***; rvs_info=***; session=***", std::string(out));
    EXPECT_EQ(std::strlen(out), n);
    EXPECT_EQ(n, mask_cookies(in.c_str(), nullptr, 0)) << "the size query gives the same length";

    mask_cookies("lonelyvalue; a=", out, sizeof out);
    EXPECT_EQ("***; a=***", std::string(out)) << "a value without a name is masked whole";
    mask_cookies("", out, sizeof out);
    EXPECT_EQ("", std::string(out));
    mask_cookies(" ;; ; ", out, sizeof out);
    EXPECT_EQ("", std::string(out));
    mask_cookies(nullptr, out, sizeof out);
    EXPECT_EQ("", std::string(out));
    mask_cookies("a\nb\x01=1", out, sizeof out);
    EXPECT_EQ("a?b?=***", std::string(out)) << "no control character reaches the log";
}

TEST(CookieMask, NeverWritesPastTheBuffer) {
    const std::string in = "first=1; second=2; third=3";
    const size_t full = mask_cookies(in.c_str(), nullptr, 0);
    for (size_t size = 1; size <= full + 1; ++size) {
        char buf[64];
        std::memset(buf, '#', sizeof buf);
        EXPECT_EQ(full, mask_cookies(in.c_str(), buf, size));
        EXPECT_EQ('\0', buf[std::strlen(buf)]);
        EXPECT_LT(std::strlen(buf), size);
        EXPECT_EQ('#', buf[size]) << "byte past the buffer written at size " << size;
    }
    // Long names, many separators, high bytes: the size query is exact.
    const std::string hostile = std::string(5000, 'n') + "=v;" + std::string(3000, ';') +
                                "\xff\xfe=\x80" + std::string(2000, ' ');
    const size_t need = mask_cookies(hostile.c_str(), nullptr, 0);
    std::string buf(need + 1, '#');
    EXPECT_EQ(need, mask_cookies(hostile.c_str(), &buf[0], buf.size()));
    EXPECT_EQ(need, std::strlen(buf.c_str()));
}

TEST(FileUrl, CaseSensitivePrefix) {
    EXPECT_TRUE(is_file_url(L"file:///C:/doc.dzy"));
    EXPECT_TRUE(is_file_url(L"file://"));
    EXPECT_FALSE(is_file_url(L"FILE:///C:/doc.dzy"));
    EXPECT_FALSE(is_file_url(L"file:/C:/doc.dzy"));
    EXPECT_FALSE(is_file_url(L"http://host/file://"));
    EXPECT_FALSE(is_file_url(L""));
    EXPECT_FALSE(is_file_url(nullptr));
}

TEST(TempName, ComposedWithinItsBuffer) {
    wchar_t path[MAX_PATH];
    // One backslash after the directory, whether it ends in one or not.
    ASSERT_TRUE(compose_temp_name(path, MAX_PATH, L"C:\\Temp\\", L"DZ", 1234));
    EXPECT_STREQ(L"C:\\Temp\\DZ1234.tmp", path);
    ASSERT_TRUE(compose_temp_name(path, MAX_PATH, L"C:\\Temp", L"DZ", 1234));
    EXPECT_STREQ(L"C:\\Temp\\DZ1234.tmp", path);
    ASSERT_TRUE(compose_temp_name(path, MAX_PATH, L"C:\\users\\\x0418\x0432\x0430\x043D\\Temp\\", L"DZ", 5));
    EXPECT_STREQ(L"C:\\users\\\x0418\x0432\x0430\x043D\\Temp\\DZ5.tmp", path) << "any character";

    // 259 characters fit a 260-character buffer; 260 do not.
    const std::wstring fits(259 - std::wcslen(L"\\DZ7.tmp"), L'd');
    ASSERT_TRUE(compose_temp_name(path, MAX_PATH, fits.c_str(), L"DZ", 7));
    EXPECT_EQ(259u, std::wcslen(path));

    wchar_t guarded[MAX_PATH + 16];
    for (wchar_t& c : guarded) c = L'#';
    const std::wstring too_long = fits + L"d";
    EXPECT_FALSE(compose_temp_name(guarded, MAX_PATH, too_long.c_str(), L"DZ", 7));
    EXPECT_EQ(L'\0', guarded[0]) << "a name that does not fit leaves the buffer empty";
    for (size_t i = MAX_PATH; i < MAX_PATH + 16; ++i) EXPECT_EQ(L'#', guarded[i]);
    EXPECT_FALSE(compose_temp_name(path, MAX_PATH, std::wstring(1000, L'x').c_str(), L"DZ", 1));
    EXPECT_FALSE(compose_temp_name(nullptr, 0, L"C:\\", L"DZ", 1));
}

// Every failure says why, in a few words, where the platform gave no text.
TEST(TransferTexts, FailureWithoutAText) {
    const struct {
        HRESULT hr;
        unsigned long furthest_status;
        const char* text;
    } cases[] = {
        {INET_E_DOWNLOAD_FAILURE, BINDSTATUS_FINDINGRESOURCE, "Server name not found"},
        {INET_E_DOWNLOAD_FAILURE, BINDSTATUS_CONNECTING, "Could not connect to the server"},
        {INET_E_DOWNLOAD_FAILURE, BINDSTATUS_SENDINGREQUEST, "The server did not answer"},
        {INET_E_DOWNLOAD_FAILURE, 0, "Download failed"},
        {INET_E_CANNOT_CONNECT, 0, "Could not connect to the server"},
        {INET_E_RESOURCE_NOT_FOUND, BINDSTATUS_SENDINGREQUEST, "Document not found"},
        {INET_E_CONNECTION_TIMEOUT, BINDSTATUS_CONNECTING, "The server did not answer in time"},
        {INET_E_INVALID_CERTIFICATE, 0, "Certificate error"},
        {INET_E_INVALID_URL, 0, "Invalid address"},
        {E_ABORT, 0, "Download cancelled"},
        {E_OUTOFMEMORY, 0, "Out of memory"},
        {E_FAIL, 0, "Download failed"},
        {static_cast<HRESULT>(0x87654321), 0, "Download failed"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(c.text, failure_text(c.hr, c.furthest_status)) << std::hex << c.hr;
}

TEST(TransferTexts, WriteFailureAndWebPage) {
    EXPECT_STREQ("disk full", write_failure_reason(ENOSPC));
    EXPECT_EQ(static_cast<HRESULT>(0x80070070), write_failure_result(ENOSPC));  // ERROR_DISK_FULL
    EXPECT_STREQ("access denied", write_failure_reason(EACCES));
    EXPECT_EQ(E_ACCESSDENIED, write_failure_result(EACCES));
    EXPECT_STREQ("write error", write_failure_reason(0));
    EXPECT_EQ(E_FAIL, write_failure_result(12345));
    const int errnos[][2] = {{8, ENOMEM},  {21, EACCES},  {31, EACCES},  {32, EACCES},   {53, ENOENT},
                             {65, EACCES}, {108, EACCES}, {206, ENOENT}, {193, ENOEXEC}, {9999, EINVAL}};
    for (const auto& e : errnos) EXPECT_EQ(e[1], file_error_number(e[0])) << "system error " << e[0];

    for (const char* page : {"text/html", "TEXT/HTML", " text/html ; charset=utf-8", "text/html;"})
        EXPECT_TRUE(is_web_page_type(page)) << page;
    for (const char* other : {"", "text/htmlx", "text/plain", "application/x-quorquery", "html"})
        EXPECT_FALSE(is_web_page_type(other)) << other;
    EXPECT_FALSE(is_web_page_type(nullptr));
    for (const wchar_t* type : {L"application/x-quorquery", L"Application/X-QuorQueryData"})
        EXPECT_TRUE(is_document_type(type));
    for (const wchar_t* type : {L"", L"application/x-quorquer", L"application/x-quorquerydatax", L"text/html",
                                L"application/x-quorquer\x0179"})
        EXPECT_FALSE(is_document_type(type));
    EXPECT_FALSE(is_document_type(nullptr));
}

TEST(TransferTexts, HttpStatusAndShortTransfer) {
    char text[64];
    format_http_error(text, sizeof text, 404, "Not Found");
    EXPECT_STREQ("HTTP 404 Not Found", text);
    format_http_error(text, sizeof text, 500, "");
    EXPECT_STREQ("HTTP 500", text);
    format_http_error(text, 12, 503, "Service Unavailable");
    EXPECT_STREQ("HTTP 503 Se", text) << "cut to the buffer";
    EXPECT_EQ(INET_E_RESOURCE_NOT_FOUND, http_status_result(404));
    EXPECT_EQ(INET_E_RESOURCE_NOT_FOUND, http_status_result(410));
    EXPECT_EQ(INET_E_DOWNLOAD_FAILURE, http_status_result(500));
    EXPECT_EQ(INET_E_DOWNLOAD_FAILURE, http_status_result(403));
    EXPECT_EQ(INET_E_REDIRECT_FAILED, http_status_result(302));
    EXPECT_EQ(INET_E_DOWNLOAD_FAILURE, http_status_result(304));
    for (DWORD status : {100u, 199u, 204u, 205u, 206u, 300u, 304u, 0u, 1000u})
        EXPECT_FALSE(is_document_status(status)) << status;
    for (DWORD status : {200u, 203u, 299u}) EXPECT_TRUE(is_document_status(status));

    format_incomplete(text, sizeof text, 2000000, 4000000);
    EXPECT_STREQ("Incomplete download: 2000000 of 4000000 bytes", text);
    format_incomplete(text, sizeof text, 0, 6000000000ull);
    EXPECT_STREQ("Incomplete download: 0 of 6000000000 bytes", text);
    // A file:// size past 4 GiB comes as its low 32 bits: 6000000000 as 1705032704.
    EXPECT_EQ(6000000000ull, announced_size(6000000000ull, 1705032704ul)) << "whole";
    EXPECT_EQ(6000000000ull, announced_size(5000000000ull, 1705032704ul)) << "cut past 4 GiB";
    EXPECT_EQ(4000000u, announced_size(2000000, 4000000)) << "cut below";
    EXPECT_EQ(6000000000ull, announced_size(3000000000ull, 1705032704ul)) << "cut past the low bits";
    EXPECT_LT(1001u, announced_size(1001, 1000)) << "more than announced is never whole";
    EXPECT_EQ(0u, announced_size(5000000000ull, 0)) << "no size";
}

TEST(TransferTexts, ContentLength) {
    unsigned long long v = 99;
    EXPECT_TRUE(parse_content_length("0", &v));
    EXPECT_EQ(0u, v);
    EXPECT_TRUE(parse_content_length(" 4000000 ", &v));
    EXPECT_EQ(4000000u, v);
    EXPECT_TRUE(parse_content_length("6000000000", &v));
    EXPECT_EQ(6000000000ull, v);
    v = 99;
    EXPECT_TRUE(parse_content_length("100, 100", &v)) << "a repeated header, joined";
    EXPECT_EQ(100u, v);
    v = 99;
    for (const char* bad :
         {"", " ", "-1", "12a", "0x10", "1 2", "99999999999999999999999", "100, 200", "100,", ",100"}) {
        EXPECT_FALSE(parse_content_length(bad, &v)) << bad;
        EXPECT_EQ(99u, v) << bad;
    }
    EXPECT_FALSE(parse_content_length(nullptr, &v));
}

// Transfer-Encoding and Content-Length of a body that came whole as far as
// the platform could tell.
TEST(TransferTexts, HttpFraming) {
    const struct {
        const char *coding, *length;
        bool encoded;
        unsigned long long received;
        const char* text;  // empty: the body stands
    } rows[] = {
        {nullptr, "100000", false, 100000, ""},
        {nullptr, nullptr, false, 5, ""},
        {"chunked", "200000", false, 100000, ""},
        {"Identity, CHUNKED", "0x186a0", false, 5, ""},
        {nullptr, "200000", false, 100000, "Incomplete download: 100000 of 200000 bytes"},
        {nullptr, "200000", true, 100000, ""},
        {nullptr, "0x186a0", false, 8065, "Invalid Content-Length"},
        {"identity", "", true, 0, "Invalid Content-Length"},
        {nullptr, "100, 200", false, 200, "Invalid Content-Length"},
        {"gzip, chunked", "737", false, 737, "Unsupported transfer coding: gzip"},
        {"chunked;x=1 , br", nullptr, false, 1, "Unsupported transfer coding: br"},
        {"x\x01y", nullptr, false, 1, "Unsupported transfer coding: x?y"},
    };
    for (const auto& row : rows) {
        char text[64] = "#";
        const long hr =
            check_http_framing(row.coding, row.length, row.encoded, row.received, text, sizeof text);
        EXPECT_STREQ(row.text, text)
            << (row.coding ? row.coding : "-") << " " << (row.length ? row.length : "-");
        EXPECT_EQ(*row.text ? INET_E_DOWNLOAD_FAILURE : S_OK, hr) << row.text;
    }
}

// The reasons as WinINet gives them under Wine for our test servers, and the
// combinations a real platform may give.
TEST(TransferTexts, CertificateReasons) {
    const struct {
        DWORD error, flags;
        const char* text;
    } cases[] = {
        {ERROR_INTERNET_SEC_CERT_REV_FAILED, 0x01800000, "Certificate error: untrusted root"},
        {ERROR_INTERNET_SEC_CERT_DATE_INVALID, 0x04000000, "Certificate error: expired"},
        {ERROR_INTERNET_SEC_CERT_CN_INVALID, 0x02000000, "Certificate error: wrong host name"},
        {ERROR_INTERNET_INVALID_CA, 0, "Certificate error: untrusted root"},
        {ERROR_INTERNET_SEC_CERT_DATE_INVALID, 0, "Certificate error: expired"},
        {ERROR_INTERNET_SEC_CERT_CN_INVALID, 0, "Certificate error: wrong host name"},
        {ERROR_INTERNET_SEC_CERT_ERRORS, 0x06000000, "Certificate error: expired"},
        {ERROR_INTERNET_SEC_CERT_REVOKED, 0, "Certificate error: revoked"},
        {ERROR_INTERNET_SEC_CERT_NO_REV, 0, "Certificate error: revocation unknown"},
        {0, 0x00800000, "Certificate error: revocation unknown"},
        {0, 0, "Certificate error"},  // the server answered this time: no reason, still an error
        {ERROR_INTERNET_CANNOT_CONNECT, 0, "Certificate error"},
        {ERROR_INTERNET_SEC_CERT_ERRORS, 0x0000F0FF, "Certificate error"},  // no problem bit
    };
    for (const auto& c : cases) {
        char text[64] = "#";
        format_certificate_error(text, sizeof text, certificate_reason(c.error, c.flags));
        EXPECT_STREQ(c.text, text) << c.error << " " << std::hex << c.flags;
    }
    char shortened[12];
    format_certificate_error(shortened, sizeof shortened, "untrusted root");
    EXPECT_STREQ("Certificate", shortened) << "cut to the buffer";
    EXPECT_TRUE(is_secure_channel_failure(INET_E_INVALID_CERTIFICATE));
    EXPECT_TRUE(is_secure_channel_failure(INET_E_SECURITY_PROBLEM));
    EXPECT_FALSE(is_secure_channel_failure(INET_E_DOWNLOAD_FAILURE));
    EXPECT_FALSE(is_secure_channel_failure(S_OK));
}
