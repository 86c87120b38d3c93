#include "frame/translation_text.h"

#include <cstring>

namespace gn {

bool split_table_line(const char* line, std::string& source, std::string& translation) {
    if (!line) return false;
    const char* tab = std::strchr(line, '\t');
    if (!tab) return false;
    source.assign(line, tab);
    translation.assign(tab + 1);
    return true;
}

void resolve_escapes(std::string& field) {
    // Backwards, so that a control character made here is never read again
    // as the letter after an earlier backslash.
    for (size_t i = field.size(); i-- > 0;) {
        if (field[i] != '\\' || i + 1 >= field.size()) continue;
        char control;
        switch (field[i + 1]) {
        case 'n': control = '\n'; break;
        case 'r': control = '\r'; break;
        case 't': control = '\t'; break;
        default: continue;
        }
        field[i] = control;
        field.erase(i + 1, 1);
    }
}

void trim_line_end(std::string& field) {
    const size_t n = field.size();
    for (size_t back = 1; back <= 2 && back <= n; ++back) {
        const size_t at = n - back;
        if (at < field.size() && (field[at] == '\r' || field[at] == '\n')) field.resize(at);
    }
}

bool is_untranslated_marker(const std::string& translation) {
    return translation == "?" || translation == "[TBT]" ||
           translation.find("[NU]") != std::string::npos;
}

std::string shown_text(const std::string& source, std::string translation) {
    if (is_untranslated_marker(translation)) return source;
    return translation;
}

std::string prepare_translation(const std::string& source, std::string raw_translation) {
    trim_line_end(raw_translation);
    resolve_escapes(raw_translation);
    return shown_text(source, std::move(raw_translation));
}

}  // namespace gn
