#include "launcher/temp_file.h"

#include "frame/log.h"
#include "launcher/download_text.h"

#include <cerrno>
#include <cstring>
#include <io.h>

void TempFile::Close() noexcept {
    if (!file) return;
    std::fclose(file);
    file = nullptr;
}

void TempFile::Discard() noexcept {
    Close();
    if (!bCreated) return;
    if (_access(path, 0) != 0) {
        LogPrint(0, "Temp file does not exist, skipping to remove: %s\n", path);
    } else {
        LogPrint(0, "Removing temp file: %s\n", path);
        if (std::remove(path) != 0) {
            const int err = errno;
            LogPrint(0, "Failed to remove temp file: %s, errno = %d: %s\n", path, err,
                     IsLogOpen() ? std::strerror(err) : "");
        }
    }
    bCreated = false;
}

bool TempFile::Create(const char* prefix) noexcept {
    Discard();  // a file of an earlier binding is not left behind on disk
    path[0] = '\0';
    unsigned long number = GetCurrentProcessId();

    char dir[MAX_PATH];
    const DWORD n = GetTempPathA(MAX_PATH, dir);
    if (n == 0 || n >= MAX_PATH) return false;

    gn::cs_lock lock(tempFileLock);
    for (unsigned tries = 0;; ++tries) {
        if (!gn::compose_temp_name(path, sizeof path, dir, prefix, number++)) {
            LogPrint(0, "Temp file name does not fit the path buffer: %s%s\n", dir, prefix);
            return false;
        }
        if (_access(path, 0) != 0) break;
        if (tries == 0xFFFF) {  // no free name in a whole range: give up
            path[0] = '\0';
            return false;
        }
    }

    LogPrint(0, "Creating temp file: %s\n", path);
    file = std::fopen(path, "wb");
    // The transfer arrives in 8192-byte reads; a larger stream buffer, taken
    // once per file, spares most of the system calls of writing it.
    if (file) std::setvbuf(file, nullptr, _IOFBF, 64 * 1024);
    bCreated = file != nullptr;
    if (!bCreated) LogPrint(0, "Failed to create file: %s\n", path);
    return bCreated;
}
