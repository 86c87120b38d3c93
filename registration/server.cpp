// DllRegisterServer and DllUnregisterServer: the class scripts, categories and
// type library (module stage), then the document and data-file types.
#include <comcat.h>
#include <olectl.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <new>

#include "frame/com.h"
#include "frame/interfaces.h"
#include "frame/log.h"
#include "frame/module.h"
#include "registration/registrar.h"
#include "registration/script_engine.h"
#include "resources/document_types.h"

namespace gn {

namespace {

constexpr UINT kLauncherScript = 5102;
constexpr UINT kVersionScript = 5106;
constexpr LCID kCategoryLocale = 0x409;
constexpr DWORD kEditFlags = 0x10000;

// Runs one of the module's registry scripts with "Module" standing for the
// module's full path, written as UTF-16 whatever the system code page.
HRESULT run_module_script(UINT id, bool do_register, key_store& store = system_registry()) {
    unique_cotaskmem<wchar_t> path;
    RETURN_IF_FAILED(registration_path(_Module.module_instance(), path.put()));
    replacement_map replacements;
    RETURN_IF_FAILED(replacements.add(L"Module", kModuleStandIn));
    module_path_store with_path(store, path.get());
    return run_registry_script(path.get(), id, "REGISTRY", replacements, do_register, with_path);
}

com_ptr<ICatRegister> create_category_manager() {
    com_ptr<ICatRegister> manager;
    CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                     IID_ICatRegister, manager.put_void());
    return manager;
}

// Module stage: every class's script and categories, then the type library.
HRESULT register_module() {
    for (class_row* row = _Module.class_table(); row && row->clsid; ++row) {
        if (row->update_registry) RETURN_IF_FAILED(row->update_registry(true));
        com_ptr<ICatRegister> manager = create_category_manager();
        if (!manager || !row->categories) continue;
        for (const GUID* const* category = row->categories; *category; ++category) {
            CATID id = **category;
            RETURN_IF_FAILED(manager->RegisterClassImplCategories(*row->clsid, 1, &id));
        }
    }
    return register_type_library();
}

void unregister_categories(const class_row& row) {
    com_ptr<ICatRegister> manager = create_category_manager();
    if (!manager || !row.categories) return;
    for (const GUID* const* category = row.categories; *category; ++category) {
        CATID id = **category;
        manager->UnRegisterClassImplCategories(*row.clsid, 1, &id);
    }
}

// False when a script or the type library could not be run or loaded.
bool unregister_module() {
    bool ok = true;
    for (class_row* row = _Module.class_table(); row && row->clsid; ++row) {
        if (row->update_registry && FAILED(row->update_registry(false))) ok = false;
        unregister_categories(*row);
    }
    return SUCCEEDED(unregister_type_library()) && ok;
}

// The 32-bit and the 64-bit flavor of the module can both be registered on a
// 64-bit system, each in its own registry view. The views keep separate class
// keys (HKCR\CLSID); the document types, the MIME database, the programmatic
// identifiers and the type library's key are shared (the library's path is
// kept per target system, "win32" or "win64").
// Whether a file exists, seen without the file-system redirection that a
// 32-bit process has on 64-bit Windows (the other flavor's path names the
// 64-bit system folder as it is, not as this process would see it).
bool file_exists(const wchar_t* path) {
    using redirect_fn = BOOL(WINAPI*)(PVOID*);
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const auto disable = kernel && sizeof(void*) == 4
                             ? proc_address<redirect_fn>(kernel, "Wow64DisableWow64FsRedirection")
                             : nullptr;
    const auto revert = kernel && sizeof(void*) == 4
                            ? proc_address<BOOL(WINAPI*)(PVOID)>(kernel, "Wow64RevertWow64FsRedirection")
                            : nullptr;
    PVOID old = nullptr;
    const bool undo = disable && revert && disable(&old);
    const DWORD attributes = GetFileAttributesW(path);
    if (undo) revert(old);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The other flavor's module when the other registry view names an existing
// server file for the launcher other than this module; else empty.
unique_cotaskmem<wchar_t> other_flavor_module() {
    unique_cotaskmem<wchar_t> none;
    const bool is_64_bit = sizeof(void*) == 8;
    BOOL wow64 = FALSE;
    if (!is_64_bit && (!IsWow64Process(GetCurrentProcess(), &wow64) || !wow64)) return none;
    const REGSAM other_view = is_64_bit ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
    char server_key[80];
    std::snprintf(server_key, sizeof server_key, "CLSID\\%s\\InprocServer32",
                  registry_text(CLSID_MorvaneLauncher).text);
    unique_hkey key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, server_key, 0, KEY_READ | other_view, key.put()) !=
        ERROR_SUCCESS)
        return none;
    DWORD type = 0, size = 0;
    if (RegQueryValueExW(key.get(), nullptr, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_SZ || size > 65536)
        return none;
    unique_cotaskmem<wchar_t> other(static_cast<wchar_t*>(CoTaskMemAlloc(size + sizeof(wchar_t))));
    if (!other) return none;
    if (RegQueryValueExW(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(other.get()),
                         &size) != ERROR_SUCCESS || type != REG_SZ)
        return none;
    other.get()[size / sizeof(wchar_t)] = L'\0';
    unique_cotaskmem<wchar_t> own;
    if (FAILED(registration_path(_Module.module_instance(), own.put()))) return none;
    if (lstrcmpiW(own.get(), other.get()) == 0 || !file_exists(other.get())) return none;
    return other;
}

bool register_document_types(const wchar_t* icon_module);

// Unregistration while the other flavor stays registered: only what this
// view holds for itself goes (class keys, categories, the library's path for
// this target system); the shared keys stay for the other flavor. They are
// written again first, because an installer may just have removed its own
// copy of them, with the data-file icon taken from the module that stays.
// False when a stage failed.
bool unregister_own_view(const wchar_t* other_module) {
    bool ok = register_module() == S_OK && register_document_types(other_module);
    for (const UINT script : {kLauncherScript, kVersionScript})
        if (FAILED(run_module_script(script, false, own_view_registry()))) ok = false;
    for (class_row* row = _Module.class_table(); row && row->clsid; ++row)
        unregister_categories(*row);
    return SUCCEEDED(unregister_type_library()) && ok;
}

// Whether the category is declared already. Every Windows declares the
// safe-for-scripting and safe-for-initializing categories with descriptions
// of its own, which registration keeps.
bool category_declared(const GUID& category) {
    char name[80];
    std::snprintf(name, sizeof name, "Component Categories\\%s", registry_text(category).text);
    unique_hkey key;
    return RegOpenKeyExA(HKEY_CLASSES_ROOT, name, 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

// Declares a category with its description unless it is declared already,
// then marks the launcher class as implementing it. Each call has a category
// manager of its own.
HRESULT mark_launcher_safe(const GUID& category, const wchar_t* description) {
    if (!category_declared(category)) {
        com_ptr<ICatRegister> manager = create_category_manager();
        RETURN_HR_IF(E_FAIL, !manager);
        CATEGORYINFO info = {};
        info.catid = category;
        info.lcid = kCategoryLocale;
        const size_t n = std::wcslen(description);
        const size_t keep = n < 127 ? n : 127;
        std::wmemcpy(info.szDescription, description, keep);
        info.szDescription[keep] = L'\0';
        RETURN_IF_FAILED(manager->RegisterCategories(1, &info));
    }
    com_ptr<ICatRegister> manager = create_category_manager();
    RETURN_HR_IF(E_FAIL, !manager);
    CATID id = category;
    return manager->RegisterClassImplCategories(CLSID_MorvaneLauncher, 1, &id);
}

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
    return RegCreateKeyExA(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                           nullptr, key.put(), nullptr);
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
    return RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                            &values, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys == 0 && values == 0;
}

// Mirrors one value of key into the mirror key path below the saved key.
bool save_value(HKEY key, const char* name, HKEY saved, const char* mirror) {
    unique_hkey copy;
    if (RegCreateKeyA(saved, mirror, copy.put()) != ERROR_SUCCESS) return false;
    const LONG result = copy_value(key, name, copy.get());
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

// ---------------------------------------------------------------------------
// The program's own stage as rows of keys and values, walked in order. A key
// row opens a key, either at the classes root (it becomes the main key) or
// below the main key; a value row writes into the key opened last (current)
// or into the main key. A row may log a line when it succeeds and another
// when it fails; %s in either stands for the row's subject. The first failure
// ends the walk. Unregistration walks the same rows back: remove_rows for
// the keys that are the launcher's alone, put_back_rows for a type key that
// may be another program's (whose values save_rows keeps first).
enum class row_kind { create_key, open_key, text, number };
enum class row_key { root, main, current };

struct registry_row {
    row_kind kind;
    row_key key;
    const char* name;         // key path, or value name (null: the default value)
    const char* text;         // text rows: the value (or one of the markers below)
    const char* done_log;     // logged after the row succeeded, or null
    const char* failed_log;   // logged when it failed, or null
    const char* subject;      // what %s names (or one of the markers below)
    DWORD number = kEditFlags;  // number rows: the value; the icon row: the icon's index
};

bool is_key_row(const registry_row& row) {
    return row.kind == row_kind::create_key || row.kind == row_kind::open_key;
}

// Texts known only when registration runs, and the markers that stand for
// them in the rows.
struct run_texts {
    guid_text launcher = registry_text(CLSID_MorvaneLauncher);
    guid_text data_file = registry_text(CLSID_MorvaneLauncherData);
    const wchar_t* icon_module = nullptr;  // the module whose icon the data files show
};
const char kLauncherClsid[] = "(launcher class)";
const char kDataFileClsid[] = "(data-file class)";
const char kModuleIcon[] = "(module icon)";

const char* resolve(const char* text, const run_texts& texts) {
    if (text == kLauncherClsid) return texts.launcher.text;
    if (text == kDataFileClsid) return texts.data_file.text;
    return text;
}

const char kCreated[] = "Created Key: %s";
const char kNoKey[] = "Failed to open/create key: %s";
const char kNoValues[] = "Failed to write values in key: %s";

using K = row_kind;
using At = row_key;
constexpr const document_type& kDocument = kDocumentType;

// The document type's MIME database entry.
const registry_row kDocumentMimeRows[] = {
    {K::create_key, At::root, kDocument.mime_key, nullptr, kCreated, nullptr, kDocument.mime_key},
    {K::text, At::current, "Extension", kDocument.extension, "Set Value: %s", nullptr, "Extension"},
    {K::text, At::current, "CLSID", kLauncherClsid, "\tSet Value: %s", nullptr, "CLSID"},
};

// What the launcher adds to the document's type key (the main key here).
const registry_row kTypeKeyRows[] = {
    {K::create_key, At::main, "CLSID", nullptr, kCreated, nullptr, "CLSID"},
    {K::text, At::current, nullptr, kLauncherClsid, "\tSet Value: %s", nullptr, kLauncherClsid},
    {K::create_key, At::main, "DocObject", nullptr, kCreated, nullptr, "DocObject"},
    {K::text, At::current, nullptr, "0", nullptr, nullptr, nullptr},
    {K::number, At::main, "EditFlags", nullptr, nullptr, nullptr, nullptr},
};

// What the launcher writes for each type of its own (every type after the
// document), opened by the data-file class: its file-type key, its type key
// with the module's icon, and its MIME database entry.
using own_type_rows = std::array<registry_row, 15>;
own_type_rows rows_of(const document_type& type) {
    const auto icon = static_cast<DWORD>(type.icon);
    return {{
        {K::open_key, At::root, type.extension, nullptr, nullptr, kNoKey, type.extension},
        {K::text, At::current, nullptr, type.type_key, nullptr, kNoValues, type.extension},
        {K::text, At::current, "Content Type", type.mime, nullptr, kNoValues, type.extension},
        {K::open_key, At::root, type.type_key, nullptr, nullptr, kNoKey, type.type_key},
        {K::text, At::current, nullptr, type.display_name, nullptr, kNoValues, type.type_key},
        {K::number, At::current, "EditFlags", nullptr, nullptr, kNoValues, type.type_key},
        {K::open_key, At::main, "CLSID", nullptr, nullptr, kNoKey, "CLSID"},
        {K::text, At::current, nullptr, kDataFileClsid, nullptr, kNoValues, "CLSID"},
        {K::open_key, At::main, "DocObject", nullptr, nullptr, kNoKey, "DocObject"},
        {K::text, At::current, nullptr, "0", nullptr, kNoValues, "DocObject"},
        {K::open_key, At::main, "DefaultIcon", nullptr, nullptr, kNoKey, "DefaultIcon"},
        {K::text, At::current, nullptr, kModuleIcon, nullptr, kNoValues, "DefaultIcon", icon},
        {K::open_key, At::root, type.mime_key, nullptr, nullptr, kNoKey, type.mime_key},
        {K::text, At::current, "CLSID", kDataFileClsid, nullptr, kNoValues, type.mime_key},
        {K::text, At::current, "Extension", type.extension, nullptr, kNoValues, type.mime_key},
    }};
}

constexpr bool own_types_have_icons() {
    for (const document_type* type : kDocumentTypes)
        if (type != &kDocument && type->icon < 0) return false;
    return true;
}
static_assert(kDocumentTypes[0] == &kDocument && own_types_have_icons(),
              "the document comes first; every type of the launcher's own shows an icon");

// Walks rows from main (null: none yet).
template <typename Rows>
bool write_rows(const Rows& rows, const run_texts& texts, HKEY main) {
    unique_hkey root_key, sub_key;  // the keys the rows opened
    HKEY current = main;
    for (const registry_row& row : rows) {
        LONG result = ERROR_SUCCESS;
        switch (row.kind) {
        case K::create_key:
        case K::open_key: {
            const bool at_root = row.key == At::root;
            unique_hkey& key = at_root ? root_key : sub_key;
            const HKEY parent = at_root ? HKEY_CLASSES_ROOT : main;
            result = row.kind == K::create_key ? RegCreateKeyA(parent, row.name, key.put())
                                               : open_or_create(parent, row.name, key);
            current = key.get();
            if (at_root) main = current;
            break;
        }
        case K::text:
            result = row.text == kModuleIcon
                         ? set_icon(row.key == At::main ? main : current, texts.icon_module,
                                    static_cast<int>(row.number))
                         : set_string(row.key == At::main ? main : current, row.name,
                                      resolve(row.text, texts));
            break;
        case K::number:
            result = set_dword(row.key == At::main ? main : current, row.name, row.number);
            break;
        }
        const char* log = result == ERROR_SUCCESS ? row.done_log : row.failed_log;
        if (log) LogPrintSubject(log, resolve(row.subject, texts));
        if (result != ERROR_SUCCESS) return false;
    }
    return true;
}

// Unregistration of rows whose keys are the launcher's alone: every key they
// open goes, and so does every number written into a main key, which would
// otherwise still mark a key that stays (another program's subkey in it) as
// safe to open. Texts go with their keys.
template <typename Rows>
void remove_rows(const Rows& rows) {
    const char* main = nullptr;
    unique_hkey main_key;
    bool in_subkey = false;
    for (const registry_row& row : rows) {
        if (is_key_row(row) && row.key == At::root) {
            main_key.reset();
            if (main) RegDeleteKeyA(HKEY_CLASSES_ROOT, main);
            main = row.name;
            in_subkey = false;
            RegOpenKeyA(HKEY_CLASSES_ROOT, main, main_key.put());
        } else if (is_key_row(row)) {
            in_subkey = true;
            if (main_key) RegDeleteKeyA(main_key.get(), row.name);
        } else if (row.kind == K::number && main_key && (row.key == At::main || !in_subkey)) {
            RegDeleteValueA(main_key.get(), row.name);
        }
    }
    main_key.reset();
    if (main) RegDeleteKeyA(HKEY_CLASSES_ROOT, main);
}

// Unregistration of rows written into the type key name, which may be
// another program's: each value goes back to what the mirror below saved
// kept (or goes, when it was not there before), but only while it still
// holds what the rows wrote; a subkey the rows made goes when nothing else
// is left in it.
template <typename Rows>
void put_back_rows(const Rows& rows, const run_texts& texts, const char* name,
                   HKEY saved) {
    unique_hkey main, main_mirror, sub, sub_mirror;
    if (RegOpenKeyA(HKEY_CLASSES_ROOT, name, main.put()) != ERROR_SUCCESS) return;
    if (saved) RegOpenKeyA(saved, name, main_mirror.put());
    const char* sub_name = nullptr;
    const auto end_subkey = [&] {
        const bool mirrored = static_cast<bool>(sub_mirror);
        sub.reset();
        sub_mirror.reset();
        if (sub_name && !mirrored && is_empty_key(main.get(), sub_name))
            RegDeleteKeyA(main.get(), sub_name);
    };
    for (const registry_row& row : rows) {
        if (is_key_row(row)) {
            end_subkey();
            sub_name = row.name;
            RegOpenKeyA(main.get(), sub_name, sub.put());
            if (main_mirror) RegOpenKeyA(main_mirror.get(), sub_name, sub_mirror.put());
            continue;
        }
        const bool in_subkey = row.key == At::current && sub_name;
        const HKEY key = in_subkey ? sub.get() : main.get();
        if (!key) continue;
        const bool ours = row.kind == K::number ? holds_number(key, row.name, row.number)
                                                : holds_text(key, row.name, resolve(row.text, texts));
        put_back_value(key, row.name, in_subkey ? sub_mirror.get() : main_mirror.get(), ours);
    }
    end_subkey();
}

// Before the rows change the type key name: mirrors each value they are
// about to write (of a subkey only when that subkey exists) below saved.
template <typename Rows>
bool save_rows(const Rows& rows, HKEY type_key, HKEY saved, const char* name) {
    unique_hkey sub;
    char mirror[514 + 64] = {};  // name\subkey once a key row came
    for (const registry_row& row : rows) {
        if (is_key_row(row)) {
            sub.reset();
            RegOpenKeyA(type_key, row.name, sub.put());
            lstrcpynA(mirror, name, 514);
            lstrcatA(mirror, "\\");
            lstrcatA(mirror, row.name);
            continue;
        }
        const bool in_subkey = row.key == At::current && mirror[0];
        if (in_subkey && !sub) continue;
        if (!save_value(in_subkey ? sub.get() : type_key, row.name, saved, in_subkey ? mirror : name))
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Another program's association of the document type. When its file-type
// key names a type key other than the document's own, registration adds the
// launcher to that key; the values it is about to change are first kept in
// a key of the module's own, as a mirror:
//   HKCR\DZxLauncher.SavedAssociation          default = the type key's name
//       <file-type key>                         "Content Type" as it was
//       <type key>                              "EditFlags" as it was
//           CLSID, DocObject                    present when the type key had
//                                               them, with their old defaults
// A value missing from the mirror was not there before. Unregistration puts
// back every value that still holds what registration wrote and then removes
// the mirror. Nothing of this exists when the file-type key names the
// document's own type key.
const char kSavedKey[] = "DZxLauncher.SavedAssociation";

// A name the file-type key can point at: one key directly under the classes root.
bool is_type_name(const char* name) {
    return name[0] && !std::strchr(name, '\\');
}

// Before registration changes a foreign association: keeps the values it is
// about to change, unless an earlier registration kept them already. False
// when they cannot be kept (then nothing foreign may be changed).
bool save_foreign_association(HKEY extension) {
    char name[514];
    if (!read_string(extension, nullptr, name) || !is_type_name(name) ||
        lstrcmpiA(name, kDocument.type_key) == 0)
        return true;
    unique_hkey type_key;
    if (RegOpenKeyA(HKEY_CLASSES_ROOT, name, type_key.put()) != ERROR_SUCCESS) return true;
    unique_hkey saved;
    if (RegOpenKeyA(HKEY_CLASSES_ROOT, kSavedKey, saved.put()) == ERROR_SUCCESS) return true;
    if (RegCreateKeyA(HKEY_CLASSES_ROOT, kSavedKey, saved.put()) != ERROR_SUCCESS) return false;
    const bool kept = set_string(saved.get(), nullptr, name) == ERROR_SUCCESS &&
                      save_value(extension, "Content Type", saved.get(), kDocument.extension) &&
                      save_rows(kTypeKeyRows, type_key.get(), saved.get(), name);
    saved.reset();
    if (!kept) {
        RegDeleteTreeA(HKEY_CLASSES_ROOT, kSavedKey);
        LogPrint(0, "Failed to save the association of %s: %s", kDocument.extension, name);
        return false;
    }
    LogPrint(0, "Saved the association of %s: %s", kDocument.extension, name);
    return true;
}

// The document's file-type key and the type key it names: the one named
// when that one exists, else the document's own. A foreign association is
// kept before it changes.
bool open_document_type(unique_hkey& type_key) {
    const char* const extension_name = kDocument.extension;
    unique_hkey extension;
    bool existed = true;
    if (RegOpenKeyA(HKEY_CLASSES_ROOT, extension_name, extension.put()) != ERROR_SUCCESS) {
        LogPrint(0, "Non existent Key: %s", extension_name);
        if (RegCreateKeyA(HKEY_CLASSES_ROOT, extension_name, extension.put()) != ERROR_SUCCESS)
            return false;
        LogPrint(0, "Created Key: %s", extension_name);
        existed = false;
    }
    LogPrint(0, "---> Opened Key: %s", extension_name);
    if (existed && !save_foreign_association(extension.get())) return false;
    if (set_string(extension.get(), "Content Type", kDocument.mime) != ERROR_SUCCESS) return false;
    LogPrint(0, "\tSet Value: %s", "Content Type");

    bool use_own_type = true;
    if (existed) {
        char current[514];
        if (read_string(extension.get(), nullptr, current)) {
            LogPrint(0, "Query Value on %s: %s", extension_name, current);
            // A name with a backslash is a path, not a type key of this level.
            if (is_type_name(current) &&
                RegOpenKeyA(HKEY_CLASSES_ROOT, current, type_key.put()) == ERROR_SUCCESS)
                use_own_type = false;
        }
        if (use_own_type)
            LogPrint(0, "No valid value stored on \"(Default)\" value of %s key - fixing...\n",
                     extension_name);
    }
    if (!use_own_type) return true;
    if (RegOpenKeyA(HKEY_CLASSES_ROOT, kDocument.type_key, type_key.put()) != ERROR_SUCCESS) {
        LogPrint(0, "%s key does not exist, creating...\n", kDocument.type_key);
        if (RegCreateKeyA(HKEY_CLASSES_ROOT, kDocument.type_key, type_key.put()) != ERROR_SUCCESS)
            return false;
        if (set_string(type_key.get(), nullptr, kDocument.display_name) != ERROR_SUCCESS)
            return false;
    }
    LogPrint(0, "Store %s on %s key.\n", kDocument.type_key, extension_name);
    return set_string(extension.get(), nullptr, kDocument.type_key) == ERROR_SUCCESS;
}

// The program's own stage, with the data files showing the icon of
// icon_module (null: this module). Returns true when everything was written;
// a failure stops at once, with only the log lines of the steps that name
// their key.
bool register_document_types(const wchar_t* icon_module) {
    run_texts texts;
    unique_cotaskmem<wchar_t> module_path;
    if (!icon_module) {
        if (FAILED(registration_path(_Module.module_instance(), module_path.put()))) return false;
        icon_module = module_path.get();
    }
    texts.icon_module = icon_module;

    if (!write_rows(kDocumentMimeRows, texts, nullptr)) return false;
    {
        unique_hkey type_key;
        if (!open_document_type(type_key)) return false;
        if (!write_rows(kTypeKeyRows, texts, type_key.get())) return false;
    }

    // The launcher class is safe for initializing and for scripting.
    if (FAILED(mark_launcher_safe(CATID_SafeForInitializing,
                                  L"Controls safely initializable from persistent data!")))
        return false;
    LogPrint(0, "Marked control safe for initializing");
    if (FAILED(mark_launcher_safe(CATID_SafeForScripting, L"Controls safely scriptable!")))
        return false;
    LogPrint(0, "Marked control safe for scripting");

    for (const document_type* type : kDocumentTypes) {
        if (type == &kDocument) continue;
        LogPrint(0, "Register control for %s files", type->extension);
        if (!write_rows(rows_of(*type), texts, nullptr)) return false;
    }
    return true;
}

// The program's own stage undone, row table by row table. The document's
// file-type key stays with the type key it names; what registration changed
// in them goes back to what a saved association kept.
void unregister_document_types() {
    const run_texts texts;
    unique_hkey saved;
    char saved_type[514] = {};
    if (RegOpenKeyA(HKEY_CLASSES_ROOT, kSavedKey, saved.put()) == ERROR_SUCCESS &&
        !(read_string(saved.get(), nullptr, saved_type) && is_type_name(saved_type)))
        saved_type[0] = '\0';

    unique_hkey extension;
    if (RegOpenKeyA(HKEY_CLASSES_ROOT, kDocument.extension, extension.put()) == ERROR_SUCCESS) {
        char text[514];
        if (read_string(extension.get(), "CLSID", text)) {
            if (std::strcmp(text, texts.launcher.text) == 0)
                RegDeleteValueA(extension.get(), "CLSID");
        } else if (read_string(extension.get(), nullptr, text) && is_type_name(text) &&
                   lstrcmpiA(text, saved_type) != 0) {
            // The type key named now; a saved one is put back below.
            put_back_rows(kTypeKeyRows, texts, text, nullptr);
        }
        unique_hkey mirror;
        if (saved) RegOpenKeyA(saved.get(), kDocument.extension, mirror.put());
        put_back_value(extension.get(), "Content Type", mirror.get(),
                       holds_text(extension.get(), "Content Type", kDocument.mime));
    }
    extension.reset();
    if (saved) {
        if (saved_type[0]) {
            put_back_rows(kTypeKeyRows, texts, saved_type, saved.get());
            LogPrint(0, "Restored the association of %s: %s", kDocument.extension, saved_type);
        }
        saved.reset();
        RegDeleteTreeA(HKEY_CLASSES_ROOT, kSavedKey);
    }
    remove_rows(kDocumentMimeRows);
    for (const document_type* type : kDocumentTypes)
        if (type != &kDocument) remove_rows(rows_of(*type));
}

// COM for the category manager and the type library, when the caller has
// not started it on this thread.
class com_scope {
public:
    com_scope() : hr_(CoInitialize(nullptr)) {}
    ~com_scope() { if (SUCCEEDED(hr_)) CoUninitialize(); }
    com_scope(const com_scope&) = delete;
    com_scope& operator=(const com_scope&) = delete;
private:
    HRESULT hr_;
};

}  // namespace

HRESULT register_launcher_script(bool do_register) {
    return run_module_script(kLauncherScript, do_register);
}

HRESULT register_version_script(bool do_register) {
    return run_module_script(kVersionScript, do_register);
}

}  // namespace gn

extern "C" HRESULT WINAPI DllRegisterServer() {
    gn::com_scope com;
    LogPrint(0, "Start registration");
    // A module whose path the platform cannot give, or whose type library
    // cannot be loaded from there, fails before anything is written.
    gn::unique_cotaskmem<wchar_t> path;
    if (FAILED(gn::registration_path(_Module.module_instance(), path.put())) ||
        FAILED(gn::check_type_library())) {
        LogPrint(0, "_Module.RegisterServer() failed\n");
        return SELFREG_E_CLASS;
    }
    if (gn::register_module() != S_OK) {
        LogPrint(0, "_Module.RegisterServer() failed\n");
        return SELFREG_E_CLASS;
    }
    if (gn::register_document_types(nullptr)) return S_OK;
    LogPrint(0, "ERROR: Cannot register MorvaneLauncher class");
    MessageBoxA(nullptr, "Cannot register MorvaneLauncher class", "Registration Error", MB_OK);
    return SELFREG_E_CLASS;
}

// Reports failure when any stage failed, so that a tool never takes a half
// unregistration for a whole one; every stage runs even so.
extern "C" HRESULT WINAPI DllUnregisterServer() {
    gn::com_scope com;
    LogPrint(0, "Start unregistration");
    gn::unique_cotaskmem<wchar_t> path;
    if (FAILED(gn::registration_path(_Module.module_instance(), path.put()))) {
        LogPrint(0, "_Module.UnregisterServer() failed\n");
        return SELFREG_E_CLASS;
    }
    bool ok = true;
    if (gn::unique_cotaskmem<wchar_t> other = gn::other_flavor_module()) {
        LogPrint(0, "The other flavor of the module stays registered: shared keys kept");
        ok = gn::unregister_own_view(other.get());
    } else {
        ok = gn::unregister_module();
        gn::unregister_document_types();
    }
    if (ok) return S_OK;
    LogPrint(0, "_Module.UnregisterServer() failed\n");
    return SELFREG_E_CLASS;
}
