#include "record/journal_recovery.h"

#include "platform/file_calls.h"
#include "platform/open_file.h"
#include "record/log_text.h"
#include "record/measurement_journal.h"
#include "record/record_companions.h"
#include "record/record_file.h"
#include "record/sample_journal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <optional>

namespace {

// How every log begins, whatever the version that wrote it.
const QByteArray kLogStart = QByteArrayLiteral("Velkor\r\nVersion: ");

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

QByteArray fileBytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The record at the noted path, when it is this journal's and whole: it
// begins with the journal's lines (or holds more, where the journal failed
// before the log ended) and ends with the save-path line naming itself. One
// that is this journal's but cut short (written under its final name where
// files can be named no other way) is removed, to be saved again.
bool isSavedRecordOf(const QString& path, const QByteArray& lines) {
    QFile record(path);
    if (path.isEmpty() || !record.open(QIODevice::ReadOnly)) {
        return false;
    }
    const QByteArray content = record.readAll();
    if (!content.startsWith(lines) && !lines.startsWith(content)) {
        return false;
    }
    for (const QString& label : {QStringLiteral("保存路径:"), QStringLiteral("Save Path:")}) {
        if (content.size() > lines.size() && content.endsWith(savePathLine(label, path))) {
            return true;
        }
    }
    record.remove();
    return false;
}

// The files beside a saved record as its values make them: a process that
// died part way through the save may have left one missing, or, where
// files are written under their final names, cut short. Those beside the
// record's own name are its own: a record takes a name only when all of
// its names are free.
void completeCompanions(const QString& recordPath, const RunSeries& series, const DiskCalls& disk) {
    const QString stem = recordPath.chopped(QStringLiteral(".TXT").size());
    for (const CompanionFile& companion : makeCompanions(recordPath, series, disk)) {
        const QString path = stem + companion.suffix;
        if (QFileInfo::exists(path) && fileBytesOf(path) == companion.bytes) {
            continue;
        }
        QFile::remove(path);
        placeBeside(path, companion.bytes, disk);
    }
    syncFolder(QFileInfo(recordPath).path(), disk);
}

// One journal, when no living program holds it.
std::optional<JournalRecovery> recoverJournal(const QString& journal, const QString& recordDir,
                                              const DiskCalls& disk) {
    // Opened through the platform's calls, which leave it free to be
    // removed while still open and locked. Written, so that the lock also
    // works where flock becomes a write lock (network home folders).
    const QByteArray journalName = file_calls::encodedPath(journal);
    OpenFile file(file_calls::openExisting(journalName.constData()));
    if (!file.isOpen()) {
        return std::nullopt;
    }
    // Another program's file, whatever its name, is not even locked.
    const QByteArray start = file_calls::read(file.fd(), kLogStart.size());
    if (!kLogStart.startsWith(start)) {
        return std::nullopt;
    }
    JournalRecovery recovery{journal, {}, {}, 0};
    switch (lockJournal(file.fd(), disk)) {
    case JournalLock::Taken:
        break;
    case JournalLock::NotOurs:
        return std::nullopt;
    case JournalLock::Failed:
        recovery.problem = QStringLiteral("cannot lock: %1").arg(systemError());
        return recovery;
    }
    const QByteArray content = start + file_calls::readToEnd(file.fd());
    const QString samplesPath = journalSamplesPath(journal);
    const QString notePath = journalNotePath(journal);
    // Died before its first line was whole: nothing to recover.
    if (kLogStart.startsWith(content)) {
        file.close();
        file_calls::remove(journalName.constData());
        QFile::remove(samplesPath);
        QFile::remove(notePath);
        return std::nullopt;
    }
    const QByteArray lines = wholeJournalLines(content);
    // A journal left by an earlier version has no samples beside it: its
    // record is recovered without a spreadsheet and a picture.
    std::optional<RunSeries> series;
    QFile samples(samplesPath);
    if (samples.open(QIODevice::ReadOnly)) {
        series = readSampleJournal(samples.readAll());
        recovery.damagedSampleLines = series->damagedLines;
    }
    const QString noted = notedRecordName(notePath);
    if (isSavedRecordOf(noted, lines)) {
        // Its program died after saving it: the record stays as it is, and
        // only what it had not written beside it yet is made.
        recovery.record = noted;
        if (series) {
            completeCompanions(noted, *series, disk);
        }
    } else {
        const RecordSet record{recordDir, recoveredStamp(QFileInfo(journal).lastModified()),
                               lines,     QStringLiteral("保存路径:"),
                               {},        series};
        const PublishedRecord published = publishRecord(
            record, disk, [&](const QString& path) { noteRecordName(notePath, path, disk); });
        recovery.record = published.path;
        recovery.problem = published.problem;
        if (!published.problem.isEmpty()) {
            return recovery;
        }
    }
    // Removed while still locked, so nobody recovers it twice; where it
    // cannot be removed, emptied for the same reason.
    disk.at(DiskStep::RemoveJournal);
    if (file_calls::remove(journalName.constData()) != 0 &&
        (file_calls::truncate(file.fd(), 0) != 0 || disk.syncData(file.fd()) != 0)) {
        recovery.problem = QStringLiteral("cannot remove: %1").arg(systemError());
    }
    disk.at(DiskStep::RemoveSamples);
    samples.remove();
    disk.at(DiskStep::RemoveNote);
    QFile::remove(notePath);
    return recovery;
}

// The samples and the note of a journal that is gone: left by a program
// that died while it removed them.
bool isOrphanOfJournal(const QString& dataDir, const QString& name) {
    static const QRegularExpression pattern(
        QStringLiteral("^(journal-[0-9]+-[0-9]+)\\.(samples|published)$"));
    const QRegularExpressionMatch match = pattern.match(name);
    return match.hasMatch() && !QFileInfo::exists(dataDir + QLatin1Char('/') + match.captured(1) +
                                                  MeasurementJournal::kSuffix);
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
    removeDeadTemporaries(recordDir, disk);
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
    for (const QString& name : files) {
        if (isOrphanOfJournal(dataDir, name)) {
            QFile::remove(dataDir + QLatin1Char('/') + name);
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
            if (recovery.damagedSampleLines > 0) {
                saved.last() += QStringLiteral(" (%1 行损坏的数值已略去 / %1 damaged lines of "
                                               "values left out)")
                                    .arg(recovery.damagedSampleLines);
            }
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
