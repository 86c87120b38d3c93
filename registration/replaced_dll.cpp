// DllInstall: the installer's steps for a DLL of the same flavor that the
// package replaced (registered by hand elsewhere before the install). At
// install the package keeps the file's SHA-256 beside its path; at removal
// that file is registered again only when it is still the same file (the
// hash matches) and is not this module under another name (a short 8.3 path,
// other case). Removal runs as LocalSystem: a file put at the kept path by
// anyone else is never loaded.
#include <cwchar>

#include "frame/com.h"
#include "frame/log.h"
#include "frame/module.h"
#include "registration/install_text.h"
#include "registration/registrar.h"

#include <wincrypt.h>

namespace gn {

namespace {

// Where the package kind keeps "Replaced" and "ReplacedHash" (in the
// registry view of this flavor).
constexpr wchar_t kPackageKey[] = L"Software\\Veltrix\\GNLauncher\\";

// The path for the log, in the system code page.
struct shown_path {
    char text[MAX_PATH * 2];
    explicit shown_path(const wchar_t* path) {
        if (!WideCharToMultiByte(CP_ACP, 0, path, -1, text, sizeof text, nullptr, nullptr))
            lstrcpynA(text, "(a path the code page cannot show)", sizeof text);
    }
};

// An open file that nobody may change, rename or delete while it is held.
unique_handle open_held(const wchar_t* path) {
    return unique_handle(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool sha256_of(HANDLE file, unsigned char (&digest)[32]) {
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT))
        return false;
    HCRYPTHASH hash = 0;
    bool ok = CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash) != FALSE;
    BYTE chunk[16384];
    for (DWORD got = 0; ok;) {
        ok = ReadFile(file, chunk, sizeof chunk, &got, nullptr) != FALSE;
        if (!ok || got == 0) break;
        ok = CryptHashData(hash, chunk, got, 0) != FALSE;
    }
    DWORD size = sizeof digest;
    ok = ok && CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0) && size == sizeof digest;
    if (hash) CryptDestroyHash(hash);
    CryptReleaseContext(provider, 0);
    return ok;
}

// Whether two paths name one file: the same volume and file index, as the
// file system knows them, whatever the names' form or case.
bool same_file(HANDLE file, const wchar_t* other_path) {
    unique_handle other(CreateFileW(other_path, 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION a{}, b{};
    return other.get() != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &a) &&
           GetFileInformationByHandle(other.get(), &b) &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

HRESULT keep(const install_command& command) {
    const shown_path shown(command.path);
    unique_handle file(open_held(command.path));
    unsigned char digest[32];
    if (file.get() == INVALID_HANDLE_VALUE || !sha256_of(file.get(), digest)) {
        LogPrint(0, "Cannot read the replaced DLL %s: it will not be registered again at removal",
                 shown.text);
        return S_FALSE;
    }
    wchar_t key_name[64];
    std::swprintf(key_name, 64, L"%ls%.3ls", kPackageKey, command.field);
    unique_hkey key;
    char text[65];
    digest_text(digest, text);
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key_name, 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS ||
        RegSetValueExA(key.get(), "ReplacedHash", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                       sizeof text) != ERROR_SUCCESS) {
        LogPrint(0, "Cannot keep the hash of the replaced DLL %s", shown.text);
        return S_FALSE;
    }
    LogPrint(0, "Kept the hash of the replaced DLL %s", shown.text);
    return S_OK;
}

HRESULT put_back(const install_command& command) {
    const shown_path shown(command.path);
    unique_handle file(open_held(command.path));
    if (file.get() == INVALID_HANDLE_VALUE) {
        LogPrint(0, "The replaced DLL %s is gone: not registered again", shown.text);
        return S_FALSE;
    }
    unique_cotaskmem<wchar_t> own;
    if (FAILED(module_file_name(_Module.module_instance(), own.put())) ||
        same_file(file.get(), own.get())) {
        LogPrint(0, "The replaced DLL %s is this package's own: not registered again", shown.text);
        return S_FALSE;
    }
    unsigned char digest[32];
    if (!sha256_of(file.get(), digest) || !digest_matches(command.field, command.field_length, digest)) {
        LogPrint(
            0,
            "The DLL at %s is not the one replaced at install (its hash differs): not registered again",
            shown.text);
        return S_FALSE;
    }
    // Loaded while the file is held: it is the file that was hashed.
    unique_hmodule dll(LoadLibraryExW(command.path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    const auto register_server =
        dll ? proc_address<HRESULT(WINAPI*)()>(dll.get(), "DllRegisterServer") : nullptr;
    const HRESULT hr = register_server ? register_server() : HRESULT_FROM_WIN32(GetLastError());
    LogPrint(0, "Registered the replaced DLL %s again: 0x%08lx", shown.text,
             static_cast<unsigned long>(hr));
    return SUCCEEDED(hr) ? S_OK : hr;
}

}  // namespace

}  // namespace gn

extern "C" HRESULT WINAPI DllInstall(BOOL install, LPCWSTR command) {
    const gn::install_command parsed = gn::parse_install_command(command);
    if (!install || parsed.verb == gn::install_verb::invalid) return E_INVALIDARG;
    return parsed.verb == gn::install_verb::keep ? gn::keep(parsed) : gn::put_back(parsed);
}
