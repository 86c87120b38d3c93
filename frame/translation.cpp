#include "frame/translation.h"

#include "frame/log.h"
#include "frame/translation_text.h"

#include <io.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace {

const char kTableName[] = "quorttbl.txt";
// Lines are read in pieces of at most this many bytes, less one.
const int kLineBuffer = 8192;

}  // namespace

void TranslationTable::Locate(HINSTANCE module) noexcept {
    char file[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(module, file, MAX_PATH);
    // A truncated name would point the table at the wrong folder.
    if (n == 0 || n >= MAX_PATH) return;

    // The module's drive and directory, then the table's name.
    size_t dir = 0;
    for (size_t i = 0; i < n; ++i)
        if (file[i] == '\\' || file[i] == '/' || file[i] == ':') dir = i + 1;
    char path[MAX_PATH + sizeof kTableName] = {};
    std::memcpy(path, file, dir);
    std::memcpy(path + dir, kTableName, sizeof kTableName);

    if (dir + sizeof kTableName > MAX_PATH || _access(path, 0) != 0) {
        LogPrint(0, "No translation file at: %s", path);
        return;
    }
    std::memcpy(path_, path, dir + sizeof kTableName);
    LogPrint(0, "Using translation file: %s", path_);
    present_ = true;
}

void TranslationTable::Clear() noexcept {
    if (!present_) return;
    present_ = false;
    path_[0] = '\0';
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
    FILE* raw = std::fopen(path_, "rt");
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
