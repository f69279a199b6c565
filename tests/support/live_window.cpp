#include "live_window.h"

#include "app/stop_signals.h"
#include "window/desktop_session_end.h"

#include <QDir>
#include <QFile>

#include <ctime>

Simulator::Simulator(const QString& dir, const QStringList& options, int port) : port_(port) {
    process_.setProgram(QStringLiteral(VELKOR_SUPPLY_SIM));
    process_.setArguments(
        QStringList{QStringLiteral("--port"), QString::number(port), QStringLiteral("--dir"), dir} +
        options);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start();
}

Simulator::~Simulator() {
    stop();
}

bool Simulator::waitUntilLinked() {
    return process_.waitForStarted(5000) && process_.waitForReadyRead(5000) &&
           process_.readLine().contains(QStringLiteral("port %1 ->").arg(port_).toLatin1());
}

void Simulator::stop() {
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        process_.waitForFinished(5000);
    }
}

// The event loop may have seen the exit already, and then there is nothing
// left to wait for.
bool Simulator::waitForExit(int ms) {
    return process_.state() == QProcess::NotRunning || process_.waitForFinished(ms);
}

LiveWindow::LiveWindow() {
    QDir().mkpath(dir.path() + QStringLiteral("/ports"));
    for (int port = 1; port <= 16; ++port) {
        if (port != Simulator::kPort) {
            QFile::link(QStringLiteral("/nonexistent/tty"),
                        dir.path() + QStringLiteral("/ports/com%1").arg(port));
        }
    }
}

MainWindow& LiveWindow::start() {
    const Platform platform{&port, &clock, &screen, &dialogs, dir.path(), dir.path()};
    session = std::make_unique<SupplySession>(platform);
    session->start();
    window = std::make_unique<MainWindow>(*session, platform);
    return *window;
}

namespace {

// The window is built on a session that runs, as the program builds it.
SupplySession& started(SupplySession& session) {
    session.start();
    return session;
}

} // namespace

ProgramInDir::ProgramInDir(const QString& dir, Dialogs& dialogs)
    : port(dir), platform{&port, &clock, &screen, &dialogs, dir, dir}, session(platform),
      window(started(session), platform) {
    endOnStopSignals(&window);
    endWithSession(&window);
}

int LiveWindow::linesContaining(const QString& text) const {
    return window->diagnosticPane->lines().filter(text).size();
}

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}
