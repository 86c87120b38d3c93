// The stages of registration and unregistration, one file each, and what
// they share: the module stage (module_stage.cpp: class scripts, categories,
// type library), the program's own stage (type_rows.cpp: the document types'
// rows), the foreign association (foreign_association.cpp), the two flavors
// (flavors.cpp), the registry values they write (registry_values.cpp); the
// entry points (entry_points.cpp) run them.
#pragma once

#include <comcat.h>

#include "frame/com.h"
#include "frame/module.h"
#include "registration/script_engine.h"

namespace gn {

constexpr UINT kLauncherScript = 5102;
constexpr UINT kVersionScript = 5106;

// Module stage.
HRESULT run_module_script(UINT id, bool do_register, key_store& store = system_registry());
com_ptr<ICatRegister> create_category_manager();
HRESULT register_module();
void unregister_categories(const class_row& row);
bool unregister_module();

// The two flavors.
unique_cotaskmem<wchar_t> other_flavor_module();
bool unregister_own_view(const wchar_t* other_module);

// The program's own stage.
bool register_document_types(const wchar_t* icon_module);
void unregister_document_types();
// The rows the launcher adds to the document's type key name: kept below
// saved before they are written, and put back (from saved, null: none).
bool save_type_key(HKEY type_key, HKEY saved, const char* name);
void put_back_type_key(const char* name, HKEY saved);

// The foreign association.
bool open_document_type(unique_hkey& type_key);
void put_back_document_type();

// Registry values.
LONG set_string(HKEY key, const char* name, const char* text);
LONG set_icon(HKEY key, const wchar_t* module, int index);
LONG set_dword(HKEY key, const char* name, DWORD number);
bool read_string(HKEY key, const char* name, char (&out)[514]);
LONG open_or_create(HKEY parent, const char* name, unique_hkey& key);
bool holds_text(HKEY key, const char* name, const char* text);
bool holds_number(HKEY key, const char* name, DWORD number);
LONG copy_value(HKEY from, const char* name, HKEY to);
void put_back_value(HKEY key, const char* name, HKEY mirror, bool ours);
bool is_empty_key(HKEY parent, const char* sub);
bool save_value(HKEY key, const char* name, HKEY saved, const char* mirror);

}  // namespace gn
