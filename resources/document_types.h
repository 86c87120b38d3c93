// The document types the launcher serves, one row each, documents first.
// Registration writes these facts, the version service looks the document's
// MIME entry up, and a download is told from a web page by them. The
// version record (resources/GNLauncher.rc), the class script
// (resources/5102.rgs), the installer (installer/) and the test document
// server (tools/docserver.py) carry the same facts in their own languages;
// a registration test reads them and fails when one disagrees with this table.
// Plain data, no platform header: the native parser build uses it too.
#pragma once

namespace gn {

struct document_type {
    const char* extension;     // its file-type key under the classes root
    const char* type_key;      // the type key the file-type key names
    const char* display_name;  // the type key's default value (and its class key's)
    const char* mime;          // its MIME type, the file-type key's "Content Type"
    const char* mime_key;      // its entry in the MIME database
    int icon;                  // the module's icon index "DefaultIcon" names; -1: none
    const char* extents;       // the version record: its extensions, without dots
    const char* open_name;     // the version record: its entry of an open dialog
};

#define GN_MIME_ENTRY(type) type, "MIME\\DataBase\\Content Type\\" type

// The document type, whose file-type key another program may own.
inline constexpr document_type kDocumentType = {
    ".dzy", "dzyfile",     "QuorQuery Document",    GN_MIME_ENTRY("application/x-quorquery"),
    -1,     "dzy,dz3,rvs", "QuorQuery(*.dzy,*.dz3)"};

// The data-file type, always the launcher's own.
inline constexpr document_type kDataFileType = {
    ".dzd", "dzdfile", "Lumeric Data File",   GN_MIME_ENTRY("application/x-quorquerydata"),
    2,      "dzd",     "QuorQueryData(*.dzd)"};

#undef GN_MIME_ENTRY

inline constexpr const document_type* kDocumentTypes[] = {&kDocumentType, &kDataFileType};

}  // namespace gn
