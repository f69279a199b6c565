#include "live_window.h"
#include "platform/stderr_dialogs.h"
#include "waiting.h"
#include "window/log_box.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSocketNotifier>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {

const QString kMeasured = QStringLiteral("12.00V          1.200A");
const char kChildOption[] = "--switch-on-and-off";

// The program as a process of its own in the directory, under the disk shim
// its environment names: the window on the real serial line, ended by the
// stop signals as the program is, boxes on standard error. Each line "on"
// on standard input switches the output on at 12 V and 2 A once the supply
// answers, and standard output says "measured" after two measurement lines;
// each "off" switches it off, and standard output says "saved" once the
// log names its record.
int runChild(int argc, char** argv) {
    QApplication app(argc, argv);
    StderrDialogs dialogs;
    ProgramInDir program(QString::fromLocal8Bit(argv[2]), dialogs);
    SupplySession& session = program.session;
    MainWindow& window = program.window;
    window.voltageStepList->setCurrentIndex(12);
    window.voltageStepChosen();
    window.currentStepList->setCurrentIndex(20);
    window.currentStepChosen();

    QByteArray input;
    QList<QByteArray> commands;
    QSocketNotifier reader(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&reader, &QSocketNotifier::activated, [&] {
        char bytes[64];
        const ssize_t count = ::read(STDIN_FILENO, bytes, sizeof bytes);
        input.append(bytes, std::max<ssize_t>(count, 0));
        for (qsizetype end = input.indexOf('\n'); end >= 0; end = input.indexOf('\n')) {
            commands << input.left(end);
            input.remove(0, end + 1);
        }
        if (count <= 0) {
            reader.setEnabled(false);
        }
    });
    const auto say = [](const char* line) {
        std::printf("%s\n", line);
        std::fflush(stdout);
    };
    bool measuring = false;
    bool saving = false;
    QTimer step;
    QObject::connect(&step, &QTimer::timeout, [&] {
        const QString log = window.logBox->text();
        if (measuring && log.count(kMeasured) >= 2) {
            measuring = false;
            say("measured");
        }
        if (saving && log.contains(QStringLiteral("保存路径:"))) {
            saving = false;
            say("saved");
        }
        if (commands.isEmpty()) {
            return;
        }
        if (commands.first() == "on" && session.state.linkUp &&
            session.state.currentSetpointMilliamps == 2000) {
            window.outputButtonClicked();
            measuring = true;
            commands.removeFirst();
        } else if (commands.first() == "off") {
            window.outputButtonClicked();
            saving = true;
            commands.removeFirst();
        }
    });
    step.start(100);
    return QApplication::exec();
}

// The program under the disk shim, in the directory, with the environment
// given.
class ProgramOnShim {
public:
    ProgramOnShim(const QString& dir, const QStringList& environment) {
        QProcessEnvironment inherited = QProcessEnvironment::systemEnvironment();
        inherited.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        inherited.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(VELKOR_DISK_SHIM));
        // A sanitized build wants its own runtime first among the libraries.
        inherited.insert(QStringLiteral("ASAN_OPTIONS"),
                         inherited.value(QStringLiteral("ASAN_OPTIONS")) +
                             QStringLiteral(":verify_asan_link_order=0"));
        for (const QString& setting : environment) {
            inherited.insert(setting.section(QLatin1Char('='), 0, 0),
                             setting.section(QLatin1Char('='), 1));
        }
        process_.setProcessEnvironment(inherited);
        process_.start(QCoreApplication::applicationFilePath(),
                       {QString::fromLatin1(kChildOption), dir});
    }
    ~ProgramOnShim() {
        process_.kill();
        process_.waitForFinished(5000);
    }

    // Sends the command and waits for the answer.
    bool ask(const QByteArray& command, const QByteArray& answer) {
        process_.write(command + '\n');
        return waitFor(
            [&] {
                output_ += process_.readAllStandardOutput();
                const qsizetype at = output_.indexOf(answer + '\n');
                if (at >= 0) {
                    output_.remove(0, at + answer.size() + 1);
                    return true;
                }
                return false;
            },
            60000);
    }
    QProcess& process() { return process_; }
    QString errors() {
        errors_ += process_.readAllStandardError();
        return QString::fromUtf8(errors_);
    }

private:
    QProcess process_;
    QByteArray output_;
    QByteArray errors_;
};

QStringList filesIn(const QString& dir, const QStringList& patterns = {}) {
    return QDir(dir).entryList(patterns, QDir::Files | QDir::Hidden, QDir::Name);
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

} // namespace

class DiskEndToEndTest : public QObject {
    Q_OBJECT
private slots:
    void refusedFolderSyncsGiveOneRecordPerSwitchOff();
    void stopSignalEndsTheProgramWhoseDiskHangs();
    void stopSignalEndsTheProgramWhoseRecoveryHangs();
};

// A data folder on a file system where fsync on a folder fails with
// EINVAL, as on some network and FUSE file systems: each switch-off gives
// one record with its spreadsheet and picture, the file system is named
// once, and a stop signal with the output on ends the program with the
// third.
void DiskEndToEndTest::refusedFolderSyncsGiveOneRecordPerSwitchOff() {
    LiveWindow live;
    const QString dir = live.dir.path();
    Simulator sim(dir, {});
    QVERIFY(sim.waitUntilLinked());
    ProgramOnShim program(dir, {QStringLiteral("VELKOR_SHIM_FOLDER_SYNC=EINVAL")});
    const QString records = dir + QStringLiteral("/Record");
    QStringList stems;
    for (int stop = 1; stop <= 2; ++stop) {
        // Two measurement lines take two seconds: the stops' stamps differ.
        QVERIFY(program.ask("on", "measured"));
        QVERIFY(program.ask("off", "saved"));
        QVERIFY(waitFor([&] { return filesIn(dir, {"*.journal"}).isEmpty(); }, 15000));
        const QStringList names = filesIn(records);
        QCOMPARE(names.size(), 3 * stop);
        stems.clear();
        for (const QString& name : names) {
            const QString stem = name.section(QLatin1Char('.'), 0, 0);
            QVERIFY2(!stem.contains(QLatin1Char('_')), qPrintable(name));
            if (!stems.contains(stem)) {
                stems << stem;
            }
        }
        QCOMPARE(stems.size(), stop);
    }
    for (const QString& stem : stems) {
        QCOMPARE(filesIn(records, {stem + ".*"}),
                 (QStringList{stem + ".TXT", stem + ".csv", stem + ".png"}));
    }

    QVERIFY(program.ask("on", "measured"));
    program.process().terminate();
    QVERIFY(program.process().waitForFinished(30000));
    QCOMPARE(program.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.process().exitCode(), 0);
    QCOMPARE(filesIn(records, {"*.TXT"}).size(), 3);
    QCOMPARE(filesIn(records).size(), 9);
    QCOMPARE(filesIn(dir, {"journal-*"}), QStringList());
    const QString errors = program.errors();
    QCOMPARE(errors.count(QStringLiteral("cannot sync folders")), 1);
    QVERIFY2(!errors.contains(QStringLiteral("could not be saved")), qPrintable(errors));
}

// A disk that takes the journal's bytes but never finishes syncing them
// (a network folder whose server went away): a stop signal still ends the
// program, with whole off frames to the supply; the log stays in its
// journal for the next start, and the message says so.
void DiskEndToEndTest::stopSignalEndsTheProgramWhoseDiskHangs() {
    LiveWindow live;
    const QString dir = live.dir.path();
    const QString frameLog = dir + QStringLiteral("/frames.log");
    Simulator sim(dir, {QStringLiteral("--frame-log"), frameLog});
    QVERIFY(sim.waitUntilLinked());
    ProgramOnShim program(dir, {QStringLiteral("VELKOR_SHIM_HANG_SYNC_OF=/journal-")});
    QVERIFY(program.ask("on", "measured"));
    QVERIFY(lastFrame(frameLog).endsWith('O'));

    program.process().terminate();
    // Generous for a noisy machine: the program's own wait is a few
    // seconds, and a program held by its disk never ends at all.
    QVERIFY(program.process().waitForFinished(30000));
    QCOMPARE(program.process().exitStatus(), QProcess::NormalExit);
    QVERIFY(lastFrame(frameLog).endsWith('N'));
    const QStringList journals = filesIn(dir, {"*.journal"});
    QCOMPARE(journals.size(), 1);
    QVERIFY(fileBytes(dir + QLatin1Char('/') + journals[0]).startsWith("Velkor\r\n"));
    QCOMPARE(filesIn(dir + QStringLiteral("/Record"), {"*.TXT"}), QStringList());
    const QString errors = program.errors();
    QVERIFY2(errors.contains(QStringLiteral("The log stays in its journal")), qPrintable(errors));
}

// The journal of a program that died, and a record folder on a disk that
// takes files but never finishes syncing them: a stop signal while the
// start's recovery of the journal waits on the disk still ends the program
// within its 5 s, and the journal stays for the next start, which saves it.
void DiskEndToEndTest::stopSignalEndsTheProgramWhoseRecoveryHangs() {
    LiveWindow live;
    const QString dir = live.dir.path();
    const QString records = dir + QStringLiteral("/Record");
    const QString journal = dir + QStringLiteral("/journal-999999-1.journal");
    const QByteArray lines =
        "Velkor\r\nVersion: 1.0\r\n12:00:01          12.00V          1.200A\r\n";
    {
        QFile file(journal);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(lines) == lines.size());
    }
    Simulator sim(dir, {});
    QVERIFY(sim.waitUntilLinked());
    {
        ProgramOnShim program(dir, {QStringLiteral("VELKOR_SHIM_HANG_SYNC_OF=/Record/")});
        // The recovered record's temporary file waits for its sync.
        QVERIFY(waitFor([&] { return !filesIn(records, {".*.part"}).isEmpty(); }, 60000));
        QElapsedTimer sinceSignal;
        sinceSignal.start();
        program.process().terminate();
        // The program ends within 5 s; more here only for a noisy machine.
        QVERIFY(program.process().waitForFinished(30000));
        QVERIFY2(sinceSignal.elapsed() < 8000, qPrintable(QString::number(sinceSignal.elapsed())));
        QCOMPARE(program.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.process().exitCode(), 0);
        QCOMPARE(fileBytes(journal), lines);
        QCOMPARE(filesIn(records, {"*.TXT"}), QStringList());
    }

    ProgramOnShim next(dir, {});
    QVERIFY(waitFor([&] { return !QFileInfo::exists(journal); }, 60000));
    const QStringList saved = filesIn(records, {"*.TXT"});
    QCOMPARE(saved.size(), 1);
    QVERIFY(fileBytes(records + QLatin1Char('/') + saved[0]).startsWith(lines));
    QCOMPARE(filesIn(records, {".*.part"}), QStringList());
}

int main(int argc, char** argv) {
    if (argc == 3 && qstrcmp(argv[1], kChildOption) == 0) {
        return runChild(argc, argv);
    }
    QApplication app(argc, argv);
    DiskEndToEndTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_disk_end_to_end.moc"
