#include "record/measurement_journal.h"

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

// A new file's name lasts through a power cut only once its folder is synced.
bool syncFolder(const QString& dir) {
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

} // namespace

bool lockJournal(int fd) {
    struct stat status {};
    // flock's lock belongs to the open file and ends with the process,
    // however it ends.
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &status) == 0 && status.st_nlink > 0;
}

MeasurementJournal::~MeasurementJournal() {
    file_.close();
}

bool MeasurementJournal::start(const QString& dir, const QString& text) {
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
        if (lockJournal(file_.handle())) {
            break;
        }
        // Taken for a dead program's journal between creation and lock.
        file_.close();
    }
    if (!write(text) || !sync()) {
        return false;
    }
    if (!syncFolder(dir)) {
        return fail(systemError());
    }
    return true;
}

bool MeasurementJournal::append(const QString& text) {
    return writing() && write(text);
}

bool MeasurementJournal::sync() {
    if (!writing()) {
        return false;
    }
    if (unsynced_ && ::fdatasync(file_.handle()) != 0) {
        return fail(systemError());
    }
    unsynced_ = false;
    return true;
}

void MeasurementJournal::finish(bool remove) {
    if (!file_.isOpen()) {
        return;
    }
    // Removed while still locked, so no other program recovers it meanwhile.
    if (remove) {
        QFile::remove(file_.fileName());
    }
    file_.close();
}

bool MeasurementJournal::write(const QString& text) {
    const QByteArray bytes = encoder_.encode(text);
    unsynced_ = true;
    if (file_.write(bytes) != bytes.size()) {
        return fail(file_.errorString());
    }
    return true;
}

bool MeasurementJournal::fail(const QString& why) {
    failed_ = true;
    error_ = why;
    return false;
}
