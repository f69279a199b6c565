// Seeded random sequences of everything that can happen to the supply
// session on a real bench PC: setpoints, ON and OFF, runs, over-current, a
// supply that falls silent and comes back, at its own path or under another
// number, a device that listens and never answers, a second supply, reads
// and writes that fail, a script's I/O watchdog, a disk that refuses syncs,
// closes, stop signals, the display going away and a program killed and
// started again. After every event the session's guarantees are checked on
// what it wrote: the bytes each device took and the record files.
//
//   VELKOR_INTERLEAVING_SEED=N       runs the one sequence of seed N, verbosely
//   VELKOR_INTERLEAVING_SEQUENCES=N  how many sequences (default 10000)
#include "bench_ports.h"
#include "fakes.h"
#include "platform/file_calls.h"
#include "record/record_csv.h"
#include "record/record_file.h"
#include "setting/setpoint_quantity.h"
#include "step_table_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtTest>

#include <cerrno>
#include <memory>

namespace {

const QByteArray kAnswer = "VKPPSU0500A0100W";
const QByteArray kOverCurrent = "VKPPSU0500A0100B";

// The measurement lines of a record or a log: the time of day, a voltage
// and a current, 10 blanks apart. A trip's end line, which also ends with
// the readings, is not one.
QStringList measurementLines(const QString& text) {
    static const QRegularExpression line(
        QStringLiteral("^\\d\\d:\\d\\d:\\d\\d {10}\\S\\S\\.\\S\\SV {10}\\S\\.\\S{3}A$"));
    QStringList lines;
    for (const QString& candidate : text.split(QStringLiteral("\r\n"))) {
        if (line.match(candidate).hasMatch()) {
            lines << candidate;
        }
    }
    return lines;
}

// A record says how its log ended once, after its last measurement line;
// one recovered from a journal after a crash does not know.
QString endLineProblem(const QString& text) {
    static const QRegularExpression note(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d {10}\\S.* / "));
    const QStringList lines = text.split(QStringLiteral("\r\n"));
    int ends = 0;
    int lastMeasurement = -1;
    int end = -1;
    for (int i = 0; i < lines.size(); ++i) {
        if (!measurementLines(lines[i]).isEmpty()) {
            lastMeasurement = i;
        } else if (note.match(lines[i]).hasMatch() &&
                   !lines[i].contains(QStringLiteral("run started"))) {
            ++ends;
            end = i;
        }
    }
    if (ends > 1 || (ends == 1 && end < lastMeasurement)) {
        return QStringLiteral("%1 end lines, the last at line %2, after a measurement at line %3")
            .arg(ends)
            .arg(end)
            .arg(lastMeasurement);
    }
    return {};
}

// One program's world: a bench PC whose ports lead to the supply, maybe a
// device that listens and never answers, maybe a second supply; a clock that
// moves 100 ms a tick, a disk whose syncs can fail, the files in a folder in
// memory.
struct World {
    explicit World(const QString& dir, QRandomGenerator& random) : dir(dir) {
        // The supply on the highest port, or below a silent device on it.
        supplyPath = ports.paths.value(random.bounded(2) == 0 ? 16 : 14);
        ports.place(supplyPath, BenchPorts::Device::Supply);
        const QString motherboard = ports.paths.value(1);
        const QString neighbour = ports.paths.value(15);
        const QString top = ports.paths.value(16);
        const BenchPorts::Device kinds[] = {
            BenchPorts::Device::Absent, BenchPorts::Device::Listener, BenchPorts::Device::Supply};
        ports.place(neighbour, kinds[random.bounded(3)]);
        ports.answers[neighbour] = "VKPPSU1200A2000W";
        if (top != supplyPath) {
            ports.place(top, BenchPorts::Device::Listener);
        }
        if (random.bounded(2) == 0) {
            ports.place(motherboard, BenchPorts::Device::Listener);
        }
    }

    QString dir;
    BenchPorts ports;
    // Where the supply of this world is now.
    QString supplyPath;
    FakeClock clock;
    RecordingDialogs dialogs;
    bool diskFails = false;
    std::unique_ptr<RecordWorker> records;
    std::unique_ptr<SupplySession> session;

    void startProgram() {
        session.reset();
        records = std::make_unique<RecordWorker>(
            RecordWorker::Mode::CallersThread,
            DiskCalls{[this](int) { return diskFails ? (errno = EIO, -1) : 0; },
                      file_calls::lock,
                      [](const QString&, const RunSeries& series) {
                          return QList<CompanionFile>{{QStringLiteral(".csv"), recordCsv(series)}};
                      },
                      {},
                      {},
                      {},
                      {}});
        session = std::make_unique<SupplySession>(
            Platform{&ports, &clock, nullptr, &dialogs, dir, dir, records.get()});
        session->open();
        // The journals of an earlier program are recovered once the event
        // loop runs.
        QCoreApplication::processEvents();
    }
};

class Interleaving {
public:
    Interleaving(quint32 seed, const QString& dir, bool verbose)
        : random_(seed), world_(dir, random_), verbose_(verbose) {
        watchPorts();
    }

    // Empty when every guarantee held; otherwise what broke.
    QString run() {
        world_.startProgram();
        watch();
        if (random_.bounded(5) == 0) {
            world_.session->setLinkLossPolicy(LinkLossPolicy::Hold);
        }
        const int events = 20 + int(random_.bounded(30));
        for (int event = 0; event < events && failure_.isEmpty() && !ended_; ++event) {
            act();
            // Events often follow each other closely: in the same tick, or
            // with the sender part way through a frame.
            if (failure_.isEmpty() && random_.bounded(3) != 0) {
                ticks(int(random_.bounded(40)));
            }
            if (failure_.isEmpty() && !ended_) {
                sends(int(random_.bounded(16)));
            }
        }
        if (failure_.isEmpty() && !ended_) {
            world_.diskFails = false;
            end(EndBy::Close);
        }
        if (failure_.isEmpty()) {
            checkRecords();
        }
        return failure_;
    }

private:
    enum class EndBy { Close, DisplayLoss, Kill };

    void note(const QString& what) {
        if (verbose_) {
            qInfo("%s", qPrintable(what));
        }
    }

    void fail(const QString& why) {
        if (failure_.isEmpty()) {
            failure_ = why;
        }
    }

    SupplySession& session() { return *world_.session; }

    // Whether the output came on only through an accepted command, and
    // where each stop left the line.
    void watch() {
        wasOn_ = false;
        tookOnFrame_.clear();
        QObject::connect(world_.session.get(), &SupplySession::changed, world_.session.get(),
                         [this] { outputChanged(); });
        QObject::connect(world_.session.get(), &SupplySession::logAppended, world_.session.get(),
                         [this](const QString& text) { loggedLines_ << measurementLines(text); });
        QObject::connect(world_.session.get(), &SupplySession::closeWaitOver, world_.session.get(),
                         [this] { closeAgain_ = true; });
    }

    // What each device hears and answers, watched as it happens.
    void watchPorts() {
        BenchPorts& ports = world_.ports;
        ports.replyRead = [this](const QString& path) {
            answeredAt_[path] = ++moment_;
            lastAnswered_ = path;
        };
        ports.closedByProgram = [this](const QString& path) { closedAt_[path] = ++moment_; };
        ports.frameTaken = [this](const QString& path, const QByteArray& frame) {
            if (frame.endsWith('O')) {
                checkOnFrame(path, frame);
            }
        };
    }

    // The port's supply answered since the program last let go of the port.
    bool answeredSinceClosed(const QString& path) const {
        return answeredAt_.contains(path) && answeredAt_.value(path) > closedAt_.value(path, 0);
    }

    void outputChanged() {
        const bool on = session().outputOn();
        const qsizetype now = world_.ports.writtenCount;
        if (on && !wasOn_ && !commanding_) {
            fail(QStringLiteral("the output came on without a command"));
        }
        if (!on && wasOn_ && !onPeriods_.isEmpty()) {
            onPeriods_.last().second = now;
        }
        if (on && !wasOn_) {
            onPeriods_.append({now, -1});
            // The output is the supply's that answered last, on a port not
            // let go of since (it may have failed meanwhile).
            supplyOfPeriod_ = answeredSinceClosed(lastAnswered_) ? lastAnswered_ : QString();
        }
        wasOn_ = on;
    }

    // A frame switching the output on may start only between an accepted
    // command and the next stop, and only on the port whose supply
    // answered in that on-period: after the program let go of that port,
    // only once its supply answered again.
    void checkOnFrame(const QString& path, const QByteArray& frame) {
        const qsizetype start = world_.ports.writtenCount - frame.size();
        const bool commanded =
            std::any_of(onPeriods_.begin(), onPeriods_.end(), [start](const auto& period) {
                return start >= period.first && (period.second < 0 || start < period.second);
            });
        tookOnFrame_.insert(path);
        if (!commanded) {
            fail(QStringLiteral("an on frame went to %1 with no command behind it: %2")
                     .arg(path, QString::fromLatin1(frame)));
        } else if (path != supplyOfPeriod_ || !answeredSinceClosed(path)) {
            fail(QStringLiteral("an on frame went to %1, whose supply had not answered in this "
                                "on-period (the supply answered on \"%2\")")
                     .arg(path, supplyOfPeriod_));
        }
    }

    // Each opening of a port begins and ends between two frames.
    void checkFrameBoundaries() {
        if (!world_.ports.startedMidFrame.isEmpty()) {
            fail(QStringLiteral("%1 began with the tail of a frame")
                     .arg(world_.ports.startedMidFrame.first()));
        }
        if (!world_.ports.closedMidFrame.isEmpty()) {
            fail(QStringLiteral("%1 was let go of with a frame cut short")
                     .arg(world_.ports.closedMidFrame.first()));
        }
    }

    void ticks(int count) {
        for (int tick = 0; tick < count && failure_.isEmpty() && !ended_; ++tick) {
            const bool linkWasUp = session().state.linkUp;
            const bool wasOn = session().outputOn();
            session().pollTick();
            sends(20);
            checkFrameBoundaries();
            if (linkWasUp && !session().state.linkUp && wasOn &&
                session().linkLossPolicy() == LinkLossPolicy::SwitchOff && session().outputOn()) {
                fail(QStringLiteral("the output stayed on through a declared loss"));
            }
            if (closeAgain_) {
                closeAgain_ = false;
                close();
            }
        }
    }

    // The sender's ticks, 5 ms each.
    void sends(int count) {
        for (int send = 0; send < count; ++send) {
            session().sendTick();
            world_.clock.time = world_.clock.time.addMSecs(5);
        }
    }

    void command(const char* what, const std::function<Refused()>& operation) {
        commanding_ = true;
        const Refused refusal = operation();
        commanding_ = false;
        note(QStringLiteral("%1%2").arg(QLatin1String(what),
                                        refusal ? QStringLiteral(" (refused)") : QString()));
    }

    void act() {
        switch (random_.bounded(18)) {
        case 0:
        case 1: {
            const bool voltage = random_.bounded(2) == 0;
            const SetpointQuantity& quantity = voltage ? kVoltageQuantity : kCurrentQuantity;
            command("setpoint", [&] {
                return session().setSetpoint(quantity,
                                             int(random_.bounded(quantity.frameLimit + 1)));
            });
            break;
        }
        case 2:
            session().editEntry(kVoltageQuantity,
                                random_.bounded(4) == 0
                                    ? QStringLiteral("40V")
                                    : QStringLiteral("%1V").arg(random_.bounded(31)));
            note(QStringLiteral("voltage typed"));
            break;
        case 3:
        case 4:
            command("ON", [&] { return session().switchOutput(true); });
            break;
        case 5:
            command("OFF", [&] { return session().switchOutput(false); });
            break;
        case 6:
            session().setRunCount(int(random_.bounded(3)));
            command("RUN", [&] { return session().switchRun(true); });
            break;
        case 7:
            command("STOP", [&] { return session().switchRun(false); });
            break;
        case 8:
            session().setTripMode(random_.bounded(2) == 0);
            world_.ports.answers[world_.supplyPath] = kOverCurrent;
            note(QStringLiteral("over-current"));
            break;
        case 9:
            supplyIs(BenchPorts::Device::Listener, "silence");
            break;
        case 10:
            world_.ports.answers[world_.supplyPath] = kAnswer;
            supplyIs(BenchPorts::Device::Supply, "answers");
            break;
        case 11:
            supplyIs(BenchPorts::Device::Listener, "silent for 14 s");
            ticks(140);
            supplyIs(BenchPorts::Device::Supply, "answers");
            break;
        case 16:
            bench();
            break;
        case 12:
            world_.diskFails = !world_.diskFails;
            diskFailedInThisProgram_ = diskFailedInThisProgram_ || world_.diskFails;
            note(world_.diskFails ? QStringLiteral("disk fails") : QStringLiteral("disk works"));
            break;
        case 15: {
            // A script that switches the watchdog and may fall silent.
            const bool on = random_.bounded(2) == 0;
            session().setIoWatchdogDelay(1 + int(random_.bounded(3)));
            session().setIoWatchdog(on);
            note(on ? QStringLiteral("watchdog on") : QStringLiteral("watchdog off"));
            break;
        }
        case 13:
        case 14:
            note(QStringLiteral("close or stop signal"));
            close();
            break;
        default:
            // A program killed while its log could only be kept in memory
            // loses it, as any program would: no kill then.
            if (random_.bounded(2) == 0 || diskFailedInThisProgram_) {
                world_.diskFails = false;
                end(EndBy::DisplayLoss);
            } else {
                end(EndBy::Kill);
            }
            break;
        }
    }

    void supplyIs(BenchPorts::Device device, const char* what) {
        world_.ports.place(world_.supplyPath, device);
        note(QLatin1String(what));
    }

    // What else happens on a bench: a read or a write that fails, an adapter
    // pulled and put back, at its path or under another number.
    void bench() {
        BenchPorts& ports = world_.ports;
        switch (random_.bounded(4)) {
        case 0:
            ports.failNextRead = true;
            note(QStringLiteral("the next read fails"));
            break;
        case 1:
            ports.failNextWrite = true;
            note(QStringLiteral("the next write fails"));
            break;
        case 2: {
            ports.vanish(world_.supplyPath);
            ticks(int(random_.bounded(60)));
            // Back at the same path, or under a number nothing else has.
            QStringList free;
            for (const QString& path : std::as_const(ports.paths)) {
                if (ports.devices.value(path, BenchPorts::Device::Absent) ==
                    BenchPorts::Device::Absent) {
                    free << path;
                }
            }
            const QString path = random_.bounded(2) == 0
                                     ? free.at(int(random_.bounded(free.size())))
                                     : world_.supplyPath;
            world_.supplyPath = path;
            ports.place(path, BenchPorts::Device::Supply);
            note(QStringLiteral("the supply was pulled and came back at %1").arg(path));
            break;
        }
        default:
            ports.vanish(world_.supplyPath);
            ports.place(world_.supplyPath, BenchPorts::Device::Supply);
            note(QStringLiteral("the supply hung up and a new one is at its path"));
            break;
        }
    }

    void close() {
        const SupplySession::CloseAnswer answer = session().requestClose();
        if (answer == SupplySession::CloseAnswer::Closed) {
            ended(QStringLiteral("closed"));
        }
    }

    void end(EndBy how) {
        switch (how) {
        case EndBy::Close:
            // A close that waits or is refused is asked again, as the window
            // and the stop signals do, until it goes.
            for (int attempt = 0; attempt < 3 && !ended_; ++attempt) {
                close();
                ticks(2);
            }
            if (!ended_) {
                fail(QStringLiteral("a close with a working disk did not end the program"));
            }
            break;
        case EndBy::DisplayLoss:
            session().endWithoutDisplay();
            ended(QStringLiteral("display lost"));
            break;
        case EndBy::Kill:
            note(QStringLiteral("killed and started again"));
            // What a killed program leaves: its journal, no off frame.
            if (wasOn_) {
                onPeriods_.last().second = world_.ports.writtenCount;
            }
            world_.session.reset();
            world_.records.reset();
            world_.ports.close();
            world_.ports.closedMidFrame.clear();
            world_.diskFails = false;
            killed_ = true;
            restart();
            break;
        }
    }

    void ended(const QString& how) {
        note(how);
        ended_ = true;
        if (session().outputState() != OutputState::Closed) {
            fail(QStringLiteral("ended without releasing the port"));
            return;
        }
        checkFrameBoundaries();
        // Every device this program switched on that can still be reached
        // took a whole off frame last.
        for (const QString& path : std::as_const(tookOnFrame_)) {
            const bool reachable = world_.ports.devices.value(path, BenchPorts::Device::Absent) !=
                                   BenchPorts::Device::Absent;
            if (reachable && !world_.ports.endsWithOffFrame(path)) {
                fail(QStringLiteral("the program ended with an on frame last at %1").arg(path));
            }
        }
        // The next program starts with the output off and recovers what
        // the last one kept.
        world_.diskFails = false;
        restart();
    }

    void restart() {
        world_.startProgram();
        diskFailedInThisProgram_ = false;
        watch();
        for (int tick = 0; tick < 30; ++tick) {
            session().pollTick();
            for (int send = 0; send < 20; ++send) {
                session().sendTick();
            }
        }
        if (killed_) {
            killed_ = false;
            ended_ = false;
        }
    }

    // Every measurement line is in exactly one record, once the last program
    // has closed.
    void checkRecords() {
        if (!ended_) {
            return;
        }
        if (session().outputState() != OutputState::Closed) {
            session().requestClose();
        }
        QMap<QString, int> saved;
        const QDir records(world_.dir + QStringLiteral("/Record"));
        for (const QString& name : records.entryList({QStringLiteral("*.TXT")}, QDir::Files)) {
            QFile file(records.filePath(name));
            if (!file.open(QIODevice::ReadOnly)) {
                fail(QStringLiteral("cannot read %1").arg(name));
                return;
            }
            const QString text = QString::fromLocal8Bit(file.readAll());
            for (const QString& line : measurementLines(text)) {
                ++saved[line];
            }
            if (const QString problem = endLineProblem(text); !problem.isEmpty()) {
                fail(QStringLiteral("%1: %2").arg(name, problem));
                return;
            }
        }
        for (const QString& line : std::as_const(loggedLines_)) {
            const int copies = saved.value(line);
            if (copies != 1) {
                fail(QStringLiteral("the log line \"%1\" is in %2 records").arg(line).arg(copies));
                return;
            }
        }
    }

    QRandomGenerator random_;
    World world_;
    bool verbose_;
    QString failure_;
    bool ended_ = false;
    bool killed_ = false;
    bool commanding_ = false;
    bool closeAgain_ = false;
    bool wasOn_ = false;
    bool diskFailedInThisProgram_ = false;
    // Where on the line each period of an accepted output began and ended
    // (-1 while it goes on): a frame switching on may start only inside one.
    QList<QPair<qsizetype, qsizetype>> onPeriods_;
    // The path whose supply answered when the output came on.
    QString supplyOfPeriod_;
    QString lastAnswered_;
    // When each path's supply last answered, and when the program last let
    // go of each path, in the order things happened.
    QMap<QString, qint64> answeredAt_;
    QMap<QString, qint64> closedAt_;
    qint64 moment_ = 0;
    // The paths this program sent a frame switching the output on.
    QSet<QString> tookOnFrame_;
    QStringList loggedLines_;
};

} // namespace

class SessionInterleavingsTest : public QObject {
    Q_OBJECT
private slots:
    void guaranteesHoldInEverySequence();
};

void SessionInterleavingsTest::guaranteesHoldInEverySequence() {
    const QByteArray onlySeed = qgetenv("VELKOR_INTERLEAVING_SEED");
    const int sequences =
        onlySeed.isEmpty() ? qEnvironmentVariableIntValue("VELKOR_INTERLEAVING_SEQUENCES") : 1;
    const int count = sequences > 0 ? sequences : 10000;
    const quint32 firstSeed = onlySeed.isEmpty() ? 1 : onlySeed.toUInt();
    // Files in memory: the sequences save tens of thousands of records.
    const QString base =
        QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    qInfo("seeds %u to %u; one of them again with VELKOR_INTERLEAVING_SEED=N", firstSeed,
          firstSeed + count - 1);
    QElapsedTimer elapsed;
    elapsed.start();
    // Every sequence starts from a copy of the same step table.
    QTemporaryDir steps(base + QStringLiteral("/velkor-steps-XXXXXX"));
    QVERIFY(writeStepFile(steps.path(), {{5, 1, 2}, {12, 2, 1}, {3, 0.5, 3}}));
    const QString stepFile = steps.filePath(QStringLiteral("db1.sqlite"));
    for (int i = 0; i < count; ++i) {
        const quint32 seed = firstSeed + quint32(i);
        QTemporaryDir dir(base + QStringLiteral("/velkor-interleaving-XXXXXX"));
        QVERIFY(QFile::copy(stepFile, dir.filePath(QStringLiteral("db1.sqlite"))));
        const QString failure = Interleaving(seed, dir.path(), !onlySeed.isEmpty()).run();
        QVERIFY2(failure.isEmpty(),
                 qPrintable(QStringLiteral("seed %1: %2").arg(seed).arg(failure)));
    }
    qInfo("%d sequences in %.1f s", count, elapsed.elapsed() / 1000.0);
}

// The log's time of day in the plain 24-hour form of the C locale; a fixed
// zone spares the C library a look at /etc/localtime at every clock reading.
int main(int argc, char** argv) {
    qputenv("LC_ALL", "C.UTF-8");
    qputenv("TZ", "UTC");
    QCoreApplication app(argc, argv);
    SessionInterleavingsTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "test_session_interleavings.moc"
