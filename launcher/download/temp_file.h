// A transfer's downloaded copy of a document.
#pragma once

#include "frame/com.h"

#include <windows.h>

#include <cstdio>

// Held while a free temporary file name is chosen and the file is opened, and
// while the list of created files changes; shared by every launcher of the
// process (constructed with the module's statics).
extern gn::critical_section tempFileLock;

struct TempFile {
    FILE* file = nullptr;             // open while being written ("wb")
    wchar_t path[MAX_PATH] = {};      // full path, as the platform spells it
    bool bCreated = false;            // created by this transfer and not yet deleted
    int nWriteError = 0;              // errno of the first write that failed, 0 while all held
    TempFile* nextCreated = nullptr;  // the process's list of created files
    // The created file's index on its volume, read through the handle that
    // created it: a file found at path later is deleted only when it is still
    // this one.
    ULONGLONG fileIndex = 0;
    bool bIdentified = false;
    // A removal failed (the file held open without delete sharing): the file
    // is still this transfer's, tried again at the next Discard and, once
    // this object is gone, at process detach.
    bool bLeft = false;
    bool bKept = false;  // an entry of the list alone, kept for a transfer that went

    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile();

    // Creates and opens "<temp dir>\<prefix><number>.tmp", the number starting
    // at the process identifier and counting up past every name that exists.
    // The file is created exclusively: a name another process takes first is
    // skipped, never shared. Returns true when the file is open; a name too
    // long for path fails.
    bool Create(const wchar_t* prefix) noexcept;
    // Appends n bytes to the stream. False, with nWriteError set, when the
    // runtime did not take them all (or an earlier write failed).
    bool Write(const void* data, size_t n) noexcept;
    // Writes out what the stream still buffers and closes it; the file stays
    // on disk. False, with nWriteError set, when a write or the close failed.
    bool Close() noexcept;
    // The one clean-up rule: close, then delete the file this transfer created.
    // A file that cannot be deleted yet stays created (bLeft).
    void Discard() noexcept;

    // Process detach: deletes every file a launcher still owns (a launcher the
    // host never released, or a process ending mid-download) or left behind
    // (bLeft); a file still held is left on disk, and the log says so. At
    // process exit the other threads are gone and the lock is not taken.
    static void DiscardAllAtDetach(bool process_exit) noexcept;

private:
    // Hands a file left behind to the list, for process detach; this object
    // then has none.
    void KeepForDetach() noexcept;
    // Deletes the file this transfer created, logging removing_line or the
    // failure: through a handle opened on path (sharing read, write and
    // delete, as a plugin reading the copy may), and only when that handle
    // shows the created file; the deletion marks the file the handle holds.
    // A file that went, or another file that took its name since, is left
    // alone, each with a line of its own. (The creating handle itself is
    // not kept open for this: its write access would refuse a plugin that
    // opens the file without write sharing.) False when the file is still
    // there: someone holds it open without delete sharing.
    bool RemoveFile(const char* removing_line) noexcept;
};
