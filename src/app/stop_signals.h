#pragma once

#include <QObject>

#include <vector>

class QSocketNotifier;
class SupplySession;

// The polite ways a process is asked to end: SIGTERM (logout, shutdown,
// kill), SIGINT and SIGHUP, unless the program was started with SIGINT or
// SIGHUP ignored. The signal handler only writes a byte to a socket
// pair, which is all it may safely do; the window's thread hears of it
// through the event loop and emits received(). One instance at a time.
class StopSignals : public QObject {
    Q_OBJECT
public:
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override;

signals:
    void received();

private:
    void drain();

    QSocketNotifier* notifier_ = nullptr;
    // Those a handler was installed for.
    std::vector<int> handled_;
};

// How long a stop signal waits for the record to be saved, or for whatever
// else the record worker is doing, before the program ends without it: with
// the off frames (at most half a second) and the program's teardown, the end
// comes within 5 s whatever the disk does.
inline constexpr int kStopSignalRecordWaitMs = 3000;

// Without a window: a stop signal asks the session to close, and the
// program ends once it has, after its record is saved; when the record
// cannot be saved, or is not saved within the wait above, it ends all the
// same, the log left in its journal for the next start. Whatever else the
// record worker is doing by the end of the wait (the recovery of an old
// journal at start) is left to the next start. From the signal on, the
// output is never switched on again.
void endOnStopSignals(SupplySession* session);
