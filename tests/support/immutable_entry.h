#pragma once

#include <QFile>
#include <QString>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <utility>

// The immutable attribute of a file or directory: the file system refuses to
// change the entry even for root, as it would a file on a read-only medium.
// Tests run as root, for whom permission bits refuse nothing.
inline bool setImmutable(const QString& path, bool immutable) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = immutable ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

// Keeps an entry immutable until lift() or the end of its life, so a failed
// test still leaves a temporary directory that can be removed.
class ImmutableEntry {
public:
    explicit ImmutableEntry(QString path) : path_(std::move(path)) {
        set_ = setImmutable(path_, true);
    }
    ~ImmutableEntry() { lift(); }
    ImmutableEntry(const ImmutableEntry&) = delete;
    ImmutableEntry& operator=(const ImmutableEntry&) = delete;

    // False when the file system has no such attribute.
    bool isSet() const { return set_; }
    bool lift() {
        if (set_) {
            set_ = !setImmutable(path_, false);
        }
        return !set_;
    }

private:
    QString path_;
    bool set_ = false;
};
