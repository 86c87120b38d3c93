// The translation table inside a loaded module: quorttbl.txt beside a private
// copy of the test DLL, located at load and read on demand through the cache.
#include <gtest/gtest.h>

#include "test_dll.h"

#include <cstring>
#include <thread>

using gntest::TestDll;
using Texts = std::vector<std::string>;

namespace {

bool contains(const std::string& haystack, const std::string& needle) {
    return haystack.find(needle) != std::string::npos;
}

// A copy of the DLL with the given table, loaded.
struct Loaded {
    explicit Loaded(const std::string& name, const char* table = nullptr, size_t size = 0)
        : dll(name) {
        if (table) dll.write_table(std::string(table, size ? size : std::strlen(table)));
        loaded = dll.load();
    }
    TestDll dll;
    bool loaded = false;
};

TEST(TranslationTable, AbsentTableTranslatesNothing) {
    Loaded m("tt_absent");
    ASSERT_TRUE(m.loaded);
    EXPECT_EQ(0, m.dll.call(GnTestIsTablePresent));
    Texts texts{"OK", "Cancel"};
    EXPECT_EQ(0, m.dll.translate(texts));
    EXPECT_EQ((Texts{"OK", "Cancel"}), texts);

    // A table written after the load is never looked at.
    m.dll.write_table("OK\tJa\n");
    EXPECT_EQ(0, m.dll.translate(texts));
    EXPECT_EQ("OK", texts[0]);

    const std::string log = m.dll.unload();
    EXPECT_TRUE(contains(log, "No translation file at: " + m.dll.table_path() + "\n")) << log;
    EXPECT_FALSE(contains(log, "Using translation file")) << log;
}

TEST(TranslationTable, TranslatesWholeTextsByCase) {
    Loaded m("tt_plain", "Cancel\tAbbrechen\nOK\tJa\n");
    ASSERT_TRUE(m.loaded);
    EXPECT_EQ(1, m.dll.call(GnTestIsTablePresent));
    Texts texts{"Cancel", "cancel", "Cancel ", "OK", "Cancel"};
    EXPECT_EQ(1, m.dll.translate(texts));
    EXPECT_EQ((Texts{"Abbrechen", "cancel", "Cancel ", "Ja", "Abbrechen"}), texts)
        << gntest::shown(texts);

    // Nothing the file knows: still true, every text resolved to itself.
    Texts none{"cancel"};
    EXPECT_EQ(1, m.dll.translate(none));
    EXPECT_EQ("cancel", none[0]);
    Texts empty_list;
    EXPECT_EQ(0, m.dll.translate(empty_list));

    const std::string log = m.dll.unload();
    EXPECT_TRUE(contains(log, "Using translation file: " + m.dll.table_path() + "\n")) << log;
}

TEST(TranslationTable, MarkersEmptyFieldsAndFirstLineWins) {
    Loaded m("tt_markers",
             "Q\t?\n"
             "QQ\t??\n"
             "T\t[TBT]\n"
             "N\talt [NU] text\n"
             "X\t[TBT]x\n"
             "E\t\n"
             "Tabs\ta\tb\n"
             "no tab on this line\n"
             "Q\tsecond\n"
             "First\tone\n"
             "First\ttwo\n");
    ASSERT_TRUE(m.loaded);
    Texts texts{"Q", "QQ", "T", "N", "X", "E", "Tabs", "First", "no tab on this line"};
    EXPECT_EQ(1, m.dll.translate(texts));
    EXPECT_EQ((Texts{"Q", "??", "T", "N", "[TBT]x", "", "a\tb", "one", "no tab on this line"}), texts)
        << gntest::shown(texts);
    // The cache gives the same answers.
    Texts again{"First", "E", "Q"};
    EXPECT_EQ(1, m.dll.translate(again));
    EXPECT_EQ((Texts{"one", "", "Q"}), again);
}

TEST(TranslationTable, EscapesInBothFields) {
    Loaded m("tt_escapes",
             "Line\\none\tZeile\\neins\n"
             "Back\\\\n\tslash\n"
             "Tab\\tbed\tend\\\n"
             "Ends\\\tx\\q\\\n"
             "Plain\\x\tkept\\x\n");
    ASSERT_TRUE(m.loaded);
    Texts texts{"Line\none", "Back\\\n", "Tab\tbed", "Ends\\", "Plain\\x", "Line\\none"};
    EXPECT_EQ(1, m.dll.translate(texts));
    EXPECT_EQ((Texts{"Zeile\neins", "slash", "end\\", "x\\q\\", "kept\\x", "Line\\none"}), texts)
        << gntest::shown(texts);
}

TEST(TranslationTable, LineEndsOfAllKinds) {
    // Windows line ends and no line end after the last entry.
    Loaded m("tt_crlf", "OK\tJa\r\nCancel\tAbbrechen\r\nVeltrix\tVeltrix DE");
    ASSERT_TRUE(m.loaded);
    Texts texts{"Veltrix", "OK", "Cancel"};
    EXPECT_EQ(1, m.dll.translate(texts));
    EXPECT_EQ((Texts{"Veltrix DE", "Ja", "Abbrechen"}), texts) << gntest::shown(texts);
}

TEST(TranslationTable, LongLinesAreReadInPieces) {
    // 9000 bytes before the tab: the first 8191 form a piece without a tab,
    // the rest a line of its own.
    std::string table(9000, 'x');
    table += "\tlong\nOK\tJa\n";
    Loaded m("tt_long", table.c_str());
    ASSERT_TRUE(m.loaded);
    Texts texts{std::string(9000, 'x'), std::string(9000 - 8191, 'x'), "OK"};
    EXPECT_EQ(1, m.dll.translate(texts));
    EXPECT_EQ(std::string(9000, 'x'), texts[0]);
    EXPECT_EQ("long", texts[1]);
    EXPECT_EQ("Ja", texts[2]);
}

TEST(TranslationTable, CacheOutlivesTheFile) {
    Loaded m("tt_cache", "OK\tJa\nCancel\tAbbrechen\n");
    ASSERT_TRUE(m.loaded);
    Texts first{"OK", "Missing"};
    EXPECT_EQ(1, m.dll.translate(first));
    EXPECT_EQ((Texts{"Ja", "Missing"}), first);

    // Changed file: cached texts keep their results, new ones see the file now.
    m.dll.write_table("OK\tanders\nMissing\tda\nCancel\tneu\n");
    Texts changed{"OK", "Missing", "Cancel"};
    EXPECT_EQ(1, m.dll.translate(changed));
    EXPECT_EQ((Texts{"Ja", "Missing", "neu"}), changed);

    m.dll.delete_table();
    Texts gone{"OK", "Missing", "Never asked", "Cancel"};
    EXPECT_EQ(1, m.dll.translate(gone));
    EXPECT_EQ((Texts{"Ja", "Missing", "Never asked", "neu"}), gone);

    // A text not found while the file was gone was not cached: it is looked for again.
    m.dll.write_table("Never asked\tjetzt\n");
    Texts back{"Never asked"};
    EXPECT_EQ(1, m.dll.translate(back));
    EXPECT_EQ("jetzt", back[0]);
}

TEST(TranslationTable, FileVanishedBeforeTheFirstPass) {
    Loaded m("tt_vanished", "OK\tJa\n");
    ASSERT_TRUE(m.loaded);
    m.dll.delete_table();
    Texts texts{"OK", "Cancel"};
    EXPECT_EQ(0, m.dll.translate(texts));
    EXPECT_EQ((Texts{"OK", "Cancel"}), texts);
    // The lock was given back: the next pass runs and reads the file again.
    m.dll.write_table("OK\tJa\n");
    EXPECT_EQ(1, m.dll.translate(texts));
    EXPECT_EQ("Ja", texts[0]);
}

TEST(TranslationTable, HostileFilesLeaveTheEnglishTexts) {
    std::string table;
    for (int c = 1; c < 256; ++c)
        if (c != 0x1A && c != '\n' && c != '\t') table += static_cast<char>(c);  // no end-of-file mark
    table += "\n";
    table += std::string("NUL\0\tbehind\n", 12);
    table += std::string("Cut\tbe\0fore\n", 12);
    table += "\t\t\t\n\t\n";
    table += std::string(1 << 20, '\xFF') + "\n";
    table += "Esc\\\tat end\\\n";
    table += "OK\tJa";
    Loaded m("tt_hostile", table.data(), table.size());
    ASSERT_TRUE(m.loaded);
    Texts texts{"NUL", "Cut", "Esc\\", "OK", "Cancel"};
    EXPECT_EQ(1, m.dll.translate(texts));
    EXPECT_EQ((Texts{"NUL", "be", "at end\\", "Ja", "Cancel"}), texts) << gntest::shown(texts);
    // The lines of tabs translate the empty text: the first one wins.
    Texts empty{""};
    EXPECT_EQ(1, m.dll.translate(empty));
    EXPECT_EQ("\t\t", empty[0]);
}

TEST(TranslationTable, ConcurrentPassesSeeOneCache) {
    Loaded m("tt_threads", "OK\tJa\nCancel\tAbbrechen\n");
    ASSERT_TRUE(m.loaded);
    const Texts expected{"Ja", "Abbrechen", "Nope", "Ja"};
    std::vector<std::thread> threads;
    std::vector<int> wrong(8, 0);
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i) {
                Texts texts{"OK", "Cancel", "Nope", "OK"};
                if (m.dll.translate(texts) != 1 || texts != expected) ++wrong[t];
            }
        });
    }
    for (auto& th : threads) th.join();
    for (int t = 0; t < 8; ++t) EXPECT_EQ(0, wrong[t]) << "thread " << t;
}

// A module in a folder whose name the system code page cannot spell finds
// the table beside it.
TEST(TranslationTable, FoundBesideAModuleInAFolderOutsideTheCodePage) {
    const std::string scratch = gntest::make_scratch_dir("tt_wide");
    const std::wstring dir = std::wstring(scratch.begin(), scratch.end()) + L"\x0418\x0432\x0430\x043D\\";
    ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
    const std::string source = gntest::LoadedModule::program_dir() + "gntesthooks.dll";
    const std::wstring dll = dir + L"gntesthooks.dll", table = dir + L"quorttbl.txt";
    ASSERT_TRUE(CopyFileW(std::wstring(source.begin(), source.end()).c_str(), dll.c_str(), FALSE));
    HANDLE f = CreateFileW(table.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, f);
    DWORD written = 0;
    WriteFile(f, "OK\tJa\n", 6, &written, nullptr);
    CloseHandle(f);

    HMODULE module = LoadLibraryW(dll.c_str());
    ASSERT_TRUE(module);
    const auto call = reinterpret_cast<GnTestCallFn>(reinterpret_cast<void*>(GetProcAddress(module, "GnTestCall")));
    ASSERT_TRUE(call);
    EXPECT_EQ(1, call(GnTestIsTablePresent, 0, 0));
    const char* in[] = {"OK"};
    char buffer[64] = "";
    char* out[] = {buffer};
    UINT length = 0;
    GnTestTexts texts{1, in, out, sizeof buffer, &length};
    EXPECT_EQ(1, call(GnTestTranslate, reinterpret_cast<WPARAM>(&texts), 0));
    EXPECT_EQ("Ja", std::string(buffer, length));
    FreeLibrary(module);
    DeleteFileW(table.c_str());
    DeleteFileW(dll.c_str());
    RemoveDirectoryW(dir.c_str());
}

}  // namespace
