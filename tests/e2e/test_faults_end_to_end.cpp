#include "live_window.h"
#include "pty_supply.h"
#include "setting/setpoint_quantity.h"
#include "step_table_file.h"
#include "waiting.h"
#include "window/log_box.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace {

const QString kLinkUpText = QStringLiteral("通讯状态:连接成功 ");
const QString kLinkWaitText = QStringLiteral("通讯状态:等待... ");

struct LoggedFrame {
    qint64 ms = 0;
    QString frame;
};

// The complete frames the simulator received, in order.
QList<LoggedFrame> framesIn(const QString& logPath) {
    QList<LoggedFrame> frames;
    QFile file(logPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return frames;
    }
    while (!file.atEnd()) {
        const QList<QByteArray> fields = file.readLine().trimmed().split(' ');
        if (fields.size() == 2) {
            frames.append({fields[0].toLongLong(), QString::fromLatin1(fields[1])});
        }
    }
    return frames;
}

int framesEqualTo(const QList<LoggedFrame>& frames, const QString& frame) {
    return static_cast<int>(std::count_if(frames.begin(), frames.end(),
                                          [&](const LoggedFrame& f) { return f.frame == frame; }));
}

// The measurement lines of a log: after the three header lines, and before
// the save-path line once there is one.
QStringList measurementLines(const QString& log) {
    QStringList lines = log.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts).mid(3);
    if (!lines.isEmpty() && lines.last().contains(QStringLiteral("Record"))) {
        lines.removeLast();
    }
    return lines;
}

// Resident memory of this process, in KiB.
qint64 residentKib() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
        }
    }
    return -1;
}

// 12 V with a 2 A limit into the simulator's 10 ohm load: 12.00 V, 1.200 A.
void switchOnAt12Volts(MainWindow& w) {
    w.voltageStepList->setCurrentIndex(12);
    w.voltageStepChosen();
    QVERIFY(!w.session().setSetpoint(kCurrentQuantity, 2000));
    w.outputButtonClicked();
}

void chooseRunCount(MainWindow& w, const QString& count) {
    w.runCountList->setCurrentIndex(w.runCountList->findText(count));
    w.runCountChosen();
}

} // namespace

class FaultsEndToEndTest : public QObject {
    Q_OBJECT
private slots:
    void validBlocksAmongFaultsKeepTheLinkUp_data();
    void validBlocksAmongFaultsKeepTheLinkUp();
    void repliesWithoutTheTagLoseTheLink();
    void floodBetweenTwoReadsKeepsMemoryBounded();
    void hangUpInARunEndsItAndTheReturnGetsNoOn();
    void overCurrentInARunSwitchesOffWithinATick();
};

void FaultsEndToEndTest::validBlocksAmongFaultsKeepTheLinkUp_data() {
    QTest::addColumn<QString>("fault");
    QTest::newRow("blocks split across reads") << QStringLiteral("--split");
    QTest::newRow("every other block damaged") << QStringLiteral("--damaged");
    QTest::newRow("0xFF noise in and between blocks") << QStringLiteral("--ff-noise");
}

void FaultsEndToEndTest::validBlocksAmongFaultsKeepTheLinkUp() {
    QFETCH(QString, fault);
    LiveWindow live;
    const QString logPath = live.dir.path() + QStringLiteral("/frames.log");
    Simulator sim(live.dir.path(), {fault, QStringLiteral("--frame-log"), logPath});
    QVERIFY(sim.waitUntilLinked());
    MainWindow& w = live.start();
    QVERIFY(waitFor([&] { return w.session().state.linkUp; }, 8000));
    switchOnAt12Volts(w);
    QVERIFY(waitFor(
        [&] {
            return w.voltageReadout->text() == QStringLiteral("12.00V") &&
                   w.currentReadout->text() == QStringLiteral("1.200A");
        },
        8000));

    // Three more reads, each of which must take a valid block: a read
    // prints what came and then the block it took.
    const int readsBefore =
        w.diagnosticPane->lines().filter(QStringLiteral("VKPPSU1200A1200W")).size();
    QVERIFY(waitFor(
        [&] {
            return !w.session().state.linkUp || w.session().state.badReplyCount > 0 ||
                   w.diagnosticPane->lines().filter(QStringLiteral("VKPPSU1200A1200W")).size() >=
                       readsBefore + 6;
        },
        8000));
    QVERIFY(w.session().state.linkUp);
    QCOMPARE(w.session().state.badReplyCount, qint16(0));
    QVERIFY(w.statusPanels[0]->text().startsWith(kLinkUpText));
    for (const QString& loss : {QStringLiteral("超时"), QStringLiteral("无应答"),
                                QStringLiteral("数据为空"), QStringLiteral("数据错误")}) {
        QCOMPARE(live.linesContaining(loss), 0);
    }
    // What was taken as a reading is a whole, valid block, and no 0xFF ever
    // reaches the pane.
    const QRegularExpression valid(QStringLiteral("^VKPPSU\\d{4}A\\d{4}[WB]$"));
    for (const QString& line : w.diagnosticPane->lines()) {
        QVERIFY2(!line.contains(QChar(0xFF)), qPrintable(line));
        if (line.size() == 16 && line.startsWith(QStringLiteral("VKPPSU"))) {
            QVERIFY2(valid.match(line).hasMatch(), qPrintable(line));
        }
    }
    const QStringList measured = measurementLines(w.logBox->text());
    QVERIFY(measured.size() >= 3);
    QVERIFY(measured.last().endsWith(QStringLiteral("12.00V          1.200A")));
    QVERIFY(framesEqualTo(framesIn(logPath), QStringLiteral("VKPPSU1200H2000O")) >= 10);
    QVERIFY(live.dialogs.shown.isEmpty());
}

void FaultsEndToEndTest::repliesWithoutTheTagLoseTheLink() {
    LiveWindow live;
    const QString logPath = live.dir.path() + QStringLiteral("/frames.log");
    Simulator sim(live.dir.path(),
                  {QStringLiteral("--no-tag"), QStringLiteral("--frame-log"), logPath});
    QVERIFY(sim.waitUntilLinked());
    MainWindow& w = live.start();
    QVERIFY(waitFor([&] { return w.session().state.portOpened; }, 3000));
    const qint64 openedMs = monotonicMs();

    // The readings never count, so the output cannot be switched on.
    QVERIFY(waitFor([&] { return live.linesContaining(QStringLiteral("数据错误")) >= 2; }, 5000));
    switchOnAt12Volts(w);
    QVERIFY(!w.session().outputOn());

    QVERIFY(waitFor([&] { return live.linesContaining(QStringLiteral("COM3超时")) == 1; }, 20000));
    // Twelve reads a second apart; timers run late on a busy machine, never
    // much early.
    const double lostAfter = (monotonicMs() - openedMs) / 1000.0;
    QVERIFY2(lostAfter > 10.5, qPrintable(QString::number(lostAfter)));
    // One line per read: the twelfth read finds the limit passed.
    QCOMPARE(live.linesContaining(QStringLiteral("数据错误")), 12);
    QCOMPARE(live.linesContaining(QStringLiteral("无应答")), 0);
    QCOMPARE(live.linesContaining(QStringLiteral("数据为空")), 1);
    QVERIFY(!w.session().state.linkUp);
    QCOMPARE(w.session().state.voltageDigits, QStringLiteral("0000"));

    // Searched again; the operator sees zero readings and the waiting link.
    QVERIFY(waitFor(
        [&] {
            return live.linesContaining(QStringLiteral("COM：   3已打开")) == 2 &&
                   w.voltageReadout->text() == QStringLiteral("00.00V");
        },
        3000));
    QCOMPARE(w.currentReadout->text(), QStringLiteral("0.000A"));
    QVERIFY(w.statusPanels[0]->text().startsWith(kLinkWaitText));
    QVERIFY(live.dialogs.shown.isEmpty());
    QVERIFY(recordEntries(live.dir.path()).isEmpty());
    // The program went on sending with the output off, each frame whole.
    const QList<LoggedFrame> frames = framesIn(logPath);
    QVERIFY(frames.size() >= 50);
    const QString before = QStringLiteral("VKPPSU0000H0000N");
    const QString after = QStringLiteral("VKPPSU1200H2000N");
    for (const LoggedFrame& f : frames) {
        QVERIFY2(f.frame == before || f.frame == after, qPrintable(f.frame));
    }
    QVERIFY(framesEqualTo(frames, after) >= 1);
}

void FaultsEndToEndTest::floodBetweenTwoReadsKeepsMemoryBounded() {
    LiveWindow live;
    PtySupply supply;
    QVERIFY(supply.linkAsPort(live.dir.path(), Simulator::kPort));
    QByteArray reply = "VKPPSU0500A0500W";
    QByteArray sent;
    QObject context;
    QTimer replies;
    replies.setInterval(100);
    connect(&replies, &QTimer::timeout, &context, [&] {
        supply.write(reply);
        sent += supply.take();
    });
    replies.start();
    MainWindow& w = live.start();
    QVERIFY(
        waitFor([&] { return w.session().state.voltageDigits == QStringLiteral("0500"); }, 8000));
    runFor(1000);

    // Junk with stray tags, tag fragments, digits and 0xFF, as fast as the
    // line takes it, for more than two reads.
    QByteArray junk;
    while (junk.size() < 64 * 1024) {
        junk += "VKPPS\xff"
                "0123VKPPSU\xff\xff"
                "A99xW";
    }
    const qint64 memoryBefore = residentKib();
    sent.clear();
    qint64 flooded = 0;
    QTimer flood;
    flood.setInterval(1);
    connect(&flood, &QTimer::timeout, &context, [&] {
        for (qint64 written = junk.size(); written == junk.size();) {
            written = supply.write(junk);
            flooded += written;
        }
    });
    flood.start();
    runFor(2500);
    flood.stop();
    const qint64 memoryAfter = residentKib();
    const QByteArray sentDuringFlood = sent;

    // After the flood the supply's newest reading is shown again.
    reply = "VKPPSU0700A0700W";
    QVERIFY(waitFor([&] { return w.voltageReadout->text() == QStringLiteral("07.00V"); }, 10000));
    QVERIFY(w.session().state.linkUp);
    QCOMPARE(w.currentReadout->text(), QStringLiteral("0.700A"));

    qInfo("flood of %lld bytes; resident memory %lld KiB before, %lld KiB after", flooded,
          memoryBefore, memoryAfter);
    // More than the program holds between two reads came in.
    QVERIFY(flooded > 128 * 1024);
    QVERIFY2(memoryAfter - memoryBefore < 8 * 1024,
             qPrintable(QString::number(memoryAfter - memoryBefore)));
    for (const QString& line : w.diagnosticPane->lines()) {
        QVERIFY(line.size() <= DiagnosticPane::kMaxLineLength);
    }
    // The frames kept going out while the flood came in (about 30 at full
    // pace; a busy machine delays the sender, but never stops it).
    QVERIFY2(sentDuringFlood.count("VKPPSU0000H0000N") >= 5,
             qPrintable(QString::number(sentDuringFlood.count("VKPPSU0000H0000N"))));
    QVERIFY(live.dialogs.shown.isEmpty());
}

// The line hangs up during a run: the run ends at the declared loss with
// every line up to it saved, and the supply plugged in again is never
// switched on by itself.
void FaultsEndToEndTest::hangUpInARunEndsItAndTheReturnGetsNoOn() {
    LiveWindow live;
    QVERIFY(writeStepFile(live.dir.path(), {{5, 1, 2}, {6, 1, 2}, {7, 1, 2}}));
    const QString firstLog = live.dir.path() + QStringLiteral("/frames-1.log");
    const QString secondLog = live.dir.path() + QStringLiteral("/frames-2.log");
    auto first = std::make_unique<Simulator>(
        live.dir.path(), QStringList{QStringLiteral("--hangup-after"), QStringLiteral("5"),
                                     QStringLiteral("--frame-log"), firstLog});
    QVERIFY(first->waitUntilLinked());
    MainWindow& w = live.start();

    // Every tick of the window: the longest pause between two, and the
    // display ticks of the run.
    QElapsedTimer sinceTick;
    qint64 longestPauseMs = 0;
    int runDisplayTicks = 0;
    QObject context;
    connect(w.session().findChild<QTimer*>(QStringLiteral("pollTimer")), &QTimer::timeout, &context,
            [&] {
                if (sinceTick.isValid()) {
                    longestPauseMs = qMax(longestPauseMs, sinceTick.elapsed());
                }
                sinceTick.start();
                if (w.session().running() && w.session().state.displayDivider == 0) {
                    ++runDisplayTicks;
                }
            });

    QVERIFY(waitFor([&] { return w.session().state.linkUp; }, 8000));
    chooseRunCount(w, QStringLiteral("x"));
    w.runButtonClicked();
    QVERIFY(w.session().running());

    // The line hangs up: the operator is told once that the port failed.
    QVERIFY(waitFor([&] { return !live.dialogs.shown.isEmpty(); }, 10000));
    first.reset();
    const QStringList beforeHangUp = measurementLines(w.logBox->text());
    QVERIFY(beforeHangUp.filter(QStringLiteral("05.00V          0.500A")).size() >= 1);
    QVERIFY(framesEqualTo(framesIn(firstLog), QStringLiteral("VKPPSU0500H1000O")) >= 5);

    QVERIFY(waitFor([&] { return !w.session().running(); }, 30000));
    QVERIFY(waitFor([&] { return w.logBox->text().contains(QStringLiteral("保存路径:")); }, 15000));

    // The adapter is plugged in again: a new supply on the same port.
    Simulator second(live.dir.path(), {QStringLiteral("--frame-log"), secondLog});
    QVERIFY(second.waitUntilLinked());
    QVERIFY(waitFor([&] { return w.session().state.linkUp; }, 30000));
    QVERIFY(waitFor([&] { return framesIn(secondLog).size() >= 20; }, 10000));
    for (const LoggedFrame& frame : framesIn(secondLog)) {
        QVERIFY2(frame.frame.endsWith(QLatin1Char('N')), qPrintable(frame.frame));
    }
    QCOMPARE(live.linesContaining(QStringLiteral("COM3无应答")), 1);
    QCOMPARE(live.dialogs.shown.size(), 1);
    QCOMPARE(live.dialogs.shown.first().text, QStringLiteral("读串口数据错误"));
    // A freeze would be the link's 12 s of waiting at once; a busy machine
    // delays a tick by far less.
    QVERIFY2(longestPauseMs < 3000, qPrintable(QString::number(longestPauseMs)));

    // The run's start, one line for every second of the run up to the loss,
    // and the loss with where the run stood.
    const QStringList records = recordEntries(live.dir.path());
    QCOMPARE(records.size(), 1);
    const QString saved = QString::fromLocal8Bit(
        fileBytes(live.dir.path() + QStringLiteral("/Record/") + records[0]));
    const QStringList lines = measurementLines(saved);
    QCOMPARE(lines.size(), 1 + runDisplayTicks + 1);
    QVERIFY(lines.first().contains(QStringLiteral("run started")));
    QCOMPARE(lines.mid(0, beforeHangUp.size()), beforeHangUp);
    QVERIFY2(lines.last().contains(QStringLiteral("/ link lost in pass ")),
             qPrintable(lines.last()));
}

void FaultsEndToEndTest::overCurrentInARunSwitchesOffWithinATick() {
    LiveWindow live;
    // The second row asks 12 V of the 10 ohm load with a 0.5 A limit.
    QVERIFY(writeStepFile(live.dir.path(), {{5, 1, 2}, {12, 0.5, 10}}));
    const QString logPath = live.dir.path() + QStringLiteral("/frames.log");
    Simulator sim(live.dir.path(), {QStringLiteral("--frame-log"), logPath});
    QVERIFY(sim.waitUntilLinked());
    MainWindow& w = live.start();

    // The tick that read the trip, and the frame of the tick after it.
    qint64 sawTripMs = 0;
    qint64 nextTickMs = 0;
    QString nextTickFrame;
    QObject context;
    connect(w.session().findChild<QTimer*>(QStringLiteral("pollTimer")), &QTimer::timeout, &context,
            [&] {
                if (sawTripMs != 0 && nextTickMs == 0) {
                    nextTickMs = monotonicMs();
                    nextTickFrame = w.session().state.frameText;
                } else if (sawTripMs == 0 && w.session().state.overCurrent) {
                    sawTripMs = monotonicMs();
                }
            });
    QVERIFY(waitFor([&] { return w.session().state.linkUp; }, 8000));
    w.overCurrentModeList->setCurrentIndex(1);
    w.overCurrentModeChosen();
    chooseRunCount(w, QStringLiteral("x"));
    w.runButtonClicked();
    QVERIFY(w.session().running());

    QVERIFY(waitFor([&] { return !w.session().running(); }, 10000));
    QVERIFY(sawTripMs != 0);
    // Long enough for a second trip or record, were there one.
    runFor(1500);

    QCOMPARE(w.runButton->text(), QStringLiteral("开始"));
    QVERIFY(!w.session().outputOn());
    QVERIFY(w.outputButton->isEnabled());
    const QStringList records = recordEntries(live.dir.path());
    QCOMPARE(records.size(), 1);
    const QString record = QString::fromLocal8Bit(
        fileBytes(live.dir.path() + QStringLiteral("/Record/") + records[0]));
    QVERIFY(measurementLines(record).filter(QStringLiteral("05.00V          0.500A")).size() >= 1);
    QCOMPARE(live.dialogs.shown.size(), 1);
    QVERIFY(live.dialogs.shown.first().text.contains(QStringLiteral("over-current")));

    // On the wire: the row that trips went out in shut-down mode; the very
    // next tick switched the output off, and from then on the supply was
    // only ever told "off".
    const QList<LoggedFrame> frames = framesIn(logPath);
    QVERIFY(framesEqualTo(frames, QStringLiteral("VKPPSU1200C0500O")) >= 1);
    QVERIFY2(nextTickFrame.endsWith(QLatin1Char('N')), qPrintable(nextTickFrame));
    const auto firstOff = std::find_if(frames.begin(), frames.end(), [&](const LoggedFrame& f) {
        return f.ms >= sawTripMs && f.frame.endsWith(QLatin1Char('N'));
    });
    QVERIFY(firstOff != frames.end());
    qInfo("output off on the wire %lld ms after the tick that read the trip, %lld ms after the "
          "next tick",
          firstOff->ms - sawTripMs, firstOff->ms - nextTickMs);
    for (auto later = firstOff; later != frames.end(); ++later) {
        QVERIFY2(later->frame.endsWith(QLatin1Char('N')), qPrintable(later->frame));
    }
}

QTEST_MAIN(FaultsEndToEndTest)
#include "test_faults_end_to_end.moc"
