#include "app/version.h"

#include <QFileInfo>
#include <QProcess>
#include <QtTest>

// The built program as a user starts it from a terminal.
class CommandLineTest : public QObject {
    Q_OBJECT
private slots:
    void answersOrRefusesWithoutAWindow_data();
    void answersOrRefusesWithoutAWindow();
};

void CommandLineTest::answersOrRefusesWithoutAWindow_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("display");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("inStandardOutput");
    QTest::addColumn<QString>("inStandardError");

    const QString dataFolder =
        QStringLiteral("Data folder: ") + QFileInfo(QStringLiteral(VELKOR_PROGRAM)).absolutePath();
    const QString version = QStringLiteral("velkor %1\n").arg(QLatin1String(kProgramVersion));
    // Help and version need no display; the rows with one get the offscreen
    // platform, so a window that opened by mistake would not end by itself.
    QTest::newRow("help") << QStringList{"--help"} << false << 0
                          << QStringList{"Usage: ", "--version", dataFolder, "/dev/null"}
                          << QString();
    QTest::newRow("version") << QStringList{"-v"} << false << 0 << QStringList{version}
                             << QString();
    QTest::newRow("Qt's own option") << QStringList{"-platform", "offscreen", "--version"} << false
                                     << 0 << QStringList{version} << QString();
    for (const bool withDisplay : {false, true}) {
        const char* where = withDisplay ? "with a display" : "without a display";
        QTest::addRow("unknown option, %s", where)
            << QStringList{"--bogus"} << withDisplay << 2 << QStringList{}
            << QStringLiteral("velkor: Unknown option 'bogus'.\nTry 'velkor --help'.\n");
        QTest::addRow("stray argument, %s", where)
            << QStringList{"steps.sqlite"} << withDisplay << 2 << QStringList{}
            << QStringLiteral("Unexpected argument 'steps.sqlite'");
        QTest::addRow("port missing, %s", where)
            << QStringList{"--scpi"} << withDisplay << 2 << QStringList{}
            << QStringLiteral("Missing value after '--scpi'");
        for (const char* port : {"abc", "70000", "0", "-1"}) {
            QTest::addRow("port %s, %s", port, where)
                << QStringList{QStringLiteral("--scpi=%1").arg(QLatin1String(port))} << withDisplay
                << 2 << QStringList{}
                << QStringLiteral("velkor: --scpi \"%1\" is no port number 1..65535.")
                       .arg(QLatin1String(port));
        }
    }
}

void CommandLineTest::answersOrRefusesWithoutAWindow() {
    QFETCH(QStringList, arguments);
    QFETCH(bool, display);
    QFETCH(int, exitCode);
    QFETCH(QStringList, inStandardOutput);
    QFETCH(QString, inStandardError);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        environment.remove(QLatin1String(name));
    }
    if (display) {
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    }
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(VELKOR_PROGRAM), arguments);
    const bool ended = program.waitForFinished(60000);
    if (!ended) {
        program.kill();
        program.waitForFinished();
    }
    QVERIFY2(ended, "the program opened its window");
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), exitCode);
    const QString out = QString::fromLocal8Bit(program.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(program.readAllStandardError());
    for (const QString& part : inStandardOutput) {
        QVERIFY2(out.contains(part), qPrintable(out));
    }
    if (inStandardOutput.isEmpty()) {
        QVERIFY2(out.isEmpty(), qPrintable(out));
    }
    // Qt may warn on standard error of its own (a missing runtime folder).
    const bool refused = err.contains(QStringLiteral("velkor: "));
    QVERIFY2(inStandardError.isEmpty() ? !refused : err.contains(inStandardError), qPrintable(err));
}

QTEST_GUILESS_MAIN(CommandLineTest)
#include "test_command_line.moc"
