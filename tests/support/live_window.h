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

// The program as a process of its own builds it, in the directory its
// command line names: the real serial line, the window on a fake screen,
// ended by the stop signals and the end of the desktop session as the
// program is.
struct ProgramInDir {
    ProgramInDir(const QString& dir, Dialogs& dialogs);

    QtSerialPort port;
    SystemClock clock;
    FakeScreen screen;
    Platform platform;
    SupplySession session;
    MainWindow window;
};

// CPU time this process has used, in seconds.
double processCpuSeconds();
