#pragma once

#include "clients/clients.h"

#include <string>

namespace clients {

// A document as read by a control: its first bytes (at most one more than the
// format's size limit, enough to parse or reject it) and its full size.
struct LoadedDocument {
    std::string bytes;
    unsigned long long size = 0;
};

HRESULT read_file(const wchar_t* path, LoadedDocument& document);
HRESULT read_stream(IStream* stream, LoadedDocument& document);

// What a control shows of a document in the bundled sample format: the title
// and its table, or the reason it is malformed. record is the one line the
// call record gets: "Document <title> | <n> columns | <n> rows | <n> bytes"
// or "Malformed <message>".
struct RenderedDocument {
    bool ok = false;
    std::wstring text;
    std::wstring record;
};
RenderedDocument render_document(const LoadedDocument& document);

// "Size: N bytes\r\nContent: <first line>" of a document.
std::wstring summarize_bytes(const std::string& head, unsigned long long size);
HRESULT summarize_file(const wchar_t* path, std::wstring& summary);
HRESULT summarize_stream(IStream* stream, std::wstring& summary);

// The path on disk that a file: URL or a plain path names; also accepts the
// "file://C:\dir\doc.dzy" form a browser passes. Empty when it names none.
std::wstring path_from_source(const std::wstring& source);

// Opens a document from its URL as a control that has no launcher must:
// file: URLs and plain paths from disk, http(s) through wininet (an answer
// other than 200 fails with INET_E_* and the status in why), any other URL
// with URLOpenBlockingStreamW.
HRESULT open_source(const std::wstring& source, LoadedDocument& document, std::wstring& why);

}  // namespace clients
