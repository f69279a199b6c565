#include "record/record_worker.h"

#include <QStringEncoder>

#include <chrono>

RecordWorker::RecordWorker(Mode mode, DiskCalls disk, QObject* parent)
    : QObject(parent), mode_(mode), disk_(std::move(disk)) {
    if (mode_ == Mode::OwnThread) {
        thread_ = std::thread([this] { run(); });
    }
}

RecordWorker::~RecordWorker() {
    if (mode_ == Mode::CallersThread) {
        keepJournals();
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void RecordWorker::post(std::function<void()> job) {
    if (mode_ == Mode::CallersThread) {
        job();
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void RecordWorker::answer(std::function<void()> signal) {
    if (mode_ == Mode::CallersThread) {
        signal();
        return;
    }
    // Dropped with the worker when it goes first.
    QMetaObject::invokeMethod(this, std::move(signal), Qt::QueuedConnection);
}

void RecordWorker::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return ending_ || !jobs_.empty(); });
        if (jobs_.empty()) {
            break;
        }
        std::function<void()> job = std::move(jobs_.front());
        jobs_.pop_front();
        working_ = true;
        lock.unlock();
        job();
        lock.lock();
        working_ = false;
        if (jobs_.empty()) {
            idle_.notify_all();
        }
    }
    lock.unlock();
    keepJournals();
}

bool RecordWorker::waitUntilIdle(int ms) {
    if (mode_ == Mode::CallersThread) {
        return true;
    }
    std::unique_lock lock(mutex_);
    return idle_.wait_for(lock, std::chrono::milliseconds(ms),
                          [this] { return jobs_.empty() && !working_; });
}

void RecordWorker::startJournal(const QString& dir, const QString& text,
                                const QByteArray& samples) {
    post([this, dir, text, samples] {
        // A journal still open belongs to a log the new header replaced.
        if (journal_) {
            journal_->finish(true);
        }
        journal_ = std::make_unique<MeasurementJournal>(disk_);
        journalReported_ = false;
        journal_->start(dir, text, samples);
        checkJournal();
    });
}

void RecordWorker::appendJournal(const QString& text, const QByteArray& samples) {
    post([this, text, samples] {
        if (journal_ && journal_->writing()) {
            journal_->append(text, samples);
            checkJournal();
        }
    });
}

void RecordWorker::syncJournal() {
    post([this] {
        if (journal_ && journal_->writing()) {
            journal_->sync();
            checkJournal();
        }
    });
}

void RecordWorker::checkJournal() {
    if (journalReported_ || journal_->writing()) {
        return;
    }
    journalReported_ = true;
    const QString path = journal_->path();
    const QString why = journal_->errorString();
    answer([this, path, why] { emit journalFailed(path, why); });
}

void RecordWorker::save(const RecordSet& record, const QByteArray& logUtf8, int tag) {
    post([this, record, logUtf8, tag] {
        Unsaved added{tag, record, std::move(journal_)};
        QStringEncoder encoder(QStringConverter::System);
        added.record.log = encoder.encode(QString::fromUtf8(logUtf8));
        unsaved_.push_back(std::move(added));
        RecordAnswer result;
        saveUnsaved(result);
        answer([this, result] { emit saved(result); });
    });
}

void RecordWorker::retryUnsaved() {
    post([this] {
        RecordAnswer result;
        saveUnsaved(result);
        answer([this, result] { emit saved(result); });
    });
}

void RecordWorker::saveUnsaved(RecordAnswer& result) {
    std::vector<Unsaved> left;
    for (Unsaved& entry : unsaved_) {
        RecordOutcome outcome{entry.tag,
                              entry.record.savePathLabel,
                              publishRecord(entry.record, disk_),
                              {},
                              entry.triedBefore};
        entry.triedBefore = true;
        const bool inJournal = entry.journal && entry.journal->writing();
        if (outcome.published.problem.isEmpty()) {
            // Only a record on the disk lets its journal go.
            if (entry.journal) {
                entry.journal->finish(true);
            }
        } else {
            if (inJournal) {
                entry.journal->sync();
                outcome.keptIn = entry.journal->path();
            } else {
                ++result.unsavedInMemory;
            }
            left.push_back(std::move(entry));
        }
        result.outcomes.append(outcome);
    }
    unsaved_ = std::move(left);
    result.unsaved = static_cast<int>(unsaved_.size());
}

void RecordWorker::recoverJournals(const QString& dataDir, const QString& recordDir) {
    post([this, dataDir, recordDir] {
        const QList<JournalRecovery> recoveries = ::recoverJournals(dataDir, recordDir, disk_);
        answer([this, recoveries] { emit recovered(recoveries); });
    });
}

void RecordWorker::keepJournals() {
    for (Unsaved& entry : unsaved_) {
        if (entry.journal) {
            entry.journal->finish(false);
        }
    }
    if (journal_) {
        journal_->finish(false);
    }
}
