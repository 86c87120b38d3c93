#include "test_dll.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace gntest {

TestDll::TestDll(const std::string& name) : dir_(make_scratch_dir(name)), log_(dir_ + "test.log") {
    CopyFileA((LoadedModule::program_dir() + "gntesthooks.dll").c_str(),
              (dir_ + "gntesthooks.dll").c_str(), FALSE);
}

TestDll::~TestDll() { unload(); }

void TestDll::write_table(const std::string& bytes) const {
    std::ofstream out(table_path(), std::ios::binary | std::ios::trunc);
    out << bytes;
}

void TestDll::delete_table() const { DeleteFileA(table_path().c_str()); }

bool TestDll::load() {
    // The log is chosen at load: the variable names this copy's own file.
    // _putenv changes the runtime's environment, which the module reads.
    _putenv(("GNLAUNCHERLOG=" + log_).c_str());
    module_ = std::make_unique<LoadedModule>(dir_ + "gntesthooks.dll");
    _putenv("GNLAUNCHERLOG=");
    if (!module_->loaded()) return false;
    call_ = reinterpret_cast<GnTestCallFn>(reinterpret_cast<void*>(GetProcAddress(module_->handle(), "GnTestCall")));
    return call_ != nullptr;
}

std::string TestDll::unload() {
    // Nothing the tests did may keep the module loaded.
    if (module_ && module_->loaded()) {
        EXPECT_EQ(S_OK, module_->can_unload_now());
    }
    if (module_) module_->unload();
    module_.reset();
    call_ = nullptr;
    return log_text();
}

std::string TestDll::log_text() const {
    // The log is written in text mode: compare lines without the carriage returns.
    std::string log = read_file(log_);
    log.erase(std::remove(log.begin(), log.end(), '\r'), log.end());
    return log;
}

INT_PTR TestDll::call(UINT op, WPARAM wp, LPARAM lp) const {
    return call_ ? call_(op, wp, lp) : -2;
}

int TestDll::translate(std::vector<std::string>& texts) const {
    const UINT size = 1 << 16;
    std::vector<std::vector<char>> buffers(texts.size(), std::vector<char>(size));
    std::vector<const char*> in;
    std::vector<char*> out;
    std::vector<UINT> len(texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        in.push_back(texts[i].c_str());
        out.push_back(buffers[i].data());
    }
    GnTestTexts t{static_cast<UINT>(texts.size()), in.data(), out.data(), size, len.data()};
    const INT_PTR r = call(GnTestTranslate, reinterpret_cast<WPARAM>(&t));
    if (r < 0) return -1;
    for (size_t i = 0; i < texts.size(); ++i) texts[i].assign(buffers[i].data(), len[i]);
    return static_cast<int>(r);
}

std::string shown(const std::vector<std::string>& texts) {
    std::string s;
    for (const auto& t : texts) s += "[" + t + "]";
    return s;
}

}  // namespace gntest
