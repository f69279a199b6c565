#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

// What became of one journal left behind by a program that died.
struct JournalRecovery {
    QString journal;
    // The record file written, or the empty text when it could not be.
    QString record;
    // Why the record could not be written; the journal is then kept.
    QString problem;
};

// The journal's whole lines: everything up to and including its last CR LF.
// A line cut short by a crash or a power cut has no CR LF and is left out.
QByteArray wholeJournalLines(const QByteArray& journal);

// The stamp of a record recovered from a journal last written at that
// moment: its stop stamp, marked as recovered.
QString recoveredStamp(const QDateTime& lastWrite);

// Turns every journal in the data folder that no living program holds into
// a record file in the record folder, laid out as every record (the log's
// lines, then the save-path line naming the file), and removes the journal.
// A journal without a whole line holds nothing to recover and is removed.
QList<JournalRecovery> recoverJournals(const QString& dataDir, const QString& recordDir);

// The one message that tells the operator what was recovered (Chinese and
// English); empty when there was nothing.
QString recoveryMessage(const QList<JournalRecovery>& recoveries);
