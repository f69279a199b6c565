#include "session/supply_session.h"

#include "platform/clock.h"
#include "platform/dialogs.h"
#include "record/journal_recovery.h"
#include "record/log_text.h"
#include "record/record_worker.h"
#include "record/sample_journal.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

// The measurement log goes to a journal on disk as it grows, and to a record
// at every stop, both through the record worker. A journal that cannot be
// written is reported once and the run goes on with the log in memory, saved
// at switch-off as ever.

void SupplySession::connectRecordWorker() {
    records_ = platform_.records != nullptr
                   ? platform_.records
                   : new RecordWorker(RecordWorker::Mode::OwnThread, DiskCalls::real(), this);
    connect(records_, &RecordWorker::journalFailed, this, &SupplySession::reportJournalFailure);
    connect(records_, &RecordWorker::saved, this, &SupplySession::recordsSaved);
    connect(records_, &RecordWorker::recovered, this, &SupplySession::journalsRecovered);
}

void SupplySession::replaceLog(const QString& text) {
    log_ = text.toUtf8();
    emit logReplaced(text);
}

void SupplySession::appendLog(const QString& text) {
    log_ += text.toUtf8();
    emit logAppended(text);
}

void SupplySession::journalsRecovered(const QList<JournalRecovery>& recoveries) {
    const QString message = recoveryMessage(recoveries);
    if (!message.isEmpty()) {
        platform_.dialogs->message(message, QStringLiteral("Velkor"));
    }
}

// A new log: the header, the moment the output came on and, for a run, the
// line where it began; in memory and in a journal on disk.
void SupplySession::beginLog(const RunShape& run) {
    const QDateTime now = platform_.clock->now();
    replaceLog(logHeader());
    appendLog(logStartLine(now, timeOfDayText(now.time())));
    if (run.isRun()) {
        appendLog(QStringLiteral("\r\n") + runStartLogLine(timeOfDayText(now.time()), run));
    }
    samples_.begin(now, run);
    ++logTag_;
    journalFailed_ = false;
    records_->startJournal(platform_.dataDir, logText() + QStringLiteral("\r\n"),
                           sampleJournalStart(samples_));
    journalSync_->start();
}

void SupplySession::journalLine(const QString& line, const Sample& sample) {
    records_->appendJournal(line + QStringLiteral("\r\n"), sampleJournalLine(sample));
}

void SupplySession::saveLogAsRecord() {
    journalSync_->stop();
    RecordSet record;
    record.dir = recordDir();
    record.stamp = stopStamp(platform_.clock->now());
    record.savePathLabel =
        state.englishUi ? QStringLiteral("Save Path:") : QStringLiteral("保存路径:");
    record.series = samples_;
    ++pendingSaves_;
    records_->save(record, log_, logTag_);
}

// Abandoned even when idle: at its end the worker would sync the journals
// it keeps, and the disk that holds them may not answer.
void SupplySession::letRecordWorkerGo(int waitMs) {
    records_->waitUntilIdle(waitMs);
    records_->abandon();
}

void SupplySession::recordsSaved(const RecordAnswer& answer) {
    --pendingSaves_;
    unsavedRecords_ = answer.unsaved;
    unsavedInMemory_ = answer.unsavedInMemory;
    QStringList savedLate;
    QStringList failed;
    for (const RecordOutcome& outcome : answer.outcomes) {
        const PublishedRecord& published = outcome.published;
        if (!published.problem.isEmpty()) {
            const QString where = outcome.keptIn.isEmpty()
                                      ? QStringLiteral("仅在内存中 / in memory only")
                                      : QDir::toNativeSeparators(outcome.keptIn);
            failed << QDir::toNativeSeparators(published.failedPath) + QLatin1Char('\n') +
                          published.problem + QStringLiteral("\n→ ") + where;
        } else if (outcome.triedBefore) {
            savedLate << QDir::toNativeSeparators(published.path);
        } else if (outcome.tag == logTag_) {
            // Only while the log still is that log: a run started over the
            // manual output has begun a log of its own meanwhile.
            appendLog(outcome.savePathLabel + QDir::toNativeSeparators(published.path));
        }
    }
    if (!savedLate.isEmpty()) {
        platform_.dialogs->message(
            QStringLiteral("先前未能保存的测量记录现已保存：\nA measurement log that could not "
                           "be saved earlier is saved now:\n\n%1")
                .arg(savedLate.join(QLatin1Char('\n'))),
            QStringLiteral("Velkor"));
    }
    if (!failed.isEmpty()) {
        platform_.dialogs->message(
            QStringLiteral("记录文件未能保存。测量记录保留在下列位置，下次关闭输出、关闭程序或启动"
                           "时再试。\nThe record file could not be saved. The log is kept where "
                           "shown and saved at the next switch-off, at the close or at the next "
                           "start.\n\n%1")
                .arg(failed.join(QStringLiteral("\n\n"))),
            QStringLiteral("Velkor"));
    }
    reportFolderNotSynced(answer);
    if (pendingSaves_ == 0 && closeWaits_) {
        closeWaits_ = false;
        emit closeWaitOver();
    }
}

// A record whose files all have their names is saved; a folder that could
// not be synced only means the newest names may not outlast a power cut.
// A file system that has no folder syncs at all is said once.
void SupplySession::reportFolderNotSynced(const RecordAnswer& answer) {
    QStringList failed;
    for (const RecordOutcome& outcome : answer.outcomes) {
        const PublishedRecord& published = outcome.published;
        if (published.folderNotSynced.isEmpty()) {
            continue;
        }
        const QString dir = QDir::toNativeSeparators(QFileInfo(published.path).path());
        if (!published.folderSyncUnsupported) {
            failed << QDir::toNativeSeparators(published.path) + QLatin1Char('\n') +
                          published.folderNotSynced;
        } else if (!folderSyncUnsupportedTold_) {
            folderSyncUnsupportedTold_ = true;
            platform_.dialogs->message(
                QStringLiteral(
                    "记录已保存。该文件夹所在的文件系统不支持同步文件夹，断电时最新记录的"
                    "文件名可能丢失。\nRecords are saved. The file system of the folder "
                    "cannot sync folders, so a power cut may lose the names of the "
                    "newest records.\n\n%1\n%2")
                    .arg(dir, published.folderNotSynced),
                QStringLiteral("Velkor"));
        }
    }
    if (!failed.isEmpty()) {
        platform_.dialogs->message(
            QStringLiteral("记录已保存，但文件夹未能同步，断电时其文件名可能丢失。\nThe record is "
                           "saved, but its folder could not be synced; a power cut may lose its "
                           "name.\n\n%1")
                .arg(failed.join(QStringLiteral("\n\n"))),
            QStringLiteral("Velkor"));
    }
}

void SupplySession::reportJournalFailure(const QString& path, const QString& why) {
    journalFailed_ = true;
    platform_.dialogs->message(
        QStringLiteral("测量记录无法同时写入磁盘，本次记录只保存在内存中，关闭输出时照常保存。\n"
                       "The measurement log cannot be kept on disk as it grows; it is kept in "
                       "memory and saved at switch-off as usual.\n\n%1\n%2")
            .arg(QDir::toNativeSeparators(path), why),
        QStringLiteral("Velkor"));
}
