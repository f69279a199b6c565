#include "record/measurement_journal.h"

#include "platform/file_calls.h"
#include "record/record_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

namespace {

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

QByteArray encodedPath(const QString& path) {
    return file_calls::encodedPath(path);
}

} // namespace

QString journalSamplesPath(const QString& journalPath) {
    return journalPath.chopped(MeasurementJournal::kSuffix.size()) +
           MeasurementJournal::kSamplesSuffix;
}

QString journalNotePath(const QString& journalPath) {
    return journalPath.chopped(MeasurementJournal::kSuffix.size()) +
           MeasurementJournal::kNoteSuffix;
}

bool noteRecordName(const QString& notePath, const QString& recordPath, const DiskCalls& disk) {
    const OpenFile note(file_calls::createOrEmpty(encodedPath(notePath).constData()));
    return note.isOpen() && file_calls::writeAll(note.fd(), recordPath.toUtf8() + '\n') &&
           disk.syncData(note.fd()) == 0;
}

QString notedRecordName(const QString& notePath) {
    QFile note(notePath);
    if (!note.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray bytes = note.readAll();
    // A note cut short names no file.
    return bytes.endsWith('\n') ? QString::fromUtf8(bytes.chopped(1)) : QString();
}

JournalLock lockJournal(int fd, const DiskCalls& disk) {
    // The lock belongs to the open file and ends with the process, however
    // it ends.
    if (disk.lock(fd, file_calls::kLockExclusiveNoWait) != 0) {
        return errno == EWOULDBLOCK ? JournalLock::NotOurs : JournalLock::Failed;
    }
    const int names = file_calls::nameCount(fd);
    if (names < 0) {
        return JournalLock::Failed;
    }
    return names > 0 ? JournalLock::Taken : JournalLock::NotOurs;
}

bool MeasurementJournal::start(const QString& dir, const QString& text, const QByteArray& samples) {
    // A journal still open belongs to a log the new header replaces, gone
    // from the window as well.
    finish(true);
    failed_ = false;
    error_.clear();
    if (!QDir().mkpath(dir)) {
        return fail(QStringLiteral("cannot create %1").arg(QDir::toNativeSeparators(dir)));
    }
    // A name left by an earlier process of the same number is never reused.
    for (;;) {
        path_ = dir +
                QStringLiteral("/journal-%1-%2")
                    .arg(QCoreApplication::applicationPid())
                    .arg(++started_) +
                kSuffix;
        file_.reset(file_calls::createNew(encodedPath(path_).constData()));
        if (!file_.isOpen()) {
            if (QFileInfo::exists(path_)) {
                continue;
            }
            return fail(systemError());
        }
        const JournalLock lock = lockJournal(file_.fd(), disk_);
        if (lock == JournalLock::Taken) {
            break;
        }
        // A journal nobody can lock would be taken for a dead program's by
        // the next program to start.
        const QString why = systemError();
        file_.close();
        if (lock == JournalLock::Failed) {
            QFile::remove(path_);
            return fail(QStringLiteral("cannot lock: %1").arg(why));
        }
        // Otherwise taken for a dead program's journal between creation and
        // lock: the next name is free.
    }
    // Those left by a program that died before it removed them are
    // nobody's.
    QFile::remove(journalNotePath(path_));
    samples_.reset(file_calls::createOrEmpty(encodedPath(journalSamplesPath(path_)).constData()));
    if (!samples_.isOpen()) {
        const QString why = systemError();
        file_.close();
        QFile::remove(path_);
        return fail(why);
    }
    if (!write(text, samples) || !sync()) {
        return false;
    }
    // Where the file system has no folder syncs, the journal's name is as
    // durable as it gets there.
    if (syncFolder(dir, disk_) == FolderSync::Failed) {
        return fail(systemError());
    }
    return true;
}

bool MeasurementJournal::append(const QString& text, const QByteArray& samples) {
    return writing() && write(text, samples);
}

bool MeasurementJournal::sync() {
    if (!writing()) {
        return false;
    }
    if (unsynced_ && (disk_.syncData(file_.fd()) != 0 || disk_.syncData(samples_.fd()) != 0)) {
        return fail(systemError());
    }
    unsynced_ = false;
    return true;
}

bool MeasurementJournal::noteRecordName(const QString& recordPath) {
    return file_.isOpen() && ::noteRecordName(journalNotePath(path_), recordPath, disk_);
}

void MeasurementJournal::finish(bool remove) {
    if (!file_.isOpen()) {
        return;
    }
    // Removed while still locked, so no other program recovers it meanwhile;
    // the journal first, as it is what the next start looks for.
    if (remove) {
        disk_.at(DiskStep::RemoveJournal);
        file_calls::remove(encodedPath(path_).constData());
        disk_.at(DiskStep::RemoveSamples);
        file_calls::remove(encodedPath(journalSamplesPath(path_)).constData());
        disk_.at(DiskStep::RemoveNote);
        QFile::remove(journalNotePath(path_));
    } else {
        sync();
    }
    file_.close();
    samples_.close();
}

bool MeasurementJournal::write(const QString& text, const QByteArray& samples) {
    unsynced_ = true;
    if (!file_calls::writeAll(file_.fd(), encoder_.encode(text))) {
        return fail(systemError());
    }
    if (!file_calls::writeAll(samples_.fd(), samples)) {
        return fail(systemError());
    }
    return true;
}

bool MeasurementJournal::fail(const QString& why) {
    failed_ = true;
    error_ = why;
    return false;
}
