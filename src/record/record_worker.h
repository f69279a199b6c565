#pragma once

#include "record/disk_calls.h"
#include "record/journal_recovery.h"
#include "record/measurement_journal.h"
#include "record/record_file.h"

#include <QList>
#include <QObject>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

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
    // synced and left for the next start.
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
    void recoverJournals(const QString& dataDir, const QString& recordDir);
    // Waits until every job handed over has run, at most this long; true
    // when none is left.
    bool waitUntilIdle(int ms);

signals:
    // Once per journal, at its first failure.
    void journalFailed(const QString& path, const QString& why);
    void saved(const RecordAnswer& answer);
    void recovered(const QList<JournalRecovery>& recoveries);

private:
    struct Unsaved {
        int tag;
        RecordSet record;
        std::unique_ptr<MeasurementJournal> journal;
        bool triedBefore = false;
    };

    void post(std::function<void()> job);
    void answer(std::function<void()> signal);
    void run();
    // On the worker's thread.
    void checkJournal();
    void saveUnsaved(RecordAnswer& answer);
    void keepJournals();

    const Mode mode_;
    const DiskCalls disk_;
    // Touched by jobs only.
    std::unique_ptr<MeasurementJournal> journal_;
    bool journalReported_ = false;
    std::vector<Unsaved> unsaved_;

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<std::function<void()>> jobs_;
    bool working_ = false;
    bool ending_ = false;
    std::thread thread_;
};
