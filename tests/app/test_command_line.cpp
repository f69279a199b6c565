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
    // VELKOR_DATA_DIR, unset when empty.
    QTest::addColumn<QString>("dataDirVariable");

    const QString dataFolder =
        QStringLiteral("Data folder: ") + QFileInfo(QStringLiteral(VELKOR_PROGRAM)).absolutePath();
    const QString version = QStringLiteral("velkor %1\n").arg(QLatin1String(kProgramVersion));
    // Help and version need no display; the rows with one get the offscreen
    // platform, so a window that opened by mistake would not end by itself.
    QTest::newRow("help") << QStringList{"--help"} << false << 0
                          << QStringList{"Usage: ",
                                         "--version",
                                         "--data-dir",
                                         dataFolder,
                                         "(the program's own folder",
                                         "/dev/null"}
                          << QString() << QString();
    QTest::newRow("help, the environment names the data folder")
        << QStringList{"--help"} << false << 0
        << QStringList{"Data folder: /srv/bench\n  (named by VELKOR_DATA_DIR)"} << QString()
        << QStringLiteral("/srv/bench");
    QTest::newRow("help, the option wins over the environment")
        << QStringList{"--data-dir", "/srv/rack", "--help"} << false << 0
        << QStringList{"Data folder: /srv/rack\n  (named by --data-dir)"} << QString()
        << QStringLiteral("/srv/bench");
    QTest::newRow("version") << QStringList{"-v"} << false << 0 << QStringList{version} << QString()
                             << QString();
    QTest::newRow("Qt's own option") << QStringList{"-platform", "offscreen", "--version"} << false
                                     << 0 << QStringList{version} << QString() << QString();
    // No folder can be made under a plain file, not even by root.
    const QString underAFile = QStringLiteral(VELKOR_PROGRAM "/data");
    for (const bool withDisplay : {false, true}) {
        const char* where = withDisplay ? "with a display" : "without a display";
        QTest::addRow("unknown option, %s", where)
            << QStringList{"--bogus"} << withDisplay << 2 << QStringList{}
            << QStringLiteral("velkor: Unknown option 'bogus'.\nTry 'velkor --help'.\n")
            << QString();
        QTest::addRow("stray argument, %s", where)
            << QStringList{"steps.sqlite"} << withDisplay << 2 << QStringList{}
            << QStringLiteral("Unexpected argument 'steps.sqlite'") << QString();
        QTest::addRow("port missing, %s", where)
            << QStringList{"--scpi"} << withDisplay << 2 << QStringList{}
            << QStringLiteral("Missing value after '--scpi'") << QString();
        QTest::addRow("data folder under a file, %s", where)
            << QStringList{"--data-dir", underAFile} << withDisplay << 2 << QStringList{}
            << QStringLiteral("velkor: the data folder %1 cannot be made.").arg(underAFile)
            << QString();
        QTest::addRow("environment's data folder under a file, %s", where)
            << QStringList{} << withDisplay << 2 << QStringList{}
            << QStringLiteral("velkor: the data folder %1 cannot be made.").arg(underAFile)
            << underAFile;
        QTest::addRow("data folder not writable, Qt's own option, %s", where)
            << QStringList{"-platform", "offscreen", "--data-dir=/proc"} << withDisplay << 2
            << QStringList{}
            << QStringLiteral("velkor: nothing can be written in the data folder /proc")
            << QString();
        QTest::addRow("data folder empty, %s", where)
            << QStringList{"--data-dir="} << withDisplay << 2 << QStringList{}
            << QStringLiteral("velkor: --data-dir names no folder.") << QString();
        for (const char* port : {"abc", "70000", "0", "-1"}) {
            QTest::addRow("port %s, %s", port, where)
                << QStringList{QStringLiteral("--scpi=%1").arg(QLatin1String(port))} << withDisplay
                << 2 << QStringList{}
                << QStringLiteral("velkor: --scpi \"%1\" is no port number 1..65535.")
                       .arg(QLatin1String(port))
                << QString();
        }
    }
}

void CommandLineTest::answersOrRefusesWithoutAWindow() {
    QFETCH(QStringList, arguments);
    QFETCH(bool, display);
    QFETCH(int, exitCode);
    QFETCH(QStringList, inStandardOutput);
    QFETCH(QString, inStandardError);
    QFETCH(QString, dataDirVariable);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "VELKOR_DATA_DIR"}) {
        environment.remove(QLatin1String(name));
    }
    if (!dataDirVariable.isEmpty()) {
        environment.insert(QStringLiteral("VELKOR_DATA_DIR"), dataDirVariable);
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
