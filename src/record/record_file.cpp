#include "record/record_file.h"

#include "record/record_companions.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

enum class Placed { Done, Taken, Failed };

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray encodedPath(const QString& path) {
    return QFile::encodeName(path);
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

// Names the temporary file; unique among the threads and processes that write
// into the folder at the same time.
QString temporaryName(const QString& dir, const QString& name) {
    static std::atomic<int> counter{0};
    return dir + QStringLiteral("/.%1.%2-%3.part")
                     .arg(name)
                     .arg(QCoreApplication::applicationPid())
                     .arg(++counter);
}

// Gives the synced temporary file its name unless that name exists. Some file
// systems (network folders) refuse the flag of renameat2; a hard link is as
// safe there. Whatever the way, the temporary name goes.
Placed giveName(const QByteArray& temporary, const QByteArray& name, QString* problem) {
    int result =
        ::renameat2(AT_FDCWD, temporary.constData(), AT_FDCWD, name.constData(), RENAME_NOREPLACE);
    if (result == 0) {
        return Placed::Done;
    }
    if (errno == EINVAL || errno == ENOSYS || errno == ENOTSUP) {
        result = ::link(temporary.constData(), name.constData());
    }
    const int error = errno;
    ::unlink(temporary.constData());
    if (result == 0) {
        return Placed::Done;
    }
    if (error == EEXIST) {
        return Placed::Taken;
    }
    *problem = systemError(error);
    return Placed::Failed;
}

Placed placeFile(const QString& dir, const QString& path, const QByteArray& bytes,
                 const DiskCalls& disk, QString* problem) {
    const QByteArray temporary =
        encodedPath(temporaryName(dir, path.section(QLatin1Char('/'), -1)));
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        *problem = systemError(errno);
        return Placed::Failed;
    }
    // A sync that fails means the data may never reach the disk, whatever
    // the rename says afterwards.
    const bool written = writeAll(fd, bytes) && disk.syncData(fd) == 0;
    const int writeError = errno;
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        *problem = systemError(written ? errno : writeError);
        ::unlink(temporary.constData());
        return Placed::Failed;
    }
    return giveName(temporary, encodedPath(path), problem);
}

} // namespace

DiskCalls DiskCalls::real() {
    return {[](int fd) { return ::fdatasync(fd); },
            [](int fd, int operation) { return ::flock(fd, operation); },
            {}};
}

bool syncFolder(const QString& dir) {
    const int fd = ::open(encodedPath(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

QByteArray savePathLine(const QString& label, const QString& path) {
    QStringEncoder encoder(QStringConverter::System);
    return encoder.encode(label + QDir::toNativeSeparators(path) + QStringLiteral("\r\n"));
}

PublishedRecord publishRecord(const RecordSet& record, const DiskCalls& disk) {
    PublishedRecord published;
    if (!QDir().mkpath(record.dir)) {
        published.problem =
            QStringLiteral("cannot create %1").arg(QDir::toNativeSeparators(record.dir));
        published.failedPath = record.dir;
        return published;
    }
    for (int suffix = 1;; ++suffix) {
        const QString stem = record.dir + QLatin1Char('/') + record.stamp +
                             (suffix == 1 ? QString() : QStringLiteral("_%1").arg(suffix));
        const QString path = stem + QStringLiteral(".TXT");
        // Names seen taken are passed over before anything is written; the
        // rename below still guards against one taken meanwhile.
        QStringList suffixes = {QStringLiteral(".TXT")};
        for (const CompanionFile& companion : record.companions) {
            suffixes << companion.suffix;
        }
        if (record.series) {
            suffixes << recordCompanionSuffixes();
        }
        if (std::any_of(suffixes.begin(), suffixes.end(),
                        [&](const QString& suffix) { return QFileInfo::exists(stem + suffix); })) {
            continue;
        }
        QList<CompanionFile> companions = record.companions;
        if (record.series) {
            companions << (disk.companions ? disk.companions(path, *record.series)
                                           : recordCompanions(path, *record.series));
        }
        QString problem;
        published.failedPath = path;
        QStringList placedFiles;
        Placed placed =
            placeFile(record.dir, path, record.log + savePathLine(record.savePathLabel, path), disk,
                      &problem);
        for (qsizetype i = 0; placed == Placed::Done; ++i) {
            placedFiles << (i == 0 ? path : stem + companions[i - 1].suffix);
            if (i == companions.size()) {
                break;
            }
            published.failedPath = stem + companions[i].suffix;
            placed =
                placeFile(record.dir, published.failedPath, companions[i].bytes, disk, &problem);
        }
        if (placed != Placed::Done) {
            // A record is saved whole or not at all, and a name taken by
            // another record leaves all of this one's names free.
            for (const QString& file : placedFiles) {
                QFile::remove(file);
            }
            if (placed == Placed::Failed) {
                published.problem = problem;
                return published;
            }
            continue;
        }
        if (!syncFolder(record.dir)) {
            published.problem = systemError(errno);
            return published;
        }
        published.failedPath.clear();
        published.path = placedFiles.takeFirst();
        published.companions = placedFiles;
        return published;
    }
}
