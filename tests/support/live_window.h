#pragma once

#include "fakes.h"
#include "link/qt_serial_port.h"
#include "platform/system_clock.h"
#include "window/diagnostic_pane.h"

#include <QProcess>
#include <QStringList>

// The simulated supply on a pseudo-terminal linked as <dir>/ports/comN.
class Simulator {
public:
    static constexpr int kPort = 3;

    Simulator(const QString& dir, const QStringList& options, int port = kPort);
    ~Simulator();
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // Waits for the line saying the port link is in place.
    bool waitUntilLinked();
    void stop();
    bool waitForExit(int ms);

private:
    QProcess process_;
    int port_;
};

// The real window on the real serial line in a fresh program directory, its
// timers running. Only the simulator's port can open: the machine's own
// serial ports are claimed by links to nowhere.
struct LiveWindow {
    QTemporaryDir dir;
    QtSerialPort port{dir.path()};
    SystemClock clock;
    FakeScreen screen;
    RecordingDialogs dialogs;
    std::unique_ptr<SupplySession> session;
    std::unique_ptr<MainWindow> window;

    LiveWindow();
    MainWindow& start();
    int linesContaining(const QString& text) const;
};

// CPU time this process has used, in seconds.
double processCpuSeconds();
