#include "record/measurement_journal.h"

#include "record/record_file.h"

#include <QCoreApplication>
#include <QDir>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
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
    QFile note(notePath);
    const QByteArray line = recordPath.toUtf8() + '\n';
    return note.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered) &&
           note.write(line) == line.size() && disk.syncData(note.handle()) == 0;
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
    // flock's lock belongs to the open file and ends with the process,
    // however it ends.
    if (disk.lock(fd, LOCK_EX | LOCK_NB) != 0) {
        return errno == EWOULDBLOCK ? JournalLock::NotOurs : JournalLock::Failed;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        return JournalLock::Failed;
    }
    return status.st_nlink > 0 ? JournalLock::Taken : JournalLock::NotOurs;
}

MeasurementJournal::~MeasurementJournal() {
    file_.close();
    samples_.close();
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
        file_.setFileName(dir +
                          QStringLiteral("/journal-%1-%2")
                              .arg(QCoreApplication::applicationPid())
                              .arg(++started_) +
                          kSuffix);
        if (!file_.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
            if (file_.exists()) {
                continue;
            }
            return fail(file_.errorString());
        }
        const JournalLock lock = lockJournal(file_.handle(), disk_);
        if (lock == JournalLock::Taken) {
            break;
        }
        // A journal nobody can lock would be taken for a dead program's by
        // the next program to start.
        const QString why = systemError();
        file_.close();
        if (lock == JournalLock::Failed) {
            QFile::remove(file_.fileName());
            return fail(QStringLiteral("cannot lock: %1").arg(why));
        }
        // Otherwise taken for a dead program's journal between creation and
        // lock: the next name is free.
    }
    // Those left by a program that died before it removed them are
    // nobody's.
    QFile::remove(journalNotePath(file_.fileName()));
    samples_.setFileName(journalSamplesPath(file_.fileName()));
    if (!samples_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        const QString why = samples_.errorString();
        file_.close();
        QFile::remove(file_.fileName());
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
    if (unsynced_ &&
        (disk_.syncData(file_.handle()) != 0 || disk_.syncData(samples_.handle()) != 0)) {
        return fail(systemError());
    }
    unsynced_ = false;
    return true;
}

bool MeasurementJournal::noteRecordName(const QString& recordPath) {
    return file_.isOpen() && ::noteRecordName(journalNotePath(file_.fileName()), recordPath, disk_);
}

void MeasurementJournal::finish(bool remove) {
    if (!file_.isOpen()) {
        return;
    }
    // Removed while still locked, so no other program recovers it meanwhile;
    // the journal first, as it is what the next start looks for.
    if (remove) {
        disk_.at(DiskStep::RemoveJournal);
        QFile::remove(file_.fileName());
        disk_.at(DiskStep::RemoveSamples);
        QFile::remove(samples_.fileName());
        disk_.at(DiskStep::RemoveNote);
        QFile::remove(journalNotePath(file_.fileName()));
    } else {
        sync();
    }
    file_.close();
    samples_.close();
}

bool MeasurementJournal::write(const QString& text, const QByteArray& samples) {
    const QByteArray bytes = encoder_.encode(text);
    unsynced_ = true;
    if (file_.write(bytes) != bytes.size()) {
        return fail(file_.errorString());
    }
    if (samples_.write(samples) != samples.size()) {
        return fail(samples_.errorString());
    }
    return true;
}

bool MeasurementJournal::fail(const QString& why) {
    failed_ = true;
    error_ = why;
    return false;
}
