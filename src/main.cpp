#include "app/command_line.h"
#include "app/starting_console.h"
#include "app/stop_signals.h"
#include "link/system_serial_port.h"
#include "platform/primary_screen.h"
#include "platform/program_files.h"
#include "platform/stderr_dialogs.h"
#include "platform/system_clock.h"
#include "remote/remote_start.h"
#include "remote/scpi_server.h"
#include "session/supply_session.h"
#include "window/desktop_session_end.h"
#include "window/main_window.h"
#include "window/message_boxes.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFont>

#include <cstdio>
#include <memory>

namespace {

// The window design names Windows' Chinese faces; these stand in for them
// wherever they are not installed.
void substituteDesignFaces() {
    // AR PL UMing's Latin letters and digits are half-width like SimSun's; the
    // readouts are sized for those.
    QFont::insertSubstitutions(QStringLiteral("宋体"),
                               {QStringLiteral("SimSun"), QStringLiteral("AR PL UMing CN"),
                                QStringLiteral("Noto Serif CJK SC")});
    QFont::insertSubstitutions(QStringLiteral("黑体"),
                               {QStringLiteral("SimHei"), QStringLiteral("Noto Sans CJK SC"),
                                QStringLiteral("WenQuanYi Zen Hei")});
    QFont::insertSubstitutions(QStringLiteral("楷体_GB2312"),
                               {QStringLiteral("KaiTi_GB2312"), QStringLiteral("KaiTi"),
                                QStringLiteral("AR PL UKai CN"),
                                QStringLiteral("Noto Serif CJK SC")});
}

std::optional<QString> scpiPortOf(const CommandLine& commandLine) {
    const QString scpiOption = QStringLiteral("scpi");
    return commandLine.values.contains(scpiOption)
               ? std::optional<QString>(commandLine.values.value(scpiOption))
               : std::nullopt;
}

CommandLine readOwnCommandLine() {
    QCoreApplication::setApplicationName(QStringLiteral("Velkor"));
    return readCommandLine(QCoreApplication::arguments(), QCoreApplication::applicationDirPath());
}

QString headlessStartText(const QString& dataDir, const QStringList& scpiAddresses) {
    const QString scpi =
        scpiAddresses.isEmpty()
            ? QStringLiteral("SCPI 未启用 / SCPI is not served")
            : QStringLiteral("SCPI: %1").arg(scpiAddresses.join(QStringLiteral(", ")));
    return QStringLiteral("Velkor 无窗口运行，正在寻找电源。数据文件夹：%1\n"
                          "Velkor runs without a window and searches for the supply. Data folder: "
                          "%1\n%2")
        .arg(dataDir, scpi);
}

// The session without a window: no display is needed, and boxes go to
// standard error. The record's picture still draws text, which takes a
// graphical application: the offscreen one, which needs no display.
int runHeadless(int argc, char* argv[]) {
    keepStartingConsole();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const QGuiApplication app(argc, argv);
    const CommandLine commandLine = readOwnCommandLine();
    const QString dataDir = commandLine.dataDir.path;
    const std::unique_ptr<SerialPort> serialPort = makeSystemSerialPort(dataDir);
    SystemClock clock;
    StderrDialogs dialogs;
    SupplySession session(Platform{serialPort.get(), &clock, nullptr, &dialogs,
                                   QCoreApplication::applicationDirPath(), dataDir});
    // A service whose SCPI is not served in full fails before it touches the
    // supply, so its service manager sees the failure.
    const ScpiService scpi =
        serveScpi(session, dialogs, scpiPortOf(commandLine), dataDir, [](int) {});
    if (scpi.failed) {
        return 1;
    }
    // What the window's status bar would say: the supply found and lost,
    // and what became of the output.
    const auto say = [](const QString& text) { std::fprintf(stderr, "%s\n", qPrintable(text)); };
    QObject::connect(&session, &SupplySession::notice, say);
    QObject::connect(&session, &SupplySession::supplyFound, say);
    say(headlessStartText(QDir::toNativeSeparators(dataDir),
                          scpi.server ? scpi.server->addresses() : QStringList()));
    endOnStopSignals(&session);
    session.start();
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char* argv[]) {
    // --help and --version answer without a display, so they are read before
    // the window's application exists. Qt's own options (-platform, -style,
    // -session) are known only to that application, which takes them out of
    // the arguments: a command line refused here for an option that may be
    // one of those is read again there.
    bool headless = false;
    {
        const QCoreApplication withoutDisplay(argc, argv);
        CommandLine commandLine = readOwnCommandLine();
        // A data folder that cannot be used ends the program before the
        // window or the supply is touched, as a mistyped option does.
        prepareToRun(commandLine);
        if (commandLine.outcome != CommandLine::Outcome::Run && !commandLine.mayBeQtsOwn) {
            return finishCommandLine(commandLine);
        }
        headless = commandLine.outcome == CommandLine::Outcome::Run && commandLine.headless;
    }
    if (headless) {
        return runHeadless(argc, argv);
    }
    QApplication app(argc, argv);
    CommandLine commandLine = readOwnCommandLine();
    prepareToRun(commandLine);
    if (commandLine.outcome != CommandLine::Outcome::Run) {
        return finishCommandLine(commandLine);
    }
    // Lets the desktop match the window to the menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(VELKOR_APP_ID));
    substituteDesignFaces();

    const QString programDir = QApplication::applicationDirPath();
    const QString dataDir = commandLine.dataDir.path;
    const std::unique_ptr<SerialPort> serialPort = makeSystemSerialPort(dataDir);
    SystemClock clock;
    PrimaryScreen screen;
    MessageBoxes dialogs;
    const Platform platform{serialPort.get(), &clock, &screen, &dialogs, programDir, dataDir};
    SupplySession session(platform);
    session.start();
    MainWindow window(session, platform);
    dialogs.setOwner(&window);
    endOnStopSignals(&window);
    endWithSession(&window);
    window.show();
    const ScpiService scpi =
        serveScpi(session, dialogs, scpiPortOf(commandLine), dataDir,
                  [&window](int clients) { window.setRemoteClients(clients); });
    return QApplication::exec();
}
