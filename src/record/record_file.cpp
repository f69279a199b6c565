#include "record/record_file.h"

#include "platform/file_calls.h"
#include "platform/open_file.h"
#include "record/record_companions.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringEncoder>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

namespace {

enum class Placed { Done, Taken, Failed };

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

using file_calls::encodedPath;

// Written whole, then durable; false with errno set otherwise.
bool writeAndSync(OpenFile& file, const QByteArray& bytes, const DiskCalls& disk) {
    // A sync that fails means the data may never reach the disk, whatever
    // the rename says afterwards.
    if (!file_calls::writeAll(file.fd(), bytes) || disk.syncData(file.fd()) != 0) {
        const int error = errno;
        file.close();
        errno = error;
        return false;
    }
    return file.close();
}

const QString kTemporarySuffix = QStringLiteral(".part");

// Names the temporary file; unique among the threads and processes that write
// into the folder at the same time, and naming the process that writes it.
QString temporaryName(const QString& dir, const QString& name) {
    static std::atomic<int> counter{0};
    return dir +
           QStringLiteral("/.%1.%2-%3")
               .arg(name)
               .arg(QCoreApplication::applicationPid())
               .arg(++counter) +
           kTemporarySuffix;
}

bool noSuchCall(int error) {
    return error == EINVAL || error == ENOSYS || error == ENOTSUP || error == EOPNOTSUPP;
}

bool noHardLinks(int error) {
    return error == EPERM || error == ENOSYS || error == ENOTSUP || error == EOPNOTSUPP;
}

Placed failed(int error, QString* problem) {
    *problem = systemError(error);
    return Placed::Failed;
}

// The name created exclusively, then written and synced: for file systems
// that can give a synced file its name in no other way without replacing.
Placed createUnderName(const QByteArray& name, const QByteArray& bytes, const DiskCalls& disk,
                       QString* problem) {
    OpenFile file(file_calls::createNew(name.constData()));
    if (file.fd() < 0) {
        return errno == EEXIST ? Placed::Taken : failed(errno, problem);
    }
    disk.at(DiskStep::FillFinalName);
    if (!writeAndSync(file, bytes, disk)) {
        const int error = errno;
        file_calls::remove(name.constData());
        return failed(error, problem);
    }
    return Placed::Done;
}

// Gives the synced temporary file its name unless that name exists. Some file
// systems (network folders) refuse the flag of renameat2; a hard link is as
// safe there, and where there are none either the name is created. Whatever
// the way, the temporary name goes.
Placed giveName(const QByteArray& temporary, const QByteArray& name, const QByteArray& bytes,
                const DiskCalls& disk, QString* problem) {
    disk.at(DiskStep::GiveName);
    int result = disk.renameWithoutReplacing(temporary.constData(), name.constData());
    if (result == 0) {
        return Placed::Done;
    }
    bool linked = false;
    if (noSuchCall(errno)) {
        result = disk.linkName(temporary.constData(), name.constData());
        linked = result == 0;
    }
    const int error = errno;
    file_calls::remove(temporary.constData());
    if (linked) {
        return Placed::Done;
    }
    if (error == EEXIST) {
        return Placed::Taken;
    }
    if (noHardLinks(error)) {
        return createUnderName(name, bytes, disk, problem);
    }
    return failed(error, problem);
}

Placed placeFile(const QString& dir, const QString& path, const QByteArray& bytes,
                 const DiskCalls& disk, QString* problem) {
    const QByteArray temporary =
        encodedPath(temporaryName(dir, path.section(QLatin1Char('/'), -1)));
    OpenFile file(file_calls::createNew(temporary.constData()));
    if (file.fd() < 0) {
        return failed(errno, problem);
    }
    // Held while the file is written, so the clean-up of a program started
    // meanwhile leaves it alone even where process numbers say nothing (a
    // folder shared between machines). A file system without locks leaves
    // the number in its name to tell.
    disk.lock(file.fd(), file_calls::kLockExclusiveNoWait);
    disk.at(DiskStep::TemporaryStarted);
    if (!writeAndSync(file, bytes, disk)) {
        const int error = errno;
        file_calls::remove(temporary.constData());
        return failed(error, problem);
    }
    return giveName(temporary, encodedPath(path), bytes, disk, problem);
}

// Another process of this number runs on this machine. This process's own
// number in a leftover's name is an earlier process's: one in a container
// starts with the same number every time.
bool processRunsHere(qint64 pid) {
    return pid != QCoreApplication::applicationPid() && file_calls::processRuns(pid);
}

} // namespace

DiskCalls DiskCalls::real() {
    return {file_calls::syncData, file_calls::lock, {}, {}, {}, {}, {}};
}

int DiskCalls::syncFolderOf(int fd) const {
    return syncFolder ? syncFolder(fd) : file_calls::syncFolder(fd);
}

int DiskCalls::renameWithoutReplacing(const char* from, const char* to) const {
    return renameNoReplace ? renameNoReplace(from, to) : file_calls::renameNoReplace(from, to);
}

int DiskCalls::linkName(const char* from, const char* to) const {
    return link ? link(from, to) : file_calls::hardLink(from, to);
}

FolderSync syncFolder(const QString& dir, const DiskCalls& disk) {
    const OpenFile folder(file_calls::openFolder(encodedPath(dir).constData()));
    if (folder.fd() < 0) {
        return FolderSync::Failed;
    }
    if (disk.syncFolderOf(folder.fd()) == 0) {
        return FolderSync::Done;
    }
    return errno == EINVAL || errno == ENOTSUP || errno == EOPNOTSUPP ? FolderSync::Unsupported
                                                                      : FolderSync::Failed;
}

bool placeBeside(const QString& path, const QByteArray& bytes, const DiskCalls& disk) {
    QString problem;
    return placeFile(QFileInfo(path).path(), path, bytes, disk, &problem) == Placed::Done;
}

void removeDeadTemporaries(const QString& dir, const DiskCalls& disk) {
    static const QRegularExpression pattern(
        QStringLiteral("^\\..+\\.([0-9]{1,10})-[0-9]+\\.part$"));
    const QStringList names =
        QDir(dir).entryList({QLatin1Char('*') + kTemporarySuffix}, QDir::Files | QDir::Hidden);
    for (const QString& name : names) {
        const QRegularExpressionMatch match = pattern.match(name);
        if (!match.hasMatch() || processRunsHere(match.captured(1).toLongLong())) {
            continue;
        }
        const QByteArray path = encodedPath(dir + QLatin1Char('/') + name);
        const OpenFile file(file_calls::openExistingNoFollow(path.constData()));
        if (file.fd() < 0) {
            continue;
        }
        // Removed while locked, so no other program's clean-up takes it too.
        if (disk.lock(file.fd(), file_calls::kLockExclusiveNoWait) != 0 && errno == EWOULDBLOCK) {
            continue;
        }
        file_calls::remove(path.constData());
    }
}

QByteArray savePathLine(const QString& label, const QString& path) {
    QStringEncoder encoder(QStringConverter::System);
    return encoder.encode(label + QDir::toNativeSeparators(path) + QStringLiteral("\r\n"));
}

QList<CompanionFile> makeCompanions(const QString& recordPath, const RunSeries& series,
                                    const DiskCalls& disk) {
    return disk.companions ? disk.companions(recordPath, series)
                           : recordCompanions(recordPath, series);
}

PublishedRecord publishRecord(const RecordSet& record, const DiskCalls& disk,
                              const NoteRecordName& noteName) {
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
        if (record.series && record.pictureAtNextStart) {
            companions << recordSpreadsheet(*record.series);
        } else if (record.series) {
            companions << makeCompanions(path, *record.series, disk);
        }
        // Before the name is taken, so that a process that dies after it
        // leaves word of where its record went.
        disk.at(DiskStep::NoteName);
        if (noteName) {
            noteName(path);
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
        // Every file has its name: the record is saved. Trying it again
        // would only publish it twice.
        published.failedPath.clear();
        published.path = placedFiles.takeFirst();
        published.companions = placedFiles;
        disk.at(DiskStep::FolderSync);
        const FolderSync synced = syncFolder(record.dir, disk);
        if (synced != FolderSync::Done) {
            published.folderNotSynced = systemError(errno);
            published.folderSyncUnsupported = synced == FolderSync::Unsupported;
        }
        return published;
    }
}
