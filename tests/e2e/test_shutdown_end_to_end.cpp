#include "live_window.h"
#include "record/journal_recovery.h"
#include "waiting.h"
#include "window/log_box.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStringEncoder>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <cstdio>

namespace {

const QString kMeasured = QStringLiteral("12.00V          1.200A");
const char kOutputOnOption[] = "--output-on-in";

// 12 V with a 2 A limit into the simulator's 10 ohm load: the entries are
// chosen, and the current limit is taken once its entry has rested.
void choose12VoltsAnd2Amperes(MainWindow& w) {
    w.voltageStepList->setCurrentIndex(12);
    w.voltageStepChosen();
    w.currentStepList->setCurrentIndex(20);
    w.currentStepChosen();
}

bool readyToSwitchOn(const MainWindow& w) {
    return w.session().state.linkUp && w.session().state.currentSetpointMilliamps == 2000;
}

// The program as a process of its own in the directory: the window with the
// real serial line, ended by the stop signals as the program is, its output
// switched on as soon as the link is up.
int runWithOutputOn(int argc, char** argv) {
    QApplication app(argc, argv);
    RecordingDialogs dialogs;
    ProgramInDir program(QString::fromLocal8Bit(argv[2]), dialogs);
    MainWindow& window = program.window;
    choose12VoltsAnd2Amperes(window);
    QTimer waitForLink;
    QObject::connect(&waitForLink, &QTimer::timeout, [&] {
        if (readyToSwitchOn(window)) {
            waitForLink.stop();
            window.outputButtonClicked();
            std::puts("output on");
            std::fflush(stdout);
        }
    });
    waitForLink.start(100);
    return QApplication::exec();
}

QStringList entries(const QString& dir, const QString& pattern) {
    return QDir(dir).entryList({pattern}, QDir::Files, QDir::Name);
}

// The journals of the running programs.
QList<QByteArray> journalsIn(const QString& dir) {
    QList<QByteArray> journals;
    for (const QString& name : entries(dir, QStringLiteral("*.journal"))) {
        journals << fileBytes(dir + QLatin1Char('/') + name);
    }
    return journals;
}

// The journal of the one running program; empty until there is one.
QByteArray journalIn(const QString& dir) {
    const QList<QByteArray> journals = journalsIn(dir);
    return journals.size() == 1 ? journals[0] : QByteArray();
}

// Each of the programs' journals holds this many measurements.
bool journalsMeasured(const QString& dir, int programs, int count) {
    const QList<QByteArray> journals = journalsIn(dir);
    return journals.size() == programs &&
           std::all_of(journals.begin(), journals.end(), [&](const QByteArray& journal) {
               return journal.count(kMeasured.toLatin1()) >= count;
           });
}

// The last whole frame the simulated supply received.
QByteArray lastFrame(const QString& frameLog) {
    QByteArray last;
    for (const QByteArray& line : fileBytes(frameLog).split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() == 2 && parts[1].startsWith("VKPPSU")) {
            last = parts[1];
        }
    }
    return last;
}

// Lock files naming this process, in the folders serial ports are locked in.
QStringList lockFilesOf(qint64 pid) {
    QStringList found;
    for (const QString& dir : {QStringLiteral("/run/lock"), QStringLiteral("/var/lock")}) {
        for (const QString& name : QDir(dir).entryList(QDir::Files)) {
            const QString path = QDir(dir).canonicalPath() + QLatin1Char('/') + name;
            if (fileBytes(path).split('\n').value(0).trimmed().toLongLong() == pid &&
                !found.contains(path)) {
                found << path;
            }
        }
    }
    return found;
}

// The checks every ordinary record passes: header, measurements, and the
// save-path line naming the file itself.
void checkOrdinaryRecord(const QString& path) {
    const QStringList lines = QString::fromLocal8Bit(fileBytes(path)).split(QStringLiteral("\r\n"));
    QCOMPARE(lines.mid(0, 2), (QStringList{"Velkor", "Version: 1.0"}));
    QVERIFY(lines.filter(kMeasured).size() >= 2);
    QCOMPARE(lines.value(lines.size() - 2),
             QStringLiteral("保存路径:") + QDir::toNativeSeparators(path));
    QVERIFY(lines.last().isEmpty());
}

// The program started in the directory, its output on; on the display given,
// or on none.
class ProgramWithOutputOn {
public:
    explicit ProgramWithOutputOn(const QString& dir, const QString& display = {}) : dir_(dir) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (display.isEmpty()) {
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        } else {
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
            environment.insert(QStringLiteral("DISPLAY"), display);
        }
        process_.setProcessEnvironment(environment);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QCoreApplication::applicationFilePath(),
                       {QString::fromLatin1(kOutputOnOption), dir});
    }
    ~ProgramWithOutputOn() {
        process_.kill();
        process_.waitForFinished(5000);
    }

    // Output on, and the journals of this many programs hold this many
    // measurements.
    bool waitForMeasurements(int count, int programs = 1) {
        QByteArray output;
        const auto switchedOn = [&] {
            output += process_.readAll();
            return output.contains("output on");
        };
        return waitFor([&] { return switchedOn() || process_.state() == QProcess::NotRunning; },
                       30000) &&
               switchedOn() &&
               waitFor([&] { return journalsMeasured(dir_, programs, count); }, 30000);
    }
    QProcess& process() { return process_; }

private:
    QString dir_;
    QProcess process_;
};

} // namespace

class ShutdownEndToEndTest : public QObject {
    Q_OBJECT
private slots:
    void windowCloseWithOutputOnSwitchesTheSupplyOff();
    void stopSignalEndsTheProgramAsACloseDoes();
    void killedProgramsLogIsRecoveredAtTheNextStart();
    void lostDisplayEndsTheProgramAsACloseDoes();
    void twoProgramsInOneFolderStoppedTogetherKeepBothRecords();
};

void ShutdownEndToEndTest::windowCloseWithOutputOnSwitchesTheSupplyOff() {
    LiveWindow live;
    const QString frameLog = live.dir.path() + QStringLiteral("/frames.log");
    Simulator sim(live.dir.path(), {QStringLiteral("--frame-log"), frameLog});
    QVERIFY(sim.waitUntilLinked());
    MainWindow& w = live.start();
    choose12VoltsAnd2Amperes(w);
    QVERIFY(waitFor([&] { return readyToSwitchOn(w); }, 15000));
    w.outputButtonClicked();
    QVERIFY(waitFor([&] { return w.logBox->text().count(kMeasured) >= 2; }, 15000));
    QVERIFY(lastFrame(frameLog).endsWith('O'));

    // The close waits for the record and then goes through.
    w.close();
    QVERIFY(waitFor([&] { return !live.port.isOpen(); }, 15000));
    QVERIFY(!w.isVisible());
    const QString records = live.dir.path() + QStringLiteral("/Record");
    const QStringList names = entries(records, QStringLiteral("*.TXT"));
    QCOMPARE(names.size(), 1);
    checkOrdinaryRecord(records + QLatin1Char('/') + names[0]);
    QVERIFY(entries(live.dir.path(), QStringLiteral("*.journal")).isEmpty());
    // The port is closed, so nothing can follow the frame that switched off.
    QVERIFY(waitFor([&] { return lastFrame(frameLog).endsWith('N'); }, 10000));
    QVERIFY(live.dialogs.shown.isEmpty());
}

void ShutdownEndToEndTest::stopSignalEndsTheProgramAsACloseDoes() {
    LiveWindow live;
    const QString dir = live.dir.path();
    const QString frameLog = dir + QStringLiteral("/frames.log");
    Simulator sim(dir, {QStringLiteral("--frame-log"), frameLog});
    QVERIFY(sim.waitUntilLinked());
    ProgramWithOutputOn program(dir);
    QVERIFY(program.waitForMeasurements(2));
    const QStringList locks = lockFilesOf(program.process().processId());
    QVERIFY2(!locks.isEmpty(), "the serial port's lock file was not found");

    program.process().terminate();
    QVERIFY(program.process().waitForFinished(30000));
    QCOMPARE(program.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.process().exitCode(), 0);
    const QStringList names = entries(dir + QStringLiteral("/Record"), QStringLiteral("*.TXT"));
    QCOMPARE(names.size(), 1);
    QVERIFY(!names[0].contains(QStringLiteral("recovered")));
    checkOrdinaryRecord(dir + QStringLiteral("/Record/") + names[0]);
    QVERIFY(entries(dir, QStringLiteral("*.journal")).isEmpty());
    for (const QString& lock : locks) {
        QVERIFY2(!QFile::exists(lock), qPrintable(lock));
    }
    QVERIFY(waitFor([&] { return lastFrame(frameLog).endsWith('N'); }, 10000));
}

void ShutdownEndToEndTest::killedProgramsLogIsRecoveredAtTheNextStart() {
    LiveWindow live;
    const QString dir = live.dir.path();
    Simulator sim(dir, {});
    QVERIFY(sim.waitUntilLinked());
    QByteArray journal;
    {
        ProgramWithOutputOn program(dir);
        QVERIFY2(program.waitForMeasurements(3), journalIn(dir).constData());
        program.process().kill();
        QVERIFY(program.process().waitForFinished(30000));
        journal = journalIn(dir);
    }
    const int measured = journal.count(kMeasured.toLatin1());
    QVERIFY(measured >= 3);

    // The next start, in this process, so its message can be seen.
    MainWindow& w = live.start();
    QVERIFY(waitFor([&] { return live.dialogs.shown.size() == 1; }, 15000));
    const QString records = dir + QStringLiteral("/Record");
    const QStringList recovered = entries(records, QStringLiteral("*.TXT"));
    QCOMPARE(recovered.size(), 1);
    QVERIFY(recovered[0].endsWith(QStringLiteral("_recovered.TXT")));
    const QString path = records + QLatin1Char('/') + recovered[0];
    QStringEncoder encoder(QStringConverter::System);
    QCOMPARE(fileBytes(path),
             wholeJournalLines(journal) +
                 encoder.encode(QStringLiteral("保存路径:") + QDir::toNativeSeparators(path) +
                                QStringLiteral("\r\n")));
    // A kill cuts no write short: every line the journal held is whole.
    QVERIFY(journal.endsWith("\r\n"));
    QVERIFY(entries(dir, QStringLiteral("*.journal")).isEmpty());
    // Its spreadsheet and picture, from the values journalled beside it: a
    // row per measurement line, less one when the kill came between the two
    // writes.
    const QString stem = path.chopped(4);
    const int lines = int(journal.count("\r\n")) - 3;
    const int rows = int(fileBytes(stem + QStringLiteral(".csv")).count("\r\n")) - 1;
    QVERIFY2(rows == lines || rows == lines - 1,
             qPrintable(QStringLiteral("%1 %2").arg(rows).arg(lines)));
    QVERIFY(QFileInfo::exists(stem + QStringLiteral(".png")));
    QVERIFY(entries(dir, QStringLiteral("*.samples")).isEmpty());
    QVERIFY(live.dialogs.shown[0].text.contains(QDir::toNativeSeparators(path)));

    // The next switch-off writes an ordinary record beside it.
    choose12VoltsAnd2Amperes(w);
    QVERIFY(waitFor([&] { return readyToSwitchOn(w); }, 15000));
    w.outputButtonClicked();
    QVERIFY(waitFor([&] { return w.logBox->text().count(kMeasured) >= 2; }, 15000));
    w.outputButtonClicked();
    QVERIFY(waitFor([&] { return entries(records, QStringLiteral("*.TXT")).size() == 2; }, 15000));
    QStringList names = entries(records, QStringLiteral("*.TXT"));
    QVERIFY(names.removeOne(recovered[0]));
    QCOMPARE(names.size(), 1);
    checkOrdinaryRecord(records + QLatin1Char('/') + names[0]);
    QCOMPARE(live.dialogs.shown.size(), 1);
}

// A display server that dies under a program with its output on: the supply
// still gets whole output-off frames and the log is saved as any record,
// with its spreadsheet. Its picture is there too, or else the journal that
// names the record is, and the next start draws the picture from it, adding
// no copy.
void ShutdownEndToEndTest::lostDisplayEndsTheProgramAsACloseDoes() {
    LiveWindow live;
    const QString dir = live.dir.path();
    const QString frameLog = dir + QStringLiteral("/frames.log");
    Simulator sim(dir, {QStringLiteral("--frame-log"), frameLog});
    QVERIFY(sim.waitUntilLinked());
    QProcess xvfb;
    xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                        QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    QVERIFY2(xvfb.waitForReadyRead(15000), "Xvfb did not start");
    const QString display = QLatin1Char(':') + QString::fromLatin1(xvfb.readLine().trimmed());
    ProgramWithOutputOn program(dir, display);
    QVERIFY(program.waitForMeasurements(2));
    QVERIFY(lastFrame(frameLog).endsWith('O'));

    xvfb.kill();
    QVERIFY(xvfb.waitForFinished(10000));
    QVERIFY(program.process().waitForFinished(30000));
    const QByteArray last = lastFrame(frameLog);
    QVERIFY2(last.endsWith('N'), last.constData());
    const QString records = dir + QStringLiteral("/Record");
    const QStringList names = entries(records, QStringLiteral("*.TXT"));
    QCOMPARE(names.size(), 1);
    const QString record = records + QLatin1Char('/') + names[0];
    checkOrdinaryRecord(record);
    const QString stem = record.chopped(4);
    // The header and a row per measurement.
    QVERIFY(fileBytes(stem + QStringLiteral(".csv")).count("\r\n") >= 3);
    if (!QFileInfo::exists(stem + QStringLiteral(".png"))) {
        const QStringList notes = entries(dir, QStringLiteral("journal-*.published"));
        QCOMPARE(notes.size(), 1);
        QCOMPARE(QString::fromUtf8(fileBytes(dir + QLatin1Char('/') + notes[0])).trimmed(), record);
        QCOMPARE(entries(dir, QStringLiteral("*.journal")).size(), 1);
    }

    const QByteArray text = fileBytes(record);
    live.start();
    QVERIFY(waitFor([&] { return entries(dir, QStringLiteral("journal-*")).isEmpty(); }, 15000));
    QCOMPARE(entries(records, QStringLiteral("*.TXT")), names);
    QCOMPARE(fileBytes(record), text);
    QVERIFY(!QImage(stem + QStringLiteral(".png")).isNull());
}

// Two supplies on one computer, their programs sharing the data folder and
// stopped by one signal in the same moment: neither record replaces the
// other.
void ShutdownEndToEndTest::twoProgramsInOneFolderStoppedTogetherKeepBothRecords() {
    LiveWindow live;
    const QString dir = live.dir.path();
    Simulator first(dir, {});
    Simulator second(dir, {}, Simulator::kPort + 1);
    QVERIFY(first.waitUntilLinked());
    QVERIFY(second.waitUntilLinked());
    ProgramWithOutputOn one(dir);
    ProgramWithOutputOn other(dir);
    QVERIFY(one.waitForMeasurements(2, 2));
    QVERIFY(other.waitForMeasurements(2, 2));

    ::kill(static_cast<pid_t>(one.process().processId()), SIGTERM);
    ::kill(static_cast<pid_t>(other.process().processId()), SIGTERM);
    for (ProgramWithOutputOn* program : {&one, &other}) {
        QVERIFY(program->process().waitForFinished(30000));
        QCOMPARE(program->process().exitCode(), 0);
    }
    const QStringList names = entries(dir + QStringLiteral("/Record"), QStringLiteral("*.TXT"));
    QCOMPARE(names.size(), 2);
    for (const QString& name : names) {
        checkOrdinaryRecord(dir + QStringLiteral("/Record/") + name);
    }
    QVERIFY(entries(dir, QStringLiteral("*.journal")).isEmpty());
}

int main(int argc, char** argv) {
    if (argc == 3 && qstrcmp(argv[1], kOutputOnOption) == 0) {
        return runWithOutputOn(argc, argv);
    }
    QApplication app(argc, argv);
    ShutdownEndToEndTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_shutdown_end_to_end.moc"
