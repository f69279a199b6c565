#pragma once

#include <QObject>

#include <vector>

class QSocketNotifier;
class MainWindow;

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

// Each stop signal is a close of the window, and the program ends when the
// window has closed (after its record is saved). A close that is refused (a
// record that cannot be saved) leaves the program running with its log on
// screen; the next signal tries again, and ends it once the log is saved or
// kept in its journal for the next start.
void endOnStopSignals(MainWindow* window);
