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
#include <cstring>

#include "frame/com.h"
#include "frame/interfaces.h"
#include "frame/log.h"
#include "registration/stages.h"
#include "resources/document_types.h"

namespace gn {

namespace {

constexpr const document_type& kDocument = kDocumentType;

const char kSavedKey[] = "DZxLauncher.SavedAssociation";

// A name the file-type key can point at: one key directly under the classes root.
bool is_type_name(const char* name) { return name[0] && !std::strchr(name, '\\'); }

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
                      save_type_key(type_key.get(), saved.get(), name);
    saved.reset();
    if (!kept) {
        RegDeleteTreeA(HKEY_CLASSES_ROOT, kSavedKey);
        LogPrint(0, "Failed to save the association of %s: %s", kDocument.extension, name);
        return false;
    }
    LogPrint(0, "Saved the association of %s: %s", kDocument.extension, name);
    return true;
}

}  // namespace

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
        if (set_string(type_key.get(), nullptr, kDocument.display_name) != ERROR_SUCCESS) return false;
    }
    LogPrint(0, "Store %s on %s key.\n", kDocument.type_key, extension_name);
    return set_string(extension.get(), nullptr, kDocument.type_key) == ERROR_SUCCESS;
}

// Unregistration of the document's file-type key and the type key it names:
// they stay, and what registration changed in them goes back to what a saved
// association kept.
void put_back_document_type() {
    const guid_text launcher = registry_text(CLSID_MorvaneLauncher);
    unique_hkey saved;
    char saved_type[514] = {};
    if (RegOpenKeyA(HKEY_CLASSES_ROOT, kSavedKey, saved.put()) == ERROR_SUCCESS &&
        !(read_string(saved.get(), nullptr, saved_type) && is_type_name(saved_type)))
        saved_type[0] = '\0';

    unique_hkey extension;
    if (RegOpenKeyA(HKEY_CLASSES_ROOT, kDocument.extension, extension.put()) == ERROR_SUCCESS) {
        char text[514];
        if (read_string(extension.get(), "CLSID", text)) {
            if (std::strcmp(text, launcher.text) == 0) RegDeleteValueA(extension.get(), "CLSID");
        } else if (read_string(extension.get(), nullptr, text) && is_type_name(text) &&
                   lstrcmpiA(text, saved_type) != 0) {
            // The type key named now; a saved one is put back below.
            put_back_type_key(text, nullptr);
        }
        unique_hkey mirror;
        if (saved) RegOpenKeyA(saved.get(), kDocument.extension, mirror.put());
        put_back_value(extension.get(), "Content Type", mirror.get(),
                       holds_text(extension.get(), "Content Type", kDocument.mime));
    }
    extension.reset();
    if (saved) {
        if (saved_type[0]) {
            put_back_type_key(saved_type, saved.get());
            LogPrint(0, "Restored the association of %s: %s", kDocument.extension, saved_type);
        }
        saved.reset();
        RegDeleteTreeA(HKEY_CLASSES_ROOT, kSavedKey);
    }
}

}  // namespace gn
