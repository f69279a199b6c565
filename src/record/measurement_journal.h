#pragma once

#include <QFile>
#include <QString>
#include <QStringEncoder>

// Takes the lock of an open journal without waiting. False when a living
// program holds it, or when the file has been removed meanwhile (by a program
// that recovered it): either way it is not this caller's to use.
bool lockJournal(int fd);

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
class MeasurementJournal {
public:
    static inline const QString kSuffix = QStringLiteral(".journal");

    MeasurementJournal() = default;
    ~MeasurementJournal();
    MeasurementJournal(const MeasurementJournal&) = delete;
    MeasurementJournal& operator=(const MeasurementJournal&) = delete;

    // Starts a new journal in the folder holding the text, durable at once.
    // False when it cannot be written; the journal then takes nothing more.
    bool start(const QString& dir, const QString& text);
    // False when the write fails; the journal then takes nothing more.
    bool append(const QString& text);
    // Makes everything written so far durable; false when the disk refuses.
    bool sync();
    // Ends the journal: removed when its log was saved elsewhere, otherwise
    // left for the next start to recover.
    void finish(bool remove);

    // Open and every write so far succeeded.
    bool writing() const { return file_.isOpen() && !failed_; }
    QString path() const { return file_.fileName(); }
    QString errorString() const { return error_; }

private:
    bool fail(const QString& why);
    bool write(const QString& text);

    QFile file_;
    QStringEncoder encoder_{QStringConverter::System};
    bool failed_ = false;
    bool unsynced_ = false;
    QString error_;
    int started_ = 0;
};
