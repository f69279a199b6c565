#include "platform/file_calls.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace file_calls {

const int kLockExclusiveNoWait = LOCK_EX | LOCK_NB;

QByteArray encodedPath(const QString& path) {
    return QFile::encodeName(path);
}

int createNew(const char* path) {
    return ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}

int createOrEmpty(const char* path) {
    return ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

int openExisting(const char* path) {
    return ::open(path, O_RDWR | O_CLOEXEC);
}

int openExistingNoFollow(const char* path) {
    return ::open(path, O_RDWR | O_NOFOLLOW | O_CLOEXEC);
}

int openFolder(const char* path) {
    return ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

int close(int fd) {
    return ::close(fd);
}

bool writeAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.constData() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        done += written;
    }
    return true;
}

QByteArray read(int fd, qint64 maxBytes) {
    QByteArray bytes(maxBytes, Qt::Uninitialized);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t count = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
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
    return ::fdatasync(fd);
}

int syncFolder(int fd) {
    return ::fsync(fd);
}

int lock(int fd, int operation) {
    return ::flock(fd, operation);
}

int renameNoReplace(const char* from, const char* to) {
    return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
}

int hardLink(const char* from, const char* to) {
    return ::link(from, to);
}

int remove(const char* path) {
    return ::unlink(path);
}

int truncate(int fd, qint64 sizeBytes) {
    return ::ftruncate(fd, sizeBytes);
}

int nameCount(int fd) {
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        return -1;
    }
    return status.st_nlink > INT_MAX ? INT_MAX : static_cast<int>(status.st_nlink);
}

bool processRuns(qint64 pid) {
    if (pid <= 0 || pid > INT_MAX) {
        return false;
    }
    // Signal 0 only asks: a process of another user answers EPERM.
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

} // namespace file_calls
