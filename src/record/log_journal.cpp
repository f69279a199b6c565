#include "app/form1.h"

#include "record/journal_recovery.h"
#include "display/log_box.h"
#include "platform/dialogs.h"

#include <QDir>
#include <QTimer>

// The measurement log goes to a journal on disk as it grows (see
// MeasurementJournal). A journal that cannot be written is reported once and
// the run goes on with the log in memory, saved at switch-off as ever.

void Form1::recoverJournalsAtStart() {
    const QString message = recoveryMessage(recoverJournals(dataDir(), recordDir()));
    if (message.isEmpty()) {
        return;
    }
    // Shown once the window is up, so the box belongs to it.
    QTimer::singleShot(0, this, [this, message] {
        platform_.dialogs->message(message, QStringLiteral("Velkor"));
    });
}

void Form1::startJournal() {
    if (!journal_.start(dataDir(), Text3->text() + QStringLiteral("\r\n"))) {
        reportJournalFailure();
    }
    journalSync_->start();
}

void Form1::journalLine(const QString& line) {
    if (journal_.writing() && !journal_.append(line + QStringLiteral("\r\n"))) {
        reportJournalFailure();
    }
}

// Every second, so at most the last second or two of the log is lost when the
// machine itself goes down; a process that dies loses nothing written.
void Form1::syncJournal() {
    if (journal_.writing() && !journal_.sync()) {
        reportJournalFailure();
    }
}

// A journal whose log is saved as a record is removed; otherwise it stays for
// the next start to recover.
void Form1::endJournal(bool recordSaved) {
    journalSync_->stop();
    journal_.finish(recordSaved);
}

void Form1::reportJournalFailure() {
    platform_.dialogs->message(
        QStringLiteral("测量记录无法同时写入磁盘，本次记录只保存在内存中，关闭输出时照常保存。\n"
                       "The measurement log cannot be kept on disk as it grows; it is kept in "
                       "memory and saved at switch-off as usual.\n\n%1\n%2")
            .arg(QDir::toNativeSeparators(journal_.path()), journal_.errorString()),
        QStringLiteral("Velkor"));
}
