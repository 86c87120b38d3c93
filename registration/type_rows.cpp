// The program's own stage: the document types' keys as rows of keys and
// values, walked forward to register them and back to unregister them.
#include <comcat.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "frame/com.h"
#include "frame/interfaces.h"
#include "frame/log.h"
#include "frame/module.h"
#include "registration/registrar.h"
#include "registration/stages.h"
#include "resources/document_types.h"

namespace gn {

namespace {

constexpr LCID kCategoryLocale = 0x409;
constexpr DWORD kEditFlags = 0x10000;

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
    const char* name;           // key path, or value name (null: the default value)
    const char* text;           // text rows: the value (or one of the markers below)
    const char* done_log;       // logged after the row succeeded, or null
    const char* failed_log;     // logged when it failed, or null
    const char* subject;        // what %s names (or one of the markers below)
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
            result = row.text == kModuleIcon ? set_icon(row.key == At::main ? main : current,
                                                        texts.icon_module, static_cast<int>(row.number))
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
void put_back_rows(const Rows& rows, const run_texts& texts, const char* name, HKEY saved) {
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

}  // namespace

bool save_type_key(HKEY type_key, HKEY saved, const char* name) {
    return save_rows(kTypeKeyRows, type_key, saved, name);
}

void put_back_type_key(const char* name, HKEY saved) {
    put_back_rows(kTypeKeyRows, run_texts(), name, saved);
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
    if (FAILED(mark_launcher_safe(CATID_SafeForScripting, L"Controls safely scriptable!"))) return false;
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
    put_back_document_type();
    remove_rows(kDocumentMimeRows);
    for (const document_type* type : kDocumentTypes)
        if (type != &kDocument) remove_rows(rows_of(*type));
}

}  // namespace gn
