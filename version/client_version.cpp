// The installed current client's file version.
#include "version/version_service.h"

#include <cstdio>
#include <memory>
#include <new>

#include "frame/log.h"
#include "resources/document_types.h"
#include "version/version_text.h"

namespace {

// Reads the in-process server path of the class registered for the document
// MIME type into path, looking through this module's launcher to PluginCtl.
// False when there is none; what went wrong is in the log.
bool find_client_path(char (&path)[MAX_PATH]) noexcept {
    gn::unique_hkey key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, gn::kDocumentType.mime_key, 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return false;

    // A braced identifier and its terminator fit; anything longer fails the read.
    char clsid_text[40] = {};
    DWORD size = sizeof clsid_text;
    if (RegQueryValueExA(key.get(), "CLSID", nullptr, nullptr,
                         reinterpret_cast<BYTE*>(clsid_text), &size) != ERROR_SUCCESS)
        return false;

    // Only the registry form of an identifier is taken: any other text would be
    // looked up as a program name by CLSIDFromString and then spliced into a key path.
    CLSID clsid = {};
    wchar_t wide[40] = {};
    if (!gn::terminate_registry_text(clsid_text, sizeof clsid_text, size) ||
        !gn::is_braced_guid(clsid_text) ||
        MultiByteToWideChar(CP_ACP, 0, clsid_text, -1, wide, 40) == 0 ||
        FAILED(CLSIDFromString(wide, &clsid))) {
        LogPrint(0, "Failed to get a path to executable from registry");
        return false;
    }

    const char* client = clsid_text;
    if (IsEqualCLSID(clsid, CLSID_MorvaneLauncher) ||
        IsEqualCLSID(clsid, gn::CLSID_MorvaneLauncherAlt)) {
        LogPrint(0, "Found an MorvaneLauncher CLSID registered to DZY Mime-type");
        client = gn::kPluginCtlClsidText;
    } else {
        LogPrint(0, "Found a PluginCtl CLSID registered to DZY Mime-type");
    }
    char server_key[64];
    std::snprintf(server_key, sizeof server_key, "CLSID\\%s\\InprocServer32", client);

    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, server_key, 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        LogPrint(0, "Failed to get a path to executable from registry");
        return false;
    }
    size = sizeof path;
    if (RegQueryValueExA(key.get(), nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(path),
                         &size) != ERROR_SUCCESS ||
        !gn::terminate_registry_text(path, sizeof path, size)) {
        LogPrint(0, "Failed to get a path to executable from registry");
        return false;
    }
    return true;
}

// Reads the file version of the file at path into version. False when the file
// has no readable fixed version record; the log says so.
bool read_file_version(const char* path, char (&version)[gn::kVersionTextSize]) noexcept {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    std::unique_ptr<BYTE[]> block(size ? new (std::nothrow) BYTE[size]() : nullptr);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixed_size = 0;
    const bool ok = block && GetFileVersionInfoA(path, 0, size, block.get()) &&
                    VerQueryValueA(block.get(), "\\", reinterpret_cast<void**>(&fixed),
                                   &fixed_size) &&
                    fixed && fixed_size >= sizeof(VS_FIXEDFILEINFO);
    if (ok) gn::format_file_version(fixed->dwFileVersionMS, fixed->dwFileVersionLS, version);
    if (!ok) LogPrint(0, "Failed to retrieve file version info from file: %s", path);
    return ok;
}

}  // namespace

STDMETHODIMP MorvaneVersion::GetClientVersion(BSTR* pVer) {
    LogPrint(0, "GetClientVersion() entered");
    RETURN_HR_IF(E_POINTER, !pVer);
    *pVer = nullptr;

    char version[gn::kVersionTextSize] = "0.0.0.0";
    char path[MAX_PATH] = {};
    if (find_client_path(path) && read_file_version(path, version))
        LogPrint(0, "Retrieved file version %s info from file: %s", version, path);

    wchar_t wide[gn::kVersionTextSize] = {};
    MultiByteToWideChar(CP_ACP, 0, version, -1, wide, gn::kVersionTextSize);
    *pVer = SysAllocString(wide);
    RETURN_IF_NULL_ALLOC(*pVer);
    return S_OK;
}
