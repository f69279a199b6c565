#include "record/journal_recovery.h"

#include "display/log_text.h"
#include "record/measurement_journal.h"
#include "record/record_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>

#include <optional>

namespace {

// One journal, when no living program holds it.
std::optional<JournalRecovery> recoverJournal(const QString& journal, const QString& recordDir) {
    QFile file(journal);
    if (!file.open(QIODevice::ReadOnly) || !lockJournal(file.handle())) {
        return std::nullopt;
    }
    const QByteArray lines = wholeJournalLines(file.readAll());
    if (lines.isEmpty()) {
        QFile::remove(journal);
        return std::nullopt;
    }
    JournalRecovery recovery{journal, {}, {}};
    const QString stamp = recoveredStamp(QFileInfo(file).lastModified());
    const QString path = freeRecordPath(recordDir, stamp);
    QStringEncoder encoder(QStringConverter::System);
    const QByteArray savePath = encoder.encode(
        QStringLiteral("保存路径:") + QDir::toNativeSeparators(path) + QStringLiteral("\r\n"));
    if (!QDir().mkpath(recordDir)) {
        recovery.problem =
            QStringLiteral("cannot create %1").arg(QDir::toNativeSeparators(recordDir));
    } else {
        recovery.problem = writeRecordBytes(path, lines + savePath);
    }
    if (recovery.problem.isEmpty()) {
        recovery.record = path;
        // Removed while still locked, so nobody recovers it twice.
        QFile::remove(journal);
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

QList<JournalRecovery> recoverJournals(const QString& dataDir, const QString& recordDir) {
    QList<JournalRecovery> recoveries;
    const QStringList journals = QDir(dataDir).entryList(
        {QLatin1Char('*') + MeasurementJournal::kSuffix}, QDir::Files, QDir::Time | QDir::Reversed);
    for (const QString& name : journals) {
        if (auto recovery = recoverJournal(dataDir + QLatin1Char('/') + name, recordDir)) {
            recoveries.append(*recovery);
        }
    }
    return recoveries;
}

QString recoveryMessage(const QList<JournalRecovery>& recoveries) {
    QStringList saved;
    QStringList kept;
    for (const JournalRecovery& recovery : recoveries) {
        if (recovery.problem.isEmpty()) {
            saved << QDir::toNativeSeparators(recovery.record);
        } else {
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
