// The files that cannot include resources/document_types.h (the version record,
// the class script, the installer, the test document server) say what its
// table says, and name no document type it does not hold.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "resources/document_types.h"

namespace {

std::string read_source(const std::string& path) {
    std::ifstream in(GN_SOURCE_DIR + path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
    return parts;
}

struct place {
    std::string file;
    std::vector<std::string> says;  // texts the file must hold
};

TEST(DocumentTypes, EveryOtherPlaceSaysWhatTheTableSays) {
    const gn::document_type& document = gn::kDocumentType;
    const std::string doc_extension = document.extension, doc_type = document.type_key;
    std::string mimes, extents, open_names;
    std::set<std::string> names;  // every document-type name the table holds
    place script{"resources/5102.rgs", {}}, server{"tools/docserver.py", {}};
    for (const gn::document_type* type : gn::kDocumentTypes) {
        const std::string bar = type == gn::kDocumentTypes[0] ? "" : "|";
        mimes += bar + type->mime;
        extents += bar + type->extents;
        open_names += bar + type->open_name;
        // The file-type key is the first of the version record's extensions
        // and one the open dialog offers.
        EXPECT_EQ(split(type->extents, ',')[0], type->extension + 1) << type->extension;
        EXPECT_NE(std::string(type->open_name).find(std::string("*") + type->extension),
                  std::string::npos) << type->extension;
        EXPECT_EQ(std::string(type->mime_key), std::string("MIME\\DataBase\\Content Type\\") + type->mime);
        names.insert({type->type_key, type->mime});
        for (const std::string& extension : split(type->extents, ',')) {
            names.insert("." + extension);
            server.says.push_back("\"." + extension + "\": \"" + type->mime + "\"");
        }
        script.says.push_back(std::string("= s '") + type->display_name + "'");
        script.says.push_back(std::string("ProgID = s '") + type->type_key + "'");
        script.says.push_back(std::string("ForceRemove ") + type->extension);
    }
    const place places[] = {
        {"resources/GNLauncher.rc",
         {"VALUE \"MIMEType\", \"" + mimes + "\\0\"", "VALUE \"FileExtents\", \"" + extents + "\\0\"",
          "VALUE \"FileOpenName\", \"" + open_names + "\\0\""}},
        script,
        {"installer/regfile.py", {"DOCTYPE_KEYS = (\"" + doc_extension + "\", \"" + doc_type + "\")"}},
        {"installer/msitables.py", {"GN_DZY_OWNER~=\"" + doc_type + "\""}},
        {"installer/GNLauncher.wxs", {"Root=\"HKCR\" Key=\"" + doc_extension + "\""}},
        server,
    };
    const std::regex name_form(R"(\.dz[a-z0-9]+|dz[a-z0-9]file|application/x-quorquery[a-z]*)");
    for (const place& p : places) {
        const std::string text = read_source(p.file);
        ASSERT_FALSE(text.empty()) << p.file;
        for (const std::string& said : p.says)
            EXPECT_NE(text.find(said), std::string::npos) << p.file << " lacks " << said;
        for (std::sregex_iterator it(text.begin(), text.end(), name_form), end; it != end; ++it)
            EXPECT_TRUE(names.count(it->str())) << p.file << " names " << it->str();
    }
}

}  // namespace
