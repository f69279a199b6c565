#include "platform/file_calls.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <windows.h>

namespace {

// Every file is shared for deletion as well: a journal is removed while its
// program still holds it open and locked, and a record's temporary file is
// removed by the clean-up that holds its lock. Without FILE_SHARE_DELETE,
// Windows refuses to rename or remove a file anybody holds open.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Locks on Windows are enforced: a locked byte can be neither read nor
// written through any other handle, the locking process's own included.
// The lock therefore covers one byte far beyond any data a record or a
// journal will ever hold, so it only says who holds the file and stops
// nobody's reads or writes: a starting program reads a journal's first
// bytes before it tries the lock, and a live journal may be looked into at
// any time. Windows lets a range beyond the end of a file be locked.
// Wine does not enforce locks on reads and writes: only Windows shows what
// a lock over the data would stop.
constexpr DWORD kLockOffsetHigh = 0x40000000; // byte 2^62
constexpr DWORD kLockLengthBytes = 1;

// The chunk a single ReadFile or WriteFile moves at most.
constexpr DWORD kChunkBytes = 1u << 30;

int errnoOf(DWORD error) {
    switch (error) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return EACCES;
    case ERROR_LOCK_VIOLATION:
        return EWOULDBLOCK;
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
        return ENOTSUP;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_WRITE_PROTECT:
        return EROFS;
    case ERROR_INVALID_HANDLE:
        return EBADF;
    case ERROR_NOT_SAME_DEVICE:
        return EXDEV;
    case ERROR_TOO_MANY_LINKS:
        return EMLINK;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    default:
        return EIO;
    }
}

// -1, with errno saying why the latest Windows call failed.
int failed() {
    errno = errnoOf(GetLastError());
    return -1;
}

std::wstring widePath(const char* path) {
    return QString::fromUtf8(path).toStdWString();
}

HANDLE handleOf(int fd) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

// Handles are opened without inheritance, so no child process keeps a
// journal or a record open; the C runtime's descriptor is binary.
int openAs(const char* path, DWORD access, DWORD disposition, DWORD flags, int crtFlags) {
    const HANDLE handle = CreateFileW(widePath(path).c_str(), access, kShareAll, nullptr,
                                      disposition, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return failed();
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), crtFlags | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        errno = EMFILE;
    }
    return fd;
}

} // namespace

namespace file_calls {

const int kLockExclusiveNoWait = LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY;

QByteArray encodedPath(const QString& path) {
    return path.toUtf8();
}

int createNew(const char* path) {
    return openAs(path, GENERIC_WRITE, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, 0);
}

int createOrEmpty(const char* path) {
    return openAs(path, GENERIC_WRITE, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
}

int openExisting(const char* path) {
    return openAs(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
}

int openExistingNoFollow(const char* path) {
    return openAs(path, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                  0);
}

int openFolder(const char* path) {
    // A folder opens only with backup semantics, which open any file too.
    const int fd = openAs(path, GENERIC_READ, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, _O_RDONLY);
    if (fd < 0) {
        return fd;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(handleOf(fd), &information)) {
        const int error = errnoOf(GetLastError());
        _close(fd);
        errno = error;
        return -1;
    }
    if ((information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        _close(fd);
        errno = ENOTDIR;
        return -1;
    }
    return fd;
}

int close(int fd) {
    return _close(fd);
}

bool writeAll(int fd, const QByteArray& bytes) {
    const HANDLE handle = handleOf(fd);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const auto chunk =
            static_cast<DWORD>(std::min<qsizetype>(bytes.size() - done, kChunkBytes));
        DWORD written = 0;
        if (!WriteFile(handle, bytes.constData() + done, chunk, &written, nullptr)) {
            failed();
            return false;
        }
        if (written == 0) {
            errno = EIO;
            return false;
        }
        done += written;
    }
    return true;
}

QByteArray read(int fd, qint64 maxBytes) {
    const HANDLE handle = handleOf(fd);
    QByteArray bytes(maxBytes, Qt::Uninitialized);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const auto chunk =
            static_cast<DWORD>(std::min<qsizetype>(bytes.size() - done, kChunkBytes));
        DWORD count = 0;
        if (!ReadFile(handle, bytes.data() + done, chunk, &count, nullptr)) {
            failed();
            return {};
        }
        if (count == 0) {
            break;
        }
        done += count;
    }
    bytes.truncate(done);
    return bytes;
}

int syncData(int fd) {
    return FlushFileBuffers(handleOf(fd)) ? 0 : failed();
}

// Windows has no sync of a folder's names: NTFS journals its own metadata,
// and a folder handle takes no FlushFileBuffers. A name given is as durable
// as the system makes it, so there is nothing to do and nothing failed.
int syncFolder(int) {
    return 0;
}

int lock(int fd, int operation) {
    if (operation != kLockExclusiveNoWait) {
        errno = EINVAL;
        return -1;
    }
    OVERLAPPED where{};
    where.Offset = 0;
    where.OffsetHigh = kLockOffsetHigh;
    return LockFileEx(handleOf(fd), static_cast<DWORD>(operation), 0, kLockLengthBytes, 0, &where)
               ? 0
               : failed();
}

// Write-through: the call returns once the new name is on the disk, which
// stands in for the folder sync Windows does not have.
int renameNoReplace(const char* from, const char* to) {
    return MoveFileExW(widePath(from).c_str(), widePath(to).c_str(), MOVEFILE_WRITE_THROUGH)
               ? 0
               : failed();
}

int hardLink(const char* from, const char* to) {
    return CreateHardLinkW(widePath(to).c_str(), widePath(from).c_str(), nullptr) ? 0 : failed();
}

int remove(const char* path) {
    return DeleteFileW(widePath(path).c_str()) ? 0 : failed();
}

int truncate(int fd, qint64 sizeBytes) {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = sizeBytes;
    return SetFileInformationByHandle(handleOf(fd), FileEndOfFileInfo, &end, sizeof end) ? 0
                                                                                         : failed();
}

// A file removed while open keeps its name until its last handle closes,
// marked as pending deletion: it is as good as gone, and nobody can open it.
int nameCount(int fd) {
    FILE_STANDARD_INFO standard{};
    if (!GetFileInformationByHandleEx(handleOf(fd), FileStandardInfo, &standard, sizeof standard)) {
        return failed();
    }
    return standard.DeletePending ? 0 : static_cast<int>(standard.NumberOfLinks);
}

// Asked by waiting on the process for no time at all rather than by its
// exit code: a process may end with the code that means "still active".
bool processRuns(qint64 pid) {
    if (pid <= 0 || pid > static_cast<qint64>(UINT32_MAX)) {
        return false;
    }
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE,
                                       static_cast<DWORD>(pid));
    if (process == nullptr) {
        // One of another user's that this process may not open still runs.
        return GetLastError() == ERROR_ACCESS_DENIED;
    }
    const bool runs = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return runs;
}

} // namespace file_calls
