#include "app/main_window.h"

#include "display/log_box.h"
#include "display/log_text.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "record/journal_recovery.h"
#include "record/record_worker.h"
#include "record/sample_journal.h"

#include <QDir>
#include <QTimer>

// The measurement log goes to a journal on disk as it grows, and to a record
// at every stop, both through the record worker. A journal that cannot be
// written is reported once and the run goes on with the log in memory, saved
// at switch-off as ever.

void MainWindow::connectRecordWorker() {
    records_ = platform_.records != nullptr
                   ? platform_.records
                   : new RecordWorker(RecordWorker::Mode::OwnThread, DiskCalls::real(), this);
    connect(records_, &RecordWorker::journalFailed, this, &MainWindow::reportJournalFailure);
    connect(records_, &RecordWorker::saved, this, &MainWindow::recordsSaved);
    connect(records_, &RecordWorker::recovered, this, &MainWindow::journalsRecovered);
}

// Once the event loop runs, so the stop signals are already handled: a
// signal during the recovery ends the program only after it.
void MainWindow::recoverJournalsAtStart() {
    QTimer::singleShot(0, this, [this] { records_->recoverJournals(dataDir(), recordDir()); });
}

void MainWindow::journalsRecovered(const QList<JournalRecovery>& recoveries) {
    const QString message = recoveryMessage(recoveries);
    if (!message.isEmpty()) {
        platform_.dialogs->message(message, QStringLiteral("Velkor"));
    }
}

void MainWindow::startJournal() {
    ++logTag_;
    records_->startJournal(dataDir(), logBox->text() + QStringLiteral("\r\n"),
                           sampleJournalStart(samples_));
    journalSync_->start();
}

void MainWindow::journalLine(const QString& line, const Sample& sample) {
    records_->appendJournal(line + QStringLiteral("\r\n"), sampleJournalLine(sample));
}

// Every second, so at most the last second or two of the log is lost when the
// machine itself goes down; a process that dies loses nothing written.
void MainWindow::syncJournal() {
    records_->syncJournal();
}

void MainWindow::saveLogAsRecord() {
    journalSync_->stop();
    RecordSet record;
    record.dir = recordDir();
    record.stamp = stopStamp(platform_.clock->now());
    record.savePathLabel =
        state.englishUi ? QStringLiteral("Save Path:") : QStringLiteral("保存路径:");
    if (!exiting_) {
        record.series = samples_;
    }
    ++pendingSaves_;
    records_->save(record, logBox->utf8(), logTag_);
}

void MainWindow::recordsSaved(const RecordAnswer& answer) {
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
            // Only while the log box still shows that log: a run started over
            // the manual output has begun a log of its own meanwhile.
            logBox->appendText(outcome.savePathLabel + QDir::toNativeSeparators(published.path));
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
    if (pendingSaves_ == 0 && closeWaits_) {
        closeWaits_ = false;
        close();
    }
}

void MainWindow::reportJournalFailure(const QString& path, const QString& why) {
    platform_.dialogs->message(
        QStringLiteral("测量记录无法同时写入磁盘，本次记录只保存在内存中，关闭输出时照常保存。\n"
                       "The measurement log cannot be kept on disk as it grows; it is kept in "
                       "memory and saved at switch-off as usual.\n\n%1\n%2")
            .arg(QDir::toNativeSeparators(path), why),
        QStringLiteral("Velkor"));
}
