// The diagnostic log: which file it picks when the module loads, and the
// layout of its lines.
#include <gtest/gtest.h>

#include <io.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <regex>

#include "frame/interfaces.h"
#include "frame/log.h"
#include "support/module.h"

using gntest::LoadedModule;

namespace {

// Loads and unloads the module once in dir with GNLAUNCHERLOG set to env
// (or unset), creating and releasing one launcher on the way and failing to
// make an aggregated one (untraced: tracing is off).
void load_once(const std::string& dir, const char* env) {
    char cwd[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, cwd);
    SetCurrentDirectoryA(dir.c_str());
    _putenv_s("GNLAUNCHERLOG", env ? env : "");
    {
        LoadedModule module;
        ASSERT_TRUE(module.loaded());
        gn::com_ptr<IUnknown> unk;
        EXPECT_EQ(S_OK, module.create(CLSID_MorvaneLauncher, IID_IUnknown, unk.put_void()));
        gn::com_ptr<IUnknown> refused;
        EXPECT_EQ(CLASS_E_NOAGGREGATION,
                  module.create(CLSID_MorvaneLauncher, IID_IDispatch, refused.put_void(), unk.get()));
    }
    _putenv_s("GNLAUNCHERLOG", "");
    SetCurrentDirectoryA(cwd);
}

void touch(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_NE(nullptr, f) << path;
    std::fclose(f);
}

bool exists(const std::string& path) { return _access(path.c_str(), 0) == 0; }

const std::regex kStarted(R"(^[A-Z][a-z]{2} [A-Z][a-z]{2} [ 123]\d \d\d:\d\d:\d\d \d{4}  \t\*\*\* Started \*\*\*\r\n)");
const std::regex kExiting(R"([A-Z][a-z]{2} [A-Z][a-z]{2} [ 123]\d \d\d:\d\d:\d\d \d{4}  \t\*\*\* Exiting \*\*\*\r\n$)");

}  // namespace

TEST(LogFileChoice, NeitherFileNorVariableMeansNoLog) {
    const std::string dir = gntest::make_scratch_dir("log_none");
    load_once(dir, nullptr);
    EXPECT_FALSE(exists(dir + "quor_launcher.log"));
}

TEST(LogFileChoice, ExistingLocalFileIsUsedAndGetsStartAndExitLines) {
    const std::string dir = gntest::make_scratch_dir("log_local");
    touch(dir + "quor_launcher.log");
    load_once(dir, nullptr);
    const std::string text = gntest::read_file(dir + "quor_launcher.log");
    EXPECT_TRUE(std::regex_search(text, kStarted)) << text;
    EXPECT_TRUE(std::regex_search(text, kExiting)) << text;
    EXPECT_EQ(std::string::npos, text.find("Failure")) << text;
    // Appends: a second load adds a second pair.
    load_once(dir, nullptr);
    const std::string twice = gntest::read_file(dir + "quor_launcher.log");
    EXPECT_EQ(0u, twice.find(text));
    EXPECT_EQ(2 * text.size(), twice.size());
}

TEST(LogFileChoice, VariableNamesAFileThatIsCreated) {
    const std::string dir = gntest::make_scratch_dir("log_env");
    const std::string target = dir + "from-env.log";
    load_once(dir, target.c_str());
    EXPECT_TRUE(std::regex_search(gntest::read_file(target), kStarted));
    EXPECT_FALSE(exists(dir + "quor_launcher.log"));
}

TEST(LogFileChoice, ReadOnlyLocalFileGivesWayToTheVariable) {
    const std::string dir = gntest::make_scratch_dir("log_readonly");
    const std::string local = dir + "quor_launcher.log";
    touch(local);
    SetFileAttributesA(local.c_str(), FILE_ATTRIBUTE_READONLY);
    const std::string target = dir + "from-env.log";
    load_once(dir, target.c_str());
    EXPECT_TRUE(std::regex_search(gntest::read_file(target), kStarted));
    EXPECT_EQ("", gntest::read_file(local));

    // Without the variable nothing is logged at all.
    DeleteFileA(target.c_str());
    load_once(dir, nullptr);
    EXPECT_FALSE(exists(target));
    EXPECT_EQ("", gntest::read_file(local));
    SetFileAttributesA(local.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(LogFileChoice, WritableLocalFileWinsOverTheVariable) {
    const std::string dir = gntest::make_scratch_dir("log_both");
    touch(dir + "quor_launcher.log");
    const std::string target = dir + "from-env.log";
    load_once(dir, target.c_str());
    EXPECT_TRUE(std::regex_search(gntest::read_file(dir + "quor_launcher.log"), kStarted));
    EXPECT_FALSE(exists(target));
}

TEST(LogFileChoice, UnopenablePathTurnsLoggingOffSilently) {
    const std::string dir = gntest::make_scratch_dir("log_bad");
    const std::string target = dir + "no\\such\\dir\\x.log";
    load_once(dir, target.c_str());  // the module works as ever
    EXPECT_FALSE(exists(target));
}

TEST(LogLine, NewlineIsAddedOnlyWhenTheFormatLacksOne) {
    EXPECT_FALSE(gn::log_needs_newline("Gotten Url: %s\n"));
    EXPECT_TRUE(gn::log_needs_newline("Got cookie: %s"));
    EXPECT_TRUE(gn::log_needs_newline(""));
    EXPECT_TRUE(gn::log_needs_newline(nullptr));
    // The format decides, not the expanded text.
    EXPECT_TRUE(gn::log_needs_newline("%s"));
    EXPECT_TRUE(gn::log_needs_newline("two\nlines"));
}

TEST(LogLine, FormatFromATableTakesOneStringAtMost) {
    const struct { const char* format; bool ok; } rows[] = {
        {"Registered %s", true}, {"no conversion", true}, {"100%% of %s\n", true},
        {"%s and %s", false}, {"code %x", false}, {"%d", false}, {"%", false},
        {"%ls", false}, {nullptr, false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.ok, gn::format_takes_one_string(row.format)) << (row.format ? row.format : "null");
}

TEST(LogLine, TimestampHasTheAsctimeLayout) {
    // 2026-12-07 08:05:09 local time, a Monday.
    tm when{};
    when.tm_year = 2026 - 1900;
    when.tm_mon = 11;
    when.tm_mday = 7;
    when.tm_hour = 8;
    when.tm_min = 5;
    when.tm_sec = 9;
    when.tm_isdst = -1;
    char out[32];
    gn::format_log_time(std::mktime(&when), out);
    EXPECT_STREQ("Mon Dec  7 08:05:09 2026", out);
    when.tm_mday = 17;
    gn::format_log_time(std::mktime(&when), out);
    EXPECT_STREQ("Thu Dec 17 08:05:09 2026", out);
    // A time far ahead: the year no longer fits, nor does tm_year + 1900 in an int.
    when.tm_year = INT_MAX;
    gn::format_log_tm(&when, out);
    EXPECT_STREQ("time past year 9999     ", out);
}

TEST(LogLine, LocalFileWinsOnlyWhenWritable) {
    EXPECT_STREQ(".\\quor_launcher.log", gn::choose_log_path(true, "x.log"));
    EXPECT_STREQ("x.log", gn::choose_log_path(false, "x.log"));
    EXPECT_EQ(nullptr, gn::choose_log_path(false, nullptr));
}

TEST(LogLine, ComposedAsTheTextFileStoresIt) {
    const char stamp[] = "Mon Dec  7 08:05:09 2026";
    const struct {
        const char* message;
        bool newline;
        const char* line;
    } rows[] = {
        {"Got cookie: a", true, "Mon Dec  7 08:05:09 2026  Got cookie: a\r\n"},
        {"Gotten Url: x\n", false, "Mon Dec  7 08:05:09 2026  Gotten Url: x\r\n"},
        {"two\nlines", true, "Mon Dec  7 08:05:09 2026  two\r\nlines\r\n"},
        {"", true, "Mon Dec  7 08:05:09 2026  \r\n"},
    };
    for (const auto& row : rows) {
        char out[64] = "";
        const size_t length = std::strlen(row.message);
        const size_t size =
            gn::compose_log_line(stamp, row.message, length, row.newline, out, sizeof out);
        EXPECT_EQ(row.line, std::string(out, size));
        EXPECT_EQ(size, gn::compose_log_line(stamp, row.message, length, row.newline, out, size - 1));
    }
}

TEST(LogLine, FailureTraceKeepsToItsRate) {
    gn::trace_limit limit;
    unsigned long tell = 0, told = 0;
    int written = 0;
    for (int i = 0; i < 250; ++i) written += limit.admit(5000 + i, &tell), told += tell;
    EXPECT_EQ(100, written);
    EXPECT_EQ(0u, told);
    EXPECT_TRUE(limit.admit(6999, &tell));  // a new second tells the 150 left out
    EXPECT_EQ(150u, tell);
    for (int i = 0; i < 100; ++i) limit.admit(6999, &tell);
    EXPECT_EQ(1u, limit.untold());
    EXPECT_EQ(0u, limit.untold());
}
