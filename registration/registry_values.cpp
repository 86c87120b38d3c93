// The registry values registration writes, reads, keeps and puts back.
#include <cstring>
#include <cwchar>
#include <memory>
#include <new>

#include "frame/com.h"
#include "registration/stages.h"

namespace gn {

LONG set_string(HKEY key, const char* name, const char* text) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                          static_cast<DWORD>(std::strlen(text) + 1));
}

// A module's icon: its path followed by "," and the icon's index, as UTF-16.
LONG set_icon(HKEY key, const wchar_t* module, int index) {
    wchar_t suffix[16];
    std::swprintf(suffix, 16, L",%d", index);
    const size_t length = std::wcslen(module) + std::wcslen(suffix) + 1;
    unique_cotaskmem<wchar_t> text(static_cast<wchar_t*>(CoTaskMemAlloc(length * sizeof(wchar_t))));
    if (!text) return ERROR_OUTOFMEMORY;
    std::wcscpy(text.get(), module);
    std::wcscat(text.get(), suffix);
    return RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.get()),
                          static_cast<DWORD>(length * sizeof(wchar_t)));
}

LONG set_dword(HKEY key, const char* name, DWORD number) {
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                          sizeof number);
}

// Reads a string value into a 513-byte read; out always ends with a NUL.
bool read_string(HKEY key, const char* name, char (&out)[514]) {
    std::memset(out, 0, sizeof out);
    DWORD size = 513;
    return RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(out), &size) ==
           ERROR_SUCCESS;
}

// Opens a key for writing, creating it when it cannot be opened.
LONG open_or_create(HKEY parent, const char* name, unique_hkey& key) {
    if (RegOpenKeyExA(parent, name, 0, KEY_WRITE, key.put()) == ERROR_SUCCESS) return ERROR_SUCCESS;
    return RegCreateKeyExA(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                           key.put(), nullptr);
}

bool holds_text(HKEY key, const char* name, const char* text) {
    char current[514];
    DWORD type = 0;
    std::memset(current, 0, sizeof current);
    DWORD size = 513;
    return RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(current), &size) ==
               ERROR_SUCCESS &&
           type == REG_SZ && std::strcmp(current, text) == 0;
}

bool holds_number(HKEY key, const char* name, DWORD number) {
    DWORD type = 0, value = 0, size = sizeof value;
    return RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
               ERROR_SUCCESS &&
           type == REG_DWORD && size == sizeof value && value == number;
}

// Copies one value, whatever its type and size, from one key to another.
// ERROR_FILE_NOT_FOUND when from has no such value (nothing is written).
LONG copy_value(HKEY from, const char* name, HKEY to) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD type = 0, size = 0;
        LONG result = RegQueryValueExA(from, name, nullptr, &type, nullptr, &size);
        if (result != ERROR_SUCCESS) return result;
        std::unique_ptr<BYTE[]> data(new (std::nothrow) BYTE[size ? size : 1]);
        if (!data) return ERROR_OUTOFMEMORY;
        result = RegQueryValueExA(from, name, nullptr, &type, data.get(), &size);
        if (result == ERROR_MORE_DATA) continue;  // it grew in between
        if (result != ERROR_SUCCESS) return result;
        return RegSetValueExA(to, name, 0, type, data.get(), size);
    }
    return ERROR_MORE_DATA;
}

// When the value still holds what registration wrote (ours), puts back the
// earlier one from the mirror key, or deletes it when there was none.
void put_back_value(HKEY key, const char* name, HKEY mirror, bool ours) {
    if (!ours) return;
    if (mirror && copy_value(mirror, name, key) == ERROR_SUCCESS) return;
    RegDeleteValueA(key, name);
}

bool is_empty_key(HKEY parent, const char* sub) {
    unique_hkey key;
    if (RegOpenKeyA(parent, sub, key.put()) != ERROR_SUCCESS) return false;
    DWORD subkeys = 1, values = 1;
    return RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                            nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys == 0 && values == 0;
}

// Mirrors one value of key into the mirror key path below the saved key.
bool save_value(HKEY key, const char* name, HKEY saved, const char* mirror) {
    unique_hkey copy;
    if (RegCreateKeyA(saved, mirror, copy.put()) != ERROR_SUCCESS) return false;
    const LONG result = copy_value(key, name, copy.get());
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

}  // namespace gn
