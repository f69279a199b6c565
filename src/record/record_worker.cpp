#include "record/record_worker.h"

#include <QStringEncoder>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

PublishedRecord saveJournalledRecord(const RecordSet& record, MeasurementJournal* journal,
                                     const DiskCalls& disk) {
    bool noted = false;
    const PublishedRecord published =
        publishRecord(record, disk, [journal, &noted](const QString& path) {
            noted = journal != nullptr && journal->writing() && journal->noteRecordName(path);
        });
    // Only a record on the disk lets its journal go, and only once every
    // file beside it is there too. A journal without a note of the name
    // would give the next start a second record, so it goes all the same.
    if (published.problem.isEmpty() && journal != nullptr) {
        journal->finish(!(record.pictureAtNextStart && noted));
    }
    return published;
}

struct RecordWorker::Desk {
    struct Unsaved {
        int tag;
        RecordSet record;
        std::unique_ptr<MeasurementJournal> journal;
        bool triedBefore = false;
    };

    Desk(Mode mode, DiskCalls disk) : mode(mode), disk(std::move(disk)) {}

    // Runs on the window's thread, unless the worker has gone.
    void answer(std::function<void(RecordWorker&)> signal);
    void run();
    void checkJournal();
    void saveUnsaved(RecordAnswer& answer);
    void keepJournals();

    const Mode mode;
    const DiskCalls disk;
    // Touched by jobs only.
    std::unique_ptr<MeasurementJournal> journal;
    bool journalReported = false;
    std::vector<Unsaved> unsaved;
    bool picturesLater = false;

    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<std::function<void(Desk&)>> jobs;
    bool working = false;
    bool ending = false;
    bool abandoned = false;
    // The worker's thread has left its loop; it touches nothing more.
    bool finished = false;
    // Cleared when the worker goes.
    RecordWorker* owner = nullptr;
};

namespace {

// How long the end of the program waits for an abandoned worker to leave
// its loop: long enough for one that is idle, short against a stop signal's
// 5 s.
constexpr std::chrono::milliseconds kAbandonedEndWait{300};

} // namespace

RecordWorker::RecordWorker(Mode mode, DiskCalls disk, QObject* parent)
    : QObject(parent), desk_(std::make_shared<Desk>(mode, std::move(disk))) {
    desk_->owner = this;
    if (mode == Mode::OwnThread) {
        thread_ = std::thread([desk = desk_] { desk->run(); });
    }
}

RecordWorker::~RecordWorker() {
    if (desk_->mode == Mode::CallersThread) {
        desk_->keepJournals();
        return;
    }
    bool abandoned = false;
    {
        const std::lock_guard lock(desk_->mutex);
        desk_->ending = true;
        desk_->owner = nullptr;
        abandoned = desk_->abandoned;
    }
    desk_->wake.notify_one();
    // An abandoned worker that is not held up by the disk ends at once, and
    // is joined: a thread left running while the process ends races its
    // teardown. Only one the disk still holds is left behind.
    if (abandoned) {
        std::unique_lock lock(desk_->mutex);
        abandoned =
            !desk_->idle.wait_for(lock, kAbandonedEndWait, [this] { return desk_->finished; });
    }
    if (abandoned) {
        thread_.detach();
    } else {
        thread_.join();
    }
}

void RecordWorker::post(std::function<void(Desk&)> job) {
    if (desk_->mode == Mode::CallersThread) {
        job(*desk_);
        return;
    }
    {
        const std::lock_guard lock(desk_->mutex);
        if (desk_->abandoned) {
            return;
        }
        desk_->jobs.push_back(std::move(job));
    }
    desk_->wake.notify_one();
}

void RecordWorker::Desk::answer(std::function<void(RecordWorker&)> signal) {
    if (mode == Mode::CallersThread) {
        signal(*owner);
        return;
    }
    // Under the lock, so the worker cannot go meanwhile; an answer still on
    // its way is dropped with the worker when it goes first.
    const std::lock_guard lock(mutex);
    if (owner != nullptr) {
        RecordWorker* receiver = owner;
        QMetaObject::invokeMethod(
            receiver, [receiver, signal] { signal(*receiver); }, Qt::QueuedConnection);
    }
}

void RecordWorker::Desk::run() {
    std::unique_lock lock(mutex);
    for (;;) {
        wake.wait(lock, [this] { return ending || !jobs.empty(); });
        if (jobs.empty()) {
            break;
        }
        std::function<void(Desk&)> job = std::move(jobs.front());
        jobs.pop_front();
        working = true;
        lock.unlock();
        job(*this);
        lock.lock();
        working = false;
        if (jobs.empty()) {
            idle.notify_all();
        }
    }
    // An abandoned worker's journals are left as they are: syncing them
    // would wait on the disk once more.
    if (!abandoned) {
        lock.unlock();
        keepJournals();
        lock.lock();
    }
    finished = true;
    idle.notify_all();
}

bool RecordWorker::waitUntilIdle(int ms) {
    if (desk_->mode == Mode::CallersThread) {
        return true;
    }
    std::unique_lock lock(desk_->mutex);
    return desk_->idle.wait_for(lock, std::chrono::milliseconds(ms),
                                [this] { return desk_->jobs.empty() && !desk_->working; });
}

void RecordWorker::abandon() {
    if (desk_->mode == Mode::CallersThread) {
        return;
    }
    const std::lock_guard lock(desk_->mutex);
    desk_->abandoned = true;
    desk_->jobs.clear();
}

void RecordWorker::startJournal(const QString& dir, const QString& text,
                                const QByteArray& samples) {
    post([dir, text, samples](Desk& desk) {
        // A journal still open belongs to a log the new header replaced.
        if (desk.journal) {
            desk.journal->finish(true);
        }
        desk.journal = std::make_unique<MeasurementJournal>(desk.disk);
        desk.journalReported = false;
        desk.journal->start(dir, text, samples);
        desk.checkJournal();
    });
}

void RecordWorker::appendJournal(const QString& text, const QByteArray& samples) {
    post([text, samples](Desk& desk) {
        if (desk.journal && desk.journal->writing()) {
            desk.journal->append(text, samples);
            desk.checkJournal();
        }
    });
}

void RecordWorker::syncJournal() {
    post([](Desk& desk) {
        if (desk.journal && desk.journal->writing()) {
            desk.journal->sync();
            desk.checkJournal();
        }
    });
}

void RecordWorker::Desk::checkJournal() {
    if (journalReported || journal->writing()) {
        return;
    }
    journalReported = true;
    const QString path = journal->path();
    const QString why = journal->errorString();
    answer([path, why](RecordWorker& worker) { emit worker.journalFailed(path, why); });
}

void RecordWorker::save(const RecordSet& record, const QByteArray& logUtf8, int tag) {
    post([record, logUtf8, tag](Desk& desk) {
        Desk::Unsaved added{tag, record, std::move(desk.journal)};
        QStringEncoder encoder(QStringConverter::System);
        added.record.log = encoder.encode(QString::fromUtf8(logUtf8));
        desk.unsaved.push_back(std::move(added));
        RecordAnswer result;
        desk.saveUnsaved(result);
        desk.answer([result](RecordWorker& worker) { emit worker.saved(result); });
    });
}

void RecordWorker::retryUnsaved() {
    post([](Desk& desk) {
        RecordAnswer result;
        desk.saveUnsaved(result);
        desk.answer([result](RecordWorker& worker) { emit worker.saved(result); });
    });
}

void RecordWorker::leavePicturesToNextStart() {
    post([](Desk& desk) { desk.picturesLater = true; });
}

void RecordWorker::Desk::saveUnsaved(RecordAnswer& result) {
    std::vector<Unsaved> left;
    for (Unsaved& entry : unsaved) {
        entry.record.pictureAtNextStart = entry.record.pictureAtNextStart || picturesLater;
        RecordOutcome outcome{entry.tag,
                              entry.record.savePathLabel,
                              saveJournalledRecord(entry.record, entry.journal.get(), disk),
                              {},
                              entry.triedBefore};
        entry.triedBefore = true;
        if (!outcome.published.problem.isEmpty()) {
            if (entry.journal && entry.journal->writing()) {
                entry.journal->sync();
                outcome.keptIn = entry.journal->path();
            } else {
                ++result.unsavedInMemory;
            }
            left.push_back(std::move(entry));
        }
        result.outcomes.append(outcome);
    }
    unsaved = std::move(left);
    result.unsaved = static_cast<int>(unsaved.size());
}

void RecordWorker::recoverJournals(const QString& dataDir, const QString& recordDir) {
    post([dataDir, recordDir](Desk& desk) {
        const QList<JournalRecovery> recoveries = ::recoverJournals(dataDir, recordDir, desk.disk);
        desk.answer([recoveries](RecordWorker& worker) { emit worker.recovered(recoveries); });
    });
}

void RecordWorker::Desk::keepJournals() {
    for (Unsaved& entry : unsaved) {
        if (entry.journal) {
            entry.journal->finish(false);
        }
    }
    if (journal) {
        journal->finish(false);
    }
}
