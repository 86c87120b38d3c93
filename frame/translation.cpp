#include "frame/translation.h"

#include "frame/log.h"
#include "frame/translation_text.h"

#include <io.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <new>

namespace {

const wchar_t kTableName[] = L"quorttbl.txt";
// Lines are read in pieces of at most this many bytes, less one.
const int kLineBuffer = 8192;

}  // namespace

void TranslationTable::Locate(HINSTANCE module) noexcept {
    // The module's folder may hold characters the system code page lacks:
    // the path is kept as the platform spells it, and only logged in 8 bits.
    wchar_t file[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(module, file, MAX_PATH);
    // A truncated name would point the table at the wrong folder.
    if (n == 0 || n >= MAX_PATH) return;

    // The module's drive and directory, then the table's name.
    size_t dir = 0;
    for (size_t i = 0; i < n; ++i)
        if (file[i] == L'\\' || file[i] == L'/' || file[i] == L':') dir = i + 1;
    const size_t name_length = ARRAYSIZE(kTableName);  // with the terminator
    wchar_t path[MAX_PATH + ARRAYSIZE(kTableName)] = {};
    std::wmemcpy(path, file, dir);
    std::wmemcpy(path + dir, kTableName, name_length);

    char shown[MAX_PATH * 2] = "";
    if (!WideCharToMultiByte(CP_ACP, 0, path, -1, shown, sizeof shown, nullptr, nullptr)) shown[0] = '\0';
    shown[sizeof shown - 1] = '\0';
    if (dir + name_length > MAX_PATH || _waccess(path, 0) != 0) {
        LogPrint(0, "No translation file at: %s", shown);
        return;
    }
    std::wmemcpy(path_, path, dir + name_length);
    LogPrint(0, "Using translation file: %s", shown);
    present_ = true;
}

void TranslationTable::Clear() noexcept {
    if (!present_) return;
    present_ = false;
    path_[0] = L'\0';
    cache_.clear();
}

bool TranslationTable::Translate(std::vector<std::string>& texts) noexcept {
    gn::cs_lock hold(lock_);
    if (!present_) return false;
    bool result = false;
    try {
        std::vector<bool> pending(texts.size(), true);
        size_t count = texts.size();

        for (size_t i = 0; i < texts.size(); ++i) {
            auto found = cache_.find(texts[i]);
            if (found == cache_.end()) continue;
            texts[i] = found->second;
            pending[i] = false;
            --count;
            result = true;
        }
        if (count == 0) return result;

        if (ScanFile(texts, pending, count)) result = true;
    } catch (const std::exception&) {
        // Out of memory: what is resolved so far stays, the rest unchanged.
    }
    return result;
}

bool TranslationTable::ScanFile(std::vector<std::string>& texts, std::vector<bool>& pending,
                                size_t& count) {
    FILE* raw = _wfopen(path_, L"rt");
    // Gone or unreadable: pending texts stay as they are and are not cached,
    // so they are looked for again next time.
    if (!raw) return false;
    std::unique_ptr<FILE, int (*)(FILE*)> file(raw, &std::fclose);
    std::unique_ptr<char[]> line(new char[kLineBuffer]);

    bool result = false;
    std::string source, translation;
    while (count > 0 && std::fgets(line.get(), kLineBuffer, file.get())) {
        if (!gn::split_table_line(line.get(), source, translation)) continue;
        gn::resolve_escapes(source);

        bool prepared = false;
        std::string shown;
        for (size_t i = 0; i < texts.size(); ++i) {
            if (!pending[i] || texts[i] != source) continue;
            if (!prepared) {
                shown = gn::prepare_translation(source, translation);
                cache_.emplace(source, shown);  // never replaces: the first line wins
                prepared = true;
            }
            texts[i] = shown;
            pending[i] = false;
            --count;
            result = true;
        }
    }
    file.reset();

    // Texts the file does not have are remembered as themselves.
    for (size_t i = 0; i < texts.size(); ++i)
        if (pending[i]) cache_.emplace(texts[i], texts[i]);
    return result;
}
