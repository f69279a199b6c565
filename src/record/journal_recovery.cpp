#include "record/journal_recovery.h"

#include "record/log_text.h"
#include "record/measurement_journal.h"
#include "record/record_file.h"
#include "record/sample_journal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <optional>
#include <unistd.h>

namespace {

// How every log begins, whatever the version that wrote it.
const QByteArray kLogStart = QByteArrayLiteral("Velkor\r\nVersion: ");

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

// One journal, when no living program holds it.
std::optional<JournalRecovery> recoverJournal(const QString& journal, const QString& recordDir,
                                              const DiskCalls& disk) {
    QFile file(journal);
    // Written, so that the lock also works where flock becomes a write lock
    // (network home folders).
    if (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly)) {
        return std::nullopt;
    }
    // Another program's file, whatever its name, is not even locked.
    const QByteArray start = file.read(kLogStart.size());
    if (!kLogStart.startsWith(start)) {
        return std::nullopt;
    }
    JournalRecovery recovery{journal, {}, {}};
    switch (lockJournal(file.handle(), disk)) {
    case JournalLock::Taken:
        break;
    case JournalLock::NotOurs:
        return std::nullopt;
    case JournalLock::Failed:
        recovery.problem = QStringLiteral("cannot lock: %1").arg(systemError());
        return recovery;
    }
    const QByteArray content = start + file.readAll();
    const QString samplesPath = journalSamplesPath(journal);
    // Died before its first line was whole: nothing to recover.
    if (kLogStart.startsWith(content)) {
        file.remove();
        QFile::remove(samplesPath);
        return std::nullopt;
    }
    RecordSet record{recordDir,
                     recoveredStamp(QFileInfo(file).lastModified()),
                     wholeJournalLines(content),
                     QStringLiteral("保存路径:"),
                     {},
                     std::nullopt};
    // A journal left by an earlier version has no samples beside it: its
    // record is recovered without a spreadsheet and a picture.
    QFile samples(samplesPath);
    if (samples.open(QIODevice::ReadOnly)) {
        record.series = readSampleJournal(samples.readAll());
    }
    const PublishedRecord published = publishRecord(record, disk);
    recovery.record = published.path;
    recovery.problem = published.problem;
    // Removed while still locked, so nobody recovers it twice; where it
    // cannot be removed, emptied for the same reason.
    if (published.problem.isEmpty() && !QFile::remove(journal) &&
        (::ftruncate(file.handle(), 0) != 0 || disk.syncData(file.handle()) != 0)) {
        recovery.problem = QStringLiteral("cannot remove: %1").arg(systemError());
    }
    if (published.problem.isEmpty()) {
        samples.remove();
    }
    return recovery;
}

} // namespace

QByteArray wholeJournalLines(const QByteArray& journal) {
    const qsizetype end = journal.lastIndexOf("\r\n");
    return end < 0 ? QByteArray() : journal.left(end + 2);
}

QString recoveredStamp(const QDateTime& lastWrite) {
    return stopStamp(lastWrite) + QStringLiteral("_recovered");
}

bool isJournalName(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral("^journal-[0-9]+-[0-9]+\\.journal$"));
    return pattern.match(name).hasMatch();
}

QList<JournalRecovery> recoverJournals(const QString& dataDir, const QString& recordDir,
                                       const DiskCalls& disk) {
    QList<JournalRecovery> recoveries;
    const QStringList files =
        QDir(dataDir).entryList(QDir::Files | QDir::Hidden, QDir::Time | QDir::Reversed);
    for (const QString& name : files) {
        if (!isJournalName(name)) {
            continue;
        }
        if (auto recovery = recoverJournal(dataDir + QLatin1Char('/') + name, recordDir, disk)) {
            recoveries.append(*recovery);
        }
    }
    return recoveries;
}

QString recoveryMessage(const QList<JournalRecovery>& recoveries) {
    QStringList saved;
    QStringList kept;
    for (const JournalRecovery& recovery : recoveries) {
        if (!recovery.record.isEmpty()) {
            saved << QDir::toNativeSeparators(recovery.record);
        }
        if (!recovery.problem.isEmpty()) {
            kept << QDir::toNativeSeparators(recovery.journal) + QStringLiteral("\n") +
                        recovery.problem;
        }
    }
    QString message;
    if (!saved.isEmpty()) {
        message += QStringLiteral("上次运行未正常结束，测量记录已恢复：\nThe measurement log of a "
                                  "run that did not end normally was recovered:\n\n%1")
                       .arg(saved.join(QLatin1Char('\n')));
    }
    if (!kept.isEmpty()) {
        if (!message.isEmpty()) {
            message += QStringLiteral("\n\n");
        }
        message +=
            QStringLiteral("上次运行的测量记录未能恢复，将在下次启动时再试：\nThe measurement "
                           "log of a run that did not end normally could not be recovered; "
                           "the next start tries again:\n\n%1")
                .arg(kept.join(QStringLiteral("\n\n")));
    }
    return message;
}
