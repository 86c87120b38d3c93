// How the viewer finds what handles a target, the way a browser does: the
// MIME type from the server (a HEAD request, GET when HEAD is refused) or
// from the file-type key HKCR\.<ext> "Content Type", then the class from
// HKCR\MIME\Database\Content Type\<type> "CLSID".
#pragma once

#include <windows.h>

#include <string>

namespace gnviewer {

// Seconds any one network step may take.
constexpr DWORD kNetworkTimeoutMs = 10000;

struct ServerAnswer {
    HRESULT hr = E_FAIL;       // S_OK when the server answered at all
    DWORD status = 0;          // HTTP status code
    std::wstring content_type; // the Content-Type header as sent
    std::wstring error;        // why there is no answer
};

// Asks an http(s) server about a URL without reading the body, with the
// login (Basic) when the server asks for one and user is not empty. The
// platform keeps an accepted login for the rest of the process, so that the
// document's own download is let in as well.
ServerAnswer ask_server(const std::wstring& url, const std::wstring& user = {},
                        const std::wstring& password = {});

// The "Content Type" of HKCR\<ext> (ext with its dot); empty when none.
std::wstring content_type_of_extension(const std::wstring& ext);

// The class registered for a MIME type; S_OK, or a failure when the type has
// no (valid) class.
HRESULT class_of_content_type(const std::wstring& type, CLSID& clsid);

// The registered in-process server file of a class; empty when none.
std::wstring inproc_server_of(const CLSID& clsid);

// Text of a class identifier, in braces.
std::wstring clsid_text(const CLSID& clsid);

}  // namespace gnviewer
