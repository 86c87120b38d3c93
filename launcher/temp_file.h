// The launcher's downloaded copy of a document.
#pragma once

#include "frame/com.h"

#include <windows.h>

#include <cstdio>

// Held while a free temporary file name is chosen and the file is opened, and
// while the list of created files changes; shared by every launcher of the
// process (constructed with the module's statics).
extern gn::critical_section tempFileLock;

struct TempFile {
    FILE* file = nullptr;      // open while being written ("wb")
    char path[MAX_PATH] = {};  // full path, system code page
    bool bCreated = false;     // created by this launcher and not yet deleted
    TempFile* nextCreated = nullptr;  // the process's list of created files

    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() { Discard(); }

    // Creates and opens "<temp dir>\<prefix><number>.tmp" (the temp dir keeps its
    // trailing backslash), the number starting at the process identifier and
    // counting up past every name that exists. The file is created exclusively:
    // a name another process takes first is skipped, never shared.
    // Returns true when the file is open; a name too long for path fails.
    bool Create(const char* prefix) noexcept;
    // Closes the stream; the file stays on disk.
    void Close() noexcept;
    // The one clean-up rule: close, then delete the file this launcher created.
    void Discard() noexcept;

    // Process detach: deletes every file a launcher still owns (a launcher the
    // host never released, or a process ending mid-download). At process exit
    // the other threads are gone and the lock is not taken.
    static void DiscardAllAtDetach(bool process_exit) noexcept;

private:
    // Deletes the file at path, logging removing_line or the failure.
    void RemoveFile(const char* removing_line) noexcept;
};
