// What the launcher does with its downloaded copy when it is released.
#include "launcher_fixture.h"

#include <fstream>

namespace gntest {
namespace {

class TempFileRelease : public LauncherTest {
protected:
    // A launcher whose file:// download finished with nobody subscribed, so
    // its copy waits on disk; returns the copy's full path.
    std::string loaded_launcher(gn::com_ptr<IUnknown>& launcher) {
        reload_with_log();
        const std::wstring url = make_document_file(temp_dir, "doc.dzy", 1000);
        launcher = create_launcher();
        EXPECT_EQ(S_OK, browser_load(launcher.get(), url));
        const auto files = dz_files();
        EXPECT_EQ(1u, files.size());
        return files.empty() ? std::string() : temp_dir + files[0];
    }
};

}  // namespace

TEST_F(TempFileRelease, ReleaseDeletesTheCopyAndSaysSo) {
    gn::com_ptr<IUnknown> launcher;
    const std::string copy = loaded_launcher(launcher);
    launcher.reset();
    EXPECT_TRUE(dz_files().empty());
    const std::string log = finish_log();
    EXPECT_NE(std::string::npos, log.find("Removing temp file: "));
    EXPECT_EQ(std::string::npos, log.find("skipping to remove"));
}

TEST_F(TempFileRelease, CopyDeletedBySomeoneElseIsOnlyLogged) {
    gn::com_ptr<IUnknown> launcher;
    const std::string copy = loaded_launcher(launcher);
    ASSERT_TRUE(DeleteFileA(copy.c_str()));
    launcher.reset();
    const std::string log = finish_log();
    EXPECT_NE(std::string::npos, log.find("Temp file does not exist, skipping to remove: "));
    EXPECT_EQ(std::string::npos, log.find("Removing temp file: "));
}

// Moved away by someone else, another file taking its name: that file is not
// the copy and is left alone.
TEST_F(TempFileRelease, AnotherFileUnderTheCopysNameIsLeftAlone) {
    gn::com_ptr<IUnknown> launcher;
    const std::string copy = loaded_launcher(launcher);
    ASSERT_TRUE(MoveFileA(copy.c_str(), (copy + ".moved").c_str()));
    { std::ofstream(copy) << "someone else's"; }
    launcher.reset();
    EXPECT_EQ("someone else's", read_file(copy));
    EXPECT_TRUE(DeleteFileA(copy.c_str()) && DeleteFileA((copy + ".moved").c_str()));
    EXPECT_NE(std::string::npos,
              finish_log().find("Another file has taken the temp file's name, leaving it: "));
}

// A plugin holding the copy with delete access (to move it) and full sharing.
TEST_F(TempFileRelease, CopyHeldWithDeleteAccessGoesWhenLetGo) {
    gn::com_ptr<IUnknown> launcher;
    const std::string copy = loaded_launcher(launcher);
    HANDLE held = CreateFileA(copy.c_str(), GENERIC_READ | DELETE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    launcher.reset();
    CloseHandle(held);
    EXPECT_TRUE(dz_files().empty());
    EXPECT_EQ(std::string::npos, finish_log().find("Failed to remove temp file: "));
}

TEST_F(TempFileRelease, CopyThatCannotBeDeletedIsLoggedAndLeftAlone) {
    gn::com_ptr<IUnknown> launcher;
    const std::string copy = loaded_launcher(launcher);
    // Held open without delete sharing: the deletion fails.
    HANDLE held = CreateFileA(copy.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    launcher.reset();
    CloseHandle(held);
    EXPECT_EQ(1u, dz_files().size());
    DeleteFileA(copy.c_str());
    const std::string log = finish_log();
    const size_t at = log.find("Failed to remove temp file: ");
    ASSERT_NE(std::string::npos, at) << log;
    EXPECT_NE(std::string::npos, log.find(", errno = 13: Permission denied", at));
}

}  // namespace gntest
