#pragma once

#include "platform/open_file.h"
#include "record/disk_calls.h"

#include <QString>
#include <QStringEncoder>

#include <utility>

enum class JournalLock {
    Taken,
    // A living program holds it, or it was removed meanwhile (by a program
    // that recovered it): either way it is not this caller's to use.
    NotOurs,
    // The file system refused the lock (a network folder without locking).
    Failed,
};

// journal-<pid>-<n>.samples beside journal-<pid>-<n>.journal.
QString journalSamplesPath(const QString& journalPath);
// journal-<pid>-<n>.published: the name the journal's record took.
QString journalNotePath(const QString& journalPath);

// Notes the name a journal's record is about to take, durably: one line,
// the path in UTF-8 and "\n". False when it cannot be written.
bool noteRecordName(const QString& notePath, const QString& recordPath, const DiskCalls& disk);
// The name noted, or the empty text when there is no whole note.
QString notedRecordName(const QString& notePath);

// Takes the lock of a journal open for writing, without waiting.
JournalLock lockJournal(int fd, const DiskCalls& disk);

// The measurement log on disk while the output is on, so that a crash, a kill
// or a power cut loses at most the last moments of it. The journal holds the
// bytes the record file would hold so far: the system's 8-bit encoding, every
// line ended by CR LF, so a line cut short by the end of the process has no
// line end and is known to be incomplete.
//
// Each piece goes to the file at once; sync() makes it durable. The file is
// locked while it is open, so a program started beside this one never takes
// it for the journal of a program that died. Names are unique per process
// and journal: journal-<pid>-<n>.journal in the data folder.
//
// The log's values go beside it, line for line, in journal-<pid>-<n>.samples
// (see sample_journal.h), covered by the journal's lock, synced and removed
// with it. Before its record takes a name, the name is noted in
// journal-<pid>-<n>.published, so that a process that dies between saving the
// record and removing the journal leaves no log to be saved twice.
class MeasurementJournal {
public:
    static inline const QString kSuffix = QStringLiteral(".journal");
    static inline const QString kSamplesSuffix = QStringLiteral(".samples");
    static inline const QString kNoteSuffix = QStringLiteral(".published");

    explicit MeasurementJournal(DiskCalls disk = DiskCalls::real()) : disk_(std::move(disk)) {}
    MeasurementJournal(const MeasurementJournal&) = delete;
    MeasurementJournal& operator=(const MeasurementJournal&) = delete;

    // Starts a new journal in the folder holding the text, and its samples
    // file holding the samples' bytes, durable at once. False when either
    // cannot be written; the journal then takes nothing more.
    bool start(const QString& dir, const QString& text, const QByteArray& samples = {});
    // False when a write fails; the journal then takes nothing more.
    bool append(const QString& text, const QByteArray& samples = {});
    // Makes everything written so far durable; false when the disk refuses.
    bool sync();
    // Notes the name its record is about to take; false when the note
    // could not be written.
    bool noteRecordName(const QString& recordPath);
    // Ends the journal: removed when its log was saved elsewhere, otherwise
    // synced and left for the next start to recover.
    void finish(bool remove);

    // Open and every write so far succeeded.
    bool writing() const { return file_.isOpen() && !failed_; }
    QString path() const { return path_; }
    QString errorString() const { return error_; }

private:
    bool fail(const QString& why);
    bool write(const QString& text, const QByteArray& samples);

    DiskCalls disk_;
    // Opened through the platform's calls, which leave a file open here
    // free to be removed: the journal goes while it is still locked.
    QString path_;
    OpenFile file_;
    OpenFile samples_;
    QStringEncoder encoder_{QStringConverter::System};
    bool failed_ = false;
    bool unsynced_ = false;
    QString error_;
    int started_ = 0;
};
