#include "launcher/download/temp_file.h"

#include "launcher/acp_text.h"

#include "frame/log.h"
#include "launcher/download/download_text.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <new>
#include <sys/stat.h>

namespace {

// Every TempFile whose file exists on disk, under tempFileLock.
TempFile* g_created = nullptr;

void unlink_created(TempFile* entry) noexcept {
    for (TempFile** link = &g_created; *link; link = &(*link)->nextCreated) {
        if (*link == entry) {
            *link = entry->nextCreated;
            break;
        }
    }
    entry->nextCreated = nullptr;
}

// Opens path for writing only when no file of that name exists yet.
// errno tells why it failed (EEXIST: the name is taken).
FILE* open_exclusive(const wchar_t* path) noexcept {
    const int fd = _wopen(path, _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    FILE* f = _fdopen(fd, "wb");
    if (!f) {
        const int err = errno;
        _close(fd);
        _wremove(path);
        errno = err;
    }
    return f;
}

// The index of the file open as handle on its volume. The file system's own
// record is asked (NtQueryInformationFile, FileInternalInformation), not
// GetFileInformationByHandle: that one also asks for the volume's serial
// number, which on Wine is a round trip to the mount manager's process, twice
// per document (0.4 ms each, more than the rest of a small document's file
// handling). The volume needs no check of its own: the file is looked for at
// the path it was created at, in the user's temp folder.
bool file_index(HANDLE handle, ULONGLONG& index) noexcept {
    struct io_status {
        void* status;  // NTSTATUS, pointer-sized
        ULONG_PTR information;
    };
    using query_fn = LONG(WINAPI*)(HANDLE, io_status*, void*, ULONG, int);
    constexpr int kFileInternalInformation = 6;
    static const auto query = reinterpret_cast<query_fn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationFile")));
    if (query) {
        io_status status{};
        LARGE_INTEGER internal{};
        if (query(handle, &status, &internal, sizeof internal, kFileInternalInformation) < 0)
            return false;
        index = static_cast<ULONGLONG>(internal.QuadPart);
        return true;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) return false;
    index = (static_cast<ULONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

// Marks the file open as handle for deletion when its last handle closes. A
// copy made read-only (a plugin may do that) is made writable first: it is
// this module's copy all the same. The system error, ERROR_SUCCESS when done.
DWORD delete_on_close(HANDLE handle) noexcept {
    FILE_DISPOSITION_INFO disposition{TRUE};
    if (SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition))
        return ERROR_SUCCESS;
    const DWORD error = GetLastError();
    FILE_BASIC_INFO basic{};
    if (error != ERROR_ACCESS_DENIED ||
        !GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) ||
        !(basic.FileAttributes & FILE_ATTRIBUTE_READONLY))
        return error;
    basic.FileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    basic.CreationTime.QuadPart = basic.LastAccessTime.QuadPart = 0;  // 0: left as they are
    basic.LastWriteTime.QuadPart = basic.ChangeTime.QuadPart = 0;
    if (!SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic)) return error;
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition)
               ? ERROR_SUCCESS
               : GetLastError();
}

}  // namespace

TempFile::~TempFile() {
    // A file left behind was tried at the launcher's release already: the
    // next try is the module's.
    if (bLeft && bCreated)
        KeepForDetach();
    else
        Discard();
}

void TempFile::KeepForDetach() noexcept {
    Close();
    TempFile* kept = new (std::nothrow) TempFile;
    if (kept) {
        std::memcpy(kept->path, path, sizeof path);
        kept->bCreated = kept->bLeft = kept->bKept = true;
        kept->fileIndex = fileIndex;
        kept->bIdentified = bIdentified;
    }
    gn::cs_lock lock(tempFileLock);
    unlink_created(this);
    bCreated = bLeft = false;
    if (kept) {
        kept->nextCreated = g_created;
        g_created = kept;
    }
}

bool TempFile::Write(const void* data, size_t n) noexcept {
    if (nWriteError) return false;
    if (!file) {
        nWriteError = EBADF;
        return false;
    }
    errno = 0;
    if (n != 0 && (std::fwrite(data, 1, n, file) != n || std::ferror(file))) {
        nWriteError = errno ? errno : EIO;
        return false;
    }
    return true;
}

bool TempFile::Close() noexcept {
    if (!file) return nWriteError == 0;
    errno = 0;
    // The last buffered bytes reach the disk here: both steps are checked.
    const bool flushed = std::fflush(file) == 0 && !std::ferror(file);
    const int flush_error = errno;
    errno = 0;
    const bool closed = std::fclose(file) == 0;
    const int close_error = errno;
    file = nullptr;
    if (!nWriteError && !flushed) nWriteError = flush_error ? flush_error : EIO;
    if (!nWriteError && !closed) nWriteError = close_error ? close_error : EIO;
    return nWriteError == 0;
}

bool TempFile::RemoveFile(const char* removing_line) noexcept {
    const gn::acp_text shown(path);  // the log is 8-bit; the file is named exactly
    // Delete shared, so that a plugin holding the copy with delete access
    // (to move it, or opened to delete on close) does not refuse the removal.
    // The handle is the file checked: whatever its name becomes meanwhile,
    // the deletion below marks that file and no other.
    const gn::unique_file found(CreateFileW(path, DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, 0, nullptr));
    DWORD error = found ? ERROR_SUCCESS : GetLastError();
    const auto created_file = [&] {
        ULONGLONG now = 0;
        return !bIdentified || (file_index(found.get(), now) && now == fileIndex);
    };
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        LogPrint(0, "Temp file does not exist, skipping to remove: %s\n", shown.c_str());
        return true;
    }
    if (found && !created_file()) {
        LogPrint(0, "Another file has taken the temp file's name, leaving it: %s\n", shown.c_str());
        return true;
    }
    LogPrintSubject(removing_line, shown.c_str());
    if (found) error = delete_on_close(found.get());
    if (error != ERROR_SUCCESS) {
        const int err = gn::file_error_number(error);
        LogPrint(0, "Failed to remove temp file: %s, errno = %d: %s\n", shown.c_str(), err,
                 IsLogOpen() ? std::strerror(err) : "");
    }
    return error == ERROR_SUCCESS;
}

void TempFile::Discard() noexcept {
    Close();
    if (!bCreated) return;
    bLeft = !RemoveFile("Removing temp file: %s\n");
    if (bLeft) return;  // still held: tried again later
    bCreated = false;
    gn::cs_lock lock(tempFileLock);
    unlink_created(this);
}

void TempFile::DiscardAllAtDetach(bool process_exit) noexcept {
    gn::cs_lock lock(process_exit ? nullptr : &tempFileLock);  // no other thread runs at exit
    while (TempFile* left = g_created) {
        g_created = left->nextCreated;
        left->nextCreated = nullptr;
        left->Close();
        if (!left->RemoveFile("Removing temp file at exit: %s\n"))
            LogPrint(0, "Temp file still held by another program, left on disk: %s\n",
                     gn::acp_text(left->path).c_str());
        left->bCreated = false;
        left->bLeft = false;
        if (left->bKept) delete left;
    }
}

bool TempFile::Create(const wchar_t* prefix) noexcept {
    Discard();  // a file of an earlier binding is not left behind on disk
    if (bLeft) KeepForDetach();
    path[0] = L'\0';
    nWriteError = 0;
    unsigned long number = GetCurrentProcessId();

    wchar_t dir[MAX_PATH];
    const DWORD n = GetTempPathW(MAX_PATH, dir);
    if (n == 0 || n >= MAX_PATH) return false;

    gn::cs_lock lock(tempFileLock);
    for (unsigned tries = 0;; ++tries) {
        if (!gn::compose_temp_name(path, MAX_PATH, dir, prefix, number++)) {
            LogPrint(0, "Temp file name does not fit the path buffer: %s%s\n", gn::acp_text(dir).c_str(),
                     gn::acp_text(prefix).c_str());
            return false;
        }
        file = open_exclusive(path);
        // A name that is taken (by a file, a directory or a file being
        // deleted) is passed over; any other failure ends the search.
        if (file || (errno != EEXIST && _waccess(path, 0) != 0)) break;
        if (tries == 0xFFFF) {  // no free name in a whole range: give up
            path[0] = L'\0';
            return false;
        }
    }

    LogPrint(0, "Creating temp file: %s\n", gn::acp_text(path).c_str());
    // The transfer arrives in 8192-byte reads; a 1 MiB stream buffer, taken
    // once per file and freed when it closes, writes them in 1 MiB system
    // calls: in the temp folder that is 40% faster than 64 KiB ones and level
    // with the fastest writing the platform has.
    if (file) std::setvbuf(file, nullptr, _IOFBF, 1024 * 1024);
    bCreated = file != nullptr;
    bIdentified =
        bCreated && file_index(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))), fileIndex);
    if (bCreated) {
        nextCreated = g_created;
        g_created = this;
    } else {
        LogPrint(0, "Failed to create file: %s\n", gn::acp_text(path).c_str());
    }
    return bCreated;
}
