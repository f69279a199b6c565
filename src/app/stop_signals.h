#pragma once

#include <QObject>

#include <memory>

class SupplySession;

// The polite ways a process is asked to end, each heard on the window's
// thread through its event loop as received(). One instance at a time.
// POSIX: SIGTERM (logout, shutdown, kill), SIGINT and SIGHUP, unless the
// program was started with SIGINT or SIGHUP ignored.
// Windows: Ctrl+C and Ctrl+Break in the console the program is attached
// to, that console closed, and the end of the Windows session (logout,
// shutdown); after the last two the process is ended once the handler
// returns, so the handler waits, up to a limit, until the program has
// finished.
class StopSignals : public QObject {
    Q_OBJECT
public:
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override;

    // The program has done what a stop asks of it (closed, or given up
    // waiting for its record) and quits: a handler that holds the process
    // for it may let go.
    void programFinished();

signals:
    void received();

private:
    // What each system needs to hear of its stop signals.
    struct Listener;
    std::unique_ptr<Listener> listener_;
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
