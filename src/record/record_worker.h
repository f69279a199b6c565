#pragma once

#include "record/disk_calls.h"
#include "record/journal_recovery.h"
#include "record/measurement_journal.h"
#include "record/record_file.h"

#include <QList>
#include <QObject>
#include <functional>
#include <memory>
#include <thread>

// What became of one record handed to the worker.
struct RecordOutcome {
    // The tag the record was handed over with: which log it was.
    int tag = 0;
    QString savePathLabel;
    PublishedRecord published;
    // Where a record that could not be saved waits for the next try: its
    // journal, or the empty text when only memory holds it.
    QString keptIn;
    // An earlier try at this record failed.
    bool triedBefore = false;
};

// The answer to one save: the records tried, those kept from earlier failed
// saves first, and how many are still unsaved.
struct RecordAnswer {
    QList<RecordOutcome> outcomes;
    int unsaved = 0;
    // Of those, held in memory only: lost if the program ends.
    int unsavedInMemory = 0;
};

// Saves the record; once it is saved with every file beside it, its journal
// (when it has one) goes. A journal still being written notes the record's
// name before the name is taken. A record whose picture is left to the next
// start keeps the journal that noted its name, for that start to draw the
// picture beside it.
PublishedRecord saveJournalledRecord(const RecordSet& record, MeasurementJournal* journal,
                                     const DiskCalls& disk);

// The one place where files are written and synced: the journal of the
// measurement log, the record files and the files saved beside them. Jobs
// run one at a time, in the order they were handed over, on the worker's own
// thread, each with its own copy of the bytes it writes, so a slow disk (a USB
// stick, a network folder) never holds up the window's thread: not a frame,
// not a stop. Answers come back on the window's thread as signals.
//
// The journal in progress belongs to the worker; a record that cannot be
// saved keeps its journal open and locked (or its bytes in memory when the
// disk took nothing) and is tried again before every later save.
class RecordWorker : public QObject {
    Q_OBJECT
public:
    enum class Mode {
        OwnThread,
        // Jobs run at once on the caller's thread, answers too: for tests
        // that drive the window tick by tick.
        CallersThread,
    };

    explicit RecordWorker(Mode mode = Mode::OwnThread, DiskCalls disk = DiskCalls::real(),
                          QObject* parent = nullptr);
    // Runs every job handed over before it ends; journals still open are
    // synced and left for the next start. Once abandoned, waits for nothing.
    ~RecordWorker() override;
    RecordWorker(const RecordWorker&) = delete;
    RecordWorker& operator=(const RecordWorker&) = delete;

    // A new journal in the folder, beginning with the text and, in its
    // samples file, the samples' bytes; a journal still open goes (its log
    // was replaced).
    void startJournal(const QString& dir, const QString& text, const QByteArray& samples);
    void appendJournal(const QString& text, const QByteArray& samples);
    void syncJournal();
    // Saves a record whose log is the log box's UTF-8 text, written in the
    // system's 8-bit encoding; once it is saved, the journal goes.
    void save(const RecordSet& record, const QByteArray& logUtf8, int tag);
    // Tries the records kept from failed saves again.
    void retryUnsaved();
    // From now on records are saved without their pictures, which the next
    // start draws: the process ends inside exit(), where the GUI a picture
    // is drawn with may be torn down already.
    void leavePicturesToNextStart();
    void recoverJournals(const QString& dataDir, const QString& recordDir);
    // Waits until every job handed over has run, at most this long; true
    // when none is left.
    bool waitUntilIdle(int ms);
    // The program ends without waiting for the disk any longer: jobs not
    // begun are dropped, and one the disk holds up is left to end with the
    // process. Journals stay on the disk, for the next start.
    void abandon();

signals:
    // Once per journal, at its first failure.
    void journalFailed(const QString& path, const QString& why);
    void saved(const RecordAnswer& answer);
    void recovered(const QList<JournalRecovery>& recoveries);

private:
    // Everything the jobs touch, shared with the worker's thread, which may
    // outlive the worker once it is abandoned to a disk that does not answer.
    struct Desk;

    void post(std::function<void(Desk&)> job);

    std::shared_ptr<Desk> desk_;
    std::thread thread_;
};
