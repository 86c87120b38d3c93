// The launcher's downloaded copy of a document.
#pragma once

#include <windows.h>

#include <cstdio>

struct TempFile {
    FILE* file = nullptr;      // open while being written ("wb")
    char path[MAX_PATH] = {};  // full path, system code page
    bool bCreated = false;     // created by this launcher and not yet deleted

    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() { Discard(); }

    // Closes the stream; the file stays on disk.
    void Close() noexcept;
    // The one clean-up rule: close, then delete the file this launcher created.
    void Discard() noexcept;
};
