#pragma once

#include "record/disk_calls.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

// What became of one journal left behind by a program that died.
struct JournalRecovery {
    QString journal;
    // The record file written, or the empty text when it could not be.
    QString record;
    // Why the record could not be written or the journal not locked; the
    // journal is then kept. With a record: why the journal stays although
    // saved (emptied, so it is never recovered twice).
    QString problem;
};

// The journal's whole lines: everything up to and including its last CR LF.
// A line cut short by a crash or a power cut has no CR LF and is left out.
QByteArray wholeJournalLines(const QByteArray& journal);

// The stamp of a record recovered from a journal last written at that
// moment: its stop stamp, marked as recovered.
QString recoveredStamp(const QDateTime& lastWrite);

// Whether a file name is one this program gives its journals:
// journal-<pid>-<n>.journal, in that case.
bool isJournalName(const QString& name);

// Turns every journal in the data folder that no living program holds into
// a record file in the record folder, laid out as every record (the log's
// lines, then the save-path line naming the file), and removes the journal.
// Only files with a journal's name that begin as a log begins are touched;
// one that holds less than a whole line is removed.
QList<JournalRecovery> recoverJournals(const QString& dataDir, const QString& recordDir,
                                       const DiskCalls& disk = DiskCalls::real());

// The one message that tells the operator what was recovered (Chinese and
// English); empty when there was nothing.
QString recoveryMessage(const QList<JournalRecovery>& recoveries);
