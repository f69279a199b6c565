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
    // Lines of the values journalled beside it that were damaged and left
    // out of its spreadsheet and picture.
    int damagedSampleLines = 0;
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
// A journal whose program died after saving its record (the record's noted
// name holds it whole) gets no second record: only the files beside it that
// are missing are made. Only files with a journal's name that begin as a
// log begins are touched; one that holds less than a whole line is removed,
// and so are the samples and notes of journals that are gone. First, the
// temporary files that dead programs left in the record folder go.
QList<JournalRecovery> recoverJournals(const QString& dataDir, const QString& recordDir,
                                       const DiskCalls& disk = DiskCalls::real());

// The one message that tells the operator what was recovered (Chinese and
// English); empty when there was nothing.
QString recoveryMessage(const QList<JournalRecovery>& recoveries);
