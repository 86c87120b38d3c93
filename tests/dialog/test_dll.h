// A private copy of gntesthooks.dll (the module's objects plus its test
// export) in a scratch directory of its own, with an optional quorttbl.txt
// beside it and a log file named by GNLAUNCHERLOG.
#pragma once

#include "support/module.h"
#include "support/hooks/test_hooks.h"

#include <memory>
#include <string>
#include <vector>

namespace gntest {

class TestDll {
public:
    // Copies the DLL into scratch\<name>\; no table unless one is written.
    explicit TestDll(const std::string& name);
    ~TestDll();

    // Writes quorttbl.txt beside the copy, byte for byte. Call before load().
    void write_table(const std::string& bytes) const;
    void delete_table() const;
    // Loads the copy (process attach runs: the log opens, the table is located).
    bool load();
    // Unloads the copy (process detach runs) and returns the log's contents.
    std::string unload();
    // The log so far, line ends as "\n".
    std::string log_text() const;

    INT_PTR call(UINT op, WPARAM wp = 0, LPARAM lp = 0) const;
    HRESULT can_unload_now() const { return module_ ? module_->can_unload_now() : E_UNEXPECTED; }
    // Creates an object of the loaded copy through its class object.
    HRESULT create(REFCLSID clsid, REFIID riid, void** ppv) const {
        return module_ ? module_->create(clsid, riid, ppv) : E_UNEXPECTED;
    }

    // One translation pass over texts (changed in place); returns its flag,
    // or -1 when the pass could not be made.
    int translate(std::vector<std::string>& texts) const;

    const std::string& dir() const { return dir_; }
    std::string table_path() const { return dir_ + "quorttbl.txt"; }

private:
    std::string dir_;
    std::string log_;
    std::unique_ptr<LoadedModule> module_;
    GnTestCallFn call_ = nullptr;
};

// Texts as written, for messages.
std::string shown(const std::vector<std::string>& texts);

}  // namespace gntest
