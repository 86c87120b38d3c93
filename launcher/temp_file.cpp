#include "launcher/temp_file.h"

#include "frame/log.h"

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
