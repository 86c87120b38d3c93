// Map6xUrlTo8 and Clear6xUrlMap through the method table, against a
// sandboxed HKEY_CURRENT_USER.
#include "version_fixture.h"

using vt::VersionService;
using vt::lines;

TEST_F(VersionService, MapCreatesReplacesAndRemoves) {
    ASSERT_FALSE(key_exists(user_, vt::kMapKey));
    map(L"http://old/a.dzy", L"http://new/a.dzy");
    std::string data;
    DWORD type = 0;
    ASSERT_TRUE(read_mapping("http://old/a.dzy", &data, &type));
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(std::string("http://new/a.dzy\0", 17), data);  // terminator counted

    map(L"http://old/a.dzy", L"http://newer/b.dzy");
    ASSERT_TRUE(read_mapping("http://old/a.dzy", &data));
    EXPECT_EQ(std::string("http://newer/b.dzy\0", 19), data);
    EXPECT_EQ(1, map_value_count());

    // Blank new URLs remove; removing what is not there is no failure.
    map(L"http://old/b.dzy", L"x");
    map(L"http://old/a.dzy", L"");
    map(L"http://old/b.dzy", L"    ");
    map(L"http://old/c.dzy", nullptr);
    EXPECT_FALSE(read_mapping("http://old/a.dzy"));
    EXPECT_FALSE(read_mapping("http://old/b.dzy"));
    EXPECT_EQ(0, map_value_count());
    EXPECT_TRUE(key_exists(user_, vt::kMapKey));

    EXPECT_EQ((lines{
                  vt::map_line("http://old/a.dzy", "http://new/a.dzy"),
                  vt::map_line("http://old/a.dzy", "http://newer/b.dzy"),
                  vt::map_line("http://old/b.dzy", "x"),
                  vt::map_line("http://old/a.dzy", ""),
                  vt::map_line("http://old/b.dzy", "    "),
                  vt::map_line("http://old/c.dzy", ""),
              }),
              log());
}

TEST_F(VersionService, RemovingWithoutMapKeyCreatesNothing) {
    map(L"http://old/a.dzy", L" ");
    EXPECT_FALSE(key_exists(user_, vt::kMapKey));
    EXPECT_EQ((lines{vt::map_line("http://old/a.dzy", " ")}), log());
}

TEST_F(VersionService, BlankOldUrlChangesNothing) {
    map(L"http://old/keep.dzy", L"http://new/keep.dzy");
    forget_log();
    const wchar_t* blanks[] = {L"", L"   ", nullptr};
    for (const wchar_t* old_url : blanks) {
        map(old_url, L"http://new/x.dzy");
        map(old_url, L"");
    }
    EXPECT_EQ(1, map_value_count());
    std::string data;
    ASSERT_TRUE(read_mapping("", &data) == false);  // the default value was never written
    ASSERT_TRUE(read_mapping("http://old/keep.dzy", &data));
    EXPECT_EQ(std::string("http://new/keep.dzy\0", 20), data);

    lines expected;
    for (const char* old_url : {"", "   ", ""}) {
        expected.push_back(vt::map_line(old_url, "http://new/x.dzy"));
        expected.push_back(vt::kMapFailed);
        expected.push_back(vt::map_line(old_url, ""));
        expected.push_back(vt::kMapFailed);
    }
    EXPECT_EQ(expected, log());
}

TEST_F(VersionService, BlankOldUrlWithoutKeyCreatesNothing) {
    map(L"  ", L"http://new/x.dzy");
    EXPECT_FALSE(key_exists(user_, vt::kMapKey));
}

TEST_F(VersionService, UrlsAreStoredExactlyAsGiven) {
    // Spaces around the old URL are part of its name; only 0x20 counts as blank.
    map(L"  http://old/a.dzy ", L" http://new/a.dzy  ");
    map(L"\t", L"http://new/tab.dzy");
    map(L"http://old/tab.dzy", L"\t");
    std::string data;
    ASSERT_TRUE(read_mapping("  http://old/a.dzy ", &data));
    EXPECT_EQ(std::string(" http://new/a.dzy  \0", 20), data);
    EXPECT_FALSE(read_mapping("http://old/a.dzy"));
    ASSERT_TRUE(read_mapping("\t", &data));
    ASSERT_TRUE(read_mapping("http://old/tab.dzy", &data));
    EXPECT_EQ(std::string("\t\0", 2), data);
    EXPECT_EQ(3, map_value_count());
}

TEST_F(VersionService, UrlsOutsideTheCodePageAreRefused) {
    // A character of the system code page passes and keeps its code.
    if (GetACP() == 1252) {
        map(L"http://old/caf\u00E9.dzy", L"http://new/caf\u00E9.dzy");
        std::string data;
        ASSERT_TRUE(read_mapping("http://old/caf\xE9.dzy", &data));
        EXPECT_EQ(std::string("http://new/caf\xE9.dzy\0", 20), data);
    } else {
        map(L"http://old/other.dzy", L"http://new/other.dzy");  // keeps the count below
    }

    map(L"http://old/x.dzy", L"http://new/x.dzy");
    forget_log();
    // Would be stored as "?" look-alikes, and could overwrite another mapping.
    map(L"http://old/\u0D05\u0D06.dzy", L"http://new/y.dzy");
    map(L"http://old/x.dzy", L"http://new/\u0D05.dzy");
    map(L"http://old/x.dzy", L"\u3000\u0D05");  // not blank: only 0x20 is
    EXPECT_EQ(2, map_value_count());
    std::string data;
    ASSERT_TRUE(read_mapping("http://old/x.dzy", &data));
    EXPECT_EQ(std::string("http://new/x.dzy\0", 17), data);
    EXPECT_FALSE(read_mapping("http://old/??.dzy"));
    const lines got = log();
    ASSERT_EQ(6u, got.size());
    for (size_t i = 1; i < got.size(); i += 2) EXPECT_EQ(vt::kMapFailed, got[i]);

    // A zero inside the string would cut the name short.
    gn::unique_bstr cut(SysAllocStringLen(L"http://old/x.dzy\0tail", 21));
    auto other = gn::unique_bstr::copy_of(L"http://new/z.dzy");
    forget_log();
    EXPECT_EQ(S_OK, ver_->Map6xUrlTo8(cut.get(), other.get()));
    ASSERT_TRUE(read_mapping("http://old/x.dzy", &data));
    EXPECT_EQ(std::string("http://new/x.dzy\0", 17), data);
    EXPECT_EQ(vt::kMapFailed, log().back());
}

TEST_F(VersionService, HostileInputIsBounded) {
    // Lengths up to the browser's URL limit pass; beyond it the call fails.
    const std::wstring longest(2083, L'u'), too_long(2084, L'u'), huge(4 << 20, L'h');
    map(longest.c_str(), longest.c_str());
    EXPECT_EQ(1, map_value_count());
    forget_log();
    const size_t before = gntest::read_file(log_path()).size();
    for (const std::wstring* url : {&too_long, &huge}) {
        for (bool as_old : {true, false}) {
            auto bad = gn::unique_bstr::copy_of(url->c_str());
            auto good = gn::unique_bstr::copy_of(L"http://old/x.dzy");
            EXPECT_EQ(E_INVALIDARG, as_old ? ver_->Map6xUrlTo8(bad.get(), good.get())
                                           : ver_->Map6xUrlTo8(good.get(), bad.get()));
            EXPECT_EQ("Map6xUrlTo8(): URL longer than 2083 characters refused", log().back());
        }
    }
    EXPECT_EQ(1, map_value_count());
    // Each logged argument is cut: four calls, two lines each, stay small.
    EXPECT_LT(gntest::read_file(log_path()).size() - before, 8u * 1024);
    EXPECT_NE(std::string::npos, log()[0].find(std::string(512, 'u') + "...(cut) -> "));

    // A full map refuses new names and still replaces existing ones.
    HKEY key = create(user_, vt::kMapKey);
    for (int i = 1; i < 1000; ++i) {
        const std::string name = "http://old/" + std::to_string(i);
        RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>("x"), 2);
    }
    RegCloseKey(key);
    EXPECT_EQ(1000, map_value_count());
    forget_log();
    map(L"http://old/new.dzy", L"http://new/new.dzy");
    map(L"http://old/7", L"http://new/7.dzy");
    EXPECT_EQ(1000, map_value_count());
    EXPECT_FALSE(read_mapping("http://old/new.dzy"));
    std::string data;
    ASSERT_TRUE(read_mapping("http://old/7", &data));
    EXPECT_EQ(std::string("http://new/7.dzy\0", 17), data);
    EXPECT_EQ((lines{vt::map_line("http://old/new.dzy", "http://new/new.dzy"),
                     "Map6xUrlTo8(): URL map is full (1000 entries), new name refused",
                     vt::kMapFailed, vt::map_line("http://old/7", "http://new/7.dzy")}),
              log());
}

TEST_F(VersionService, ClearRemovesEveryMappingOnly) {
    map(L"http://old/a.dzy", L"http://new/a.dzy");
    map(L"http://old/b.dzy", L"http://new/b.dzy");
    // Names the 1024-byte rule would miss, and one outside the code page,
    // written by someone else.
    const std::wstring long1024(1024, L'L'), long5000(5000, L'M');
    map(long1024.c_str(), L"http://new/long.dzy");
    HKEY key = create(user_, vt::kMapKey);
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, long5000.c_str(), 0, REG_SZ,
                                            reinterpret_cast<const BYTE*>(L"x"), 4));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, L"http://\u0D05.dzy", 0, REG_SZ,
                                            reinterpret_cast<const BYTE*>(L"x"), 4));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "number", 0, REG_DWORD,
                                            reinterpret_cast<const BYTE*>("\1\0\0\0"), 4));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key, nullptr, 0, REG_SZ,
                                            reinterpret_cast<const BYTE*>("default"), 8));
    RegCloseKey(create(user_, std::string(vt::kMapKey) + "\\sub"));
    RegCloseKey(key);
    EXPECT_EQ(7, map_value_count());
    forget_log();

    EXPECT_EQ(S_OK, ver_->Clear6xUrlMap());
    EXPECT_EQ(1, map_value_count());
    std::string data;
    ASSERT_TRUE(read_mapping("", &data));
    EXPECT_EQ(std::string("default\0", 8), data);
    EXPECT_TRUE(key_exists(user_, std::string(vt::kMapKey) + "\\sub"));

    EXPECT_EQ(S_OK, ver_->Clear6xUrlMap());
    EXPECT_EQ(1, map_value_count());
    EXPECT_EQ((lines{vt::kClearInvoked, vt::kClearInvoked}), log());
}

TEST_F(VersionService, ClearWithoutMapKey) {
    EXPECT_EQ(S_OK, ver_->Clear6xUrlMap());
    EXPECT_FALSE(key_exists(user_, vt::kMapKey));
    EXPECT_EQ((lines{vt::kClearInvoked}), log());
}
