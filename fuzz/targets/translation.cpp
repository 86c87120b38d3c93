// The translation table's line rules on arbitrary lines.
#include <cstddef>
#include <cstdint>
#include <string>

#include "frame/translation_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string line(reinterpret_cast<const char*>(data), size);
    std::string source, translation;
    if (gn::split_table_line(line.c_str(), source, translation)) {
        const std::string shown = gn::prepare_translation(source, translation);
        (void)shown;
    }
    std::string field = line;
    gn::resolve_escapes(field);
    gn::trim_line_end(field);
    (void)gn::is_untranslated_marker(field);
    return 0;
}
