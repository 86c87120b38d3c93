// The translation table: the module's user-visible English texts, replaced at
// run time from "quorttbl.txt" beside the module when that file exists at load.
// Lookups go through a cache that also remembers texts without a translation,
// so the file is read at most once per text.
#pragma once

#include "frame/com.h"

#include <windows.h>

#include <map>
#include <string>
#include <vector>

class TranslationTable {
public:
    TranslationTable() noexcept = default;
    ~TranslationTable() = default;
    TranslationTable(const TranslationTable&) = delete;
    TranslationTable& operator=(const TranslationTable&) = delete;

    // Process attach: looks for quorttbl.txt in the module's own folder and
    // logs the outcome. The file is only tested for existence here.
    void Locate(HINSTANCE module) noexcept;

    // Process detach: forgets the path and every cached text. Takes no lock.
    void Clear() noexcept;

    // Replaces each text in place by its translation, or leaves it. True when
    // at least one text was resolved (also to itself) from the cache or the
    // file; false when the table is absent or nothing was resolved. The whole
    // pass runs under the table's lock.
    bool Translate(std::vector<std::string>& texts) noexcept;

    bool IsPresent() const noexcept { return present_; }
    const wchar_t* Path() const noexcept { return path_; }

private:
    // The part of a pass that reads the file: resolves pending texts.
    bool ScanFile(std::vector<std::string>& texts, std::vector<bool>& pending, size_t& count);

    std::map<std::string, std::string> cache_;
    wchar_t path_[MAX_PATH] = {};
    bool present_ = false;
    gn::critical_section lock_;
};

// The module's translation table.
extern TranslationTable g_translation;
