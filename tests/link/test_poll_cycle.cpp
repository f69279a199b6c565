#include "fakes.h"
#include "window/diagnostic_pane.h"

#include <QLabel>
#include <QRandomGenerator>
#include <QtTest>

namespace {

const QByteArray kReply("VKPPSU1199A0498W");

// Ticks until the next read has happened (a read tick with a port open).
void tickThroughRead(MainWindow& w) {
    for (int i = 0; i < 10; ++i) {
        w.session().pollTick();
        if (w.session().state.readDivider == 0 && !w.session().state.readTick) {
            return;
        }
    }
    QFAIL("no read happened within ten ticks");
}

} // namespace

class PollCycleTest : public QObject {
    Q_OBJECT
private slots:
    void senderWalksTheFrameOneCharacterPerTick();
    void newFrameGoesOutWholeAfterTheFrameOnTheLine_data();
    void newFrameGoesOutWholeAfterTheFrameOnTheLine();
    void senderNeverWritesWithoutPortOrFrame();
    void firstReadComesInTheTenthTickAfterOpening();
    void silentPortIsDeclaredLostAtTheTwelfthRead();
    void textWithoutTagTimesOut();
    void lossTakesTheLinkDownOnEveryPort_data();
    void lossTakesTheLinkDownOnEveryPort();
    void unusableRepliesCountTowardsALoss_data();
    void unusableRepliesCountTowardsALoss();
    void openingAPortStartsItsCountsAfresh();
    void validBlockInTheReadThatDeclaresTheLoss();
    void failedReadIsReportedOnceAndCountsAsEmpty();
    void readOfOnlyFfBytes();
    void failureInsideATickIsReportedAndTheTickGoesOn();
    void readThatAlwaysFaultsEndsInALoss();
    void failureInTheTickThatTriedToOpenAPortPassesSilently();
    void hostileInputIsSurvivedWithBoundedMemory();
};

void PollCycleTest::senderWalksTheFrameOneCharacterPerTick() {
    WindowOnFakes f;
    f.port.usablePorts = {3};
    MainWindow& w = f.build();
    w.session().pollTick();
    QCOMPARE(f.port.openPort, 3);
    QCOMPARE(w.session().state.frameText, QStringLiteral("VKPPSU0000H0000N"));
    QCOMPARE(w.session().state.sendPosition, qint16(0));
    for (int i = 0; i < 18; ++i) {
        w.session().sendTick();
    }
    QCOMPARE(f.port.written, QByteArray("VKPPSU0000H0000NVK"));
    QCOMPARE(w.session().state.sendPosition, qint16(2));
}

void PollCycleTest::newFrameGoesOutWholeAfterTheFrameOnTheLine_data() {
    QTest::addColumn<QList<int>>("changeAfter");
    QTest::addColumn<QByteArrayList>("frames");
    QTest::addColumn<QByteArray>("line");
    const QByteArray a("VKPPSU0000H0000N");
    const QByteArray b("VKPPSU2000H0300N");
    const QByteArray c("VKPPSU0300H1200N");
    const QByteArray d("VKPPSU3100H5100C");
    for (int sent = 1; sent <= 16; ++sent) {
        QTest::addRow("change after %d characters", sent)
            << QList<int>{sent} << QByteArrayList{b} << a + b + b;
    }
    QTest::newRow("change before the first character")
        << QList<int>{0} << QByteArrayList{b} << b + b + b;
    QTest::newRow("three changes within one frame")
        << QList<int>{3, 9, 15} << QByteArrayList{b, c, d} << a + d + d;
    QTest::newRow("changes in two frames")
        << QList<int>{15, 20} << QByteArrayList{b, c} << a + b + c;
}

// Whatever character the frame under way has reached, the supply gets it
// whole and then the newest frame from its first character: never the head
// of one frame with the tail of another.
void PollCycleTest::newFrameGoesOutWholeAfterTheFrameOnTheLine() {
    QFETCH(QList<int>, changeAfter);
    QFETCH(QByteArrayList, frames);
    QFETCH(QByteArray, line);
    WindowOnFakes f;
    f.port.usablePorts = {3};
    MainWindow& w = f.build();
    w.session().pollTick();
    for (int sent = 0; sent < line.size(); ++sent) {
        for (qsizetype change = 0; change < changeAfter.size(); ++change) {
            if (changeAfter[change] == sent) {
                w.session().state.frameText = QString::fromLatin1(frames[change]);
            }
        }
        w.session().sendTick();
    }
    QCOMPARE(f.port.written, line);
}

void PollCycleTest::senderNeverWritesWithoutPortOrFrame() {
    WindowOnFakes f;
    MainWindow& w = f.build();
    QVERIFY(f.port.usablePorts.isEmpty());
    w.session().pollTick();
    for (int i = 0; i < 20; ++i) {
        w.session().sendTick();
    }
    QCOMPARE(w.session().state.sendPosition, qint16(4));
    QVERIFY(f.port.written.isEmpty());

    WindowOnFakes empty;
    empty.port.usablePorts = {2};
    MainWindow& e = empty.build();
    QVERIFY(empty.port.open(2));
    QVERIFY(e.session().state.frameText.isEmpty());
    for (int i = 0; i < 40; ++i) {
        e.session().sendTick();
    }
    QVERIFY(empty.port.written.isEmpty());
}

void PollCycleTest::firstReadComesInTheTenthTickAfterOpening() {
    WindowOnFakes f;
    f.port.usablePorts = {3};
    MainWindow& w = f.build();
    f.port.queueRead(kReply);
    w.session().pollTick();
    QCOMPARE(w.diagnosticPane->lines().last(), QStringLiteral("COM：   3已打开"));
    QVERIFY(w.session().state.portOpened);
    QCOMPARE(w.session().state.portNumber, qint16(3));
    ticks(w, 8);
    QCOMPARE(f.port.reads.size(), std::size_t(1));
    QVERIFY(!w.session().state.linkUp);
    w.session().pollTick();
    QVERIFY(f.port.reads.empty());
    QVERIFY(w.session().state.linkUp);
    QCOMPARE(w.session().state.voltageDigits, QStringLiteral("1199"));
    QCOMPARE(w.session().state.currentDigits, QStringLiteral("0498"));
    QCOMPARE(w.session().state.overCurrent, false);
    const QStringList lines = w.diagnosticPane->lines();
    QVERIFY(lines.contains(QString::fromLatin1(kReply)));
}

void PollCycleTest::silentPortIsDeclaredLostAtTheTwelfthRead() {
    WindowOnFakes f;
    f.port.usablePorts = {3};
    MainWindow& w = f.build();
    w.session().pollTick();
    w.session().state.voltageDigits = QStringLiteral("1234");
    for (int read = 1; read <= 11; ++read) {
        tickThroughRead(w);
        QVERIFY(w.session().state.portOpened);
    }
    QCOMPARE(w.session().state.emptyReadCount, qint16(11));
    w.clearDiagnostics();
    tickThroughRead(w);
    QVERIFY(!w.session().state.portOpened);
    QCOMPARE(w.diagnosticPane->lines().mid(0, 2),
             (QStringList{QStringLiteral("COM3无应答"), QStringLiteral("数据为空")}));
    QVERIFY(w.session().state.portFailed[3]);
    QCOMPARE(w.session().state.voltageDigits, QStringLiteral("0000"));
    QCOMPARE(w.session().state.currentDigits, QStringLiteral("0000"));
    QCOMPARE(w.session().state.emptyReadCount, qint16(12));
    QVERIFY(f.port.isOpen());

    // The next search closes it and passes port 3 over; with nothing else
    // usable the marks are then forgotten, and the search after opens 3 again.
    w.clearDiagnostics();
    w.session().pollTick();
    QVERIFY(!w.session().state.portOpened);
    QVERIFY(!f.port.isOpen());
    QCOMPARE(w.diagnosticPane->lines().last(),
             QStringLiteral("您计算机上总共有：   1个COM端口可用"));
    QVERIFY(!w.session().state.portFailed[3]);
    w.session().pollTick();
    QVERIFY(w.session().state.portOpened);
    QCOMPARE(w.session().state.portNumber, qint16(3));
    QCOMPARE(w.session().state.emptyReadCount, qint16(0));
}

void PollCycleTest::textWithoutTagTimesOut() {
    WindowOnFakes f;
    f.port.usablePorts = {3, 5};
    MainWindow& w = f.build();
    w.session().pollTick();
    QCOMPARE(w.session().state.portNumber, qint16(5));
    for (int read = 1; read <= 12; ++read) {
        f.port.queueRead("1199A0498W");
        w.clearDiagnostics();
        tickThroughRead(w);
        QVERIFY(w.diagnosticPane->lines().contains(QStringLiteral("数据错误")));
        QVERIFY(w.diagnosticPane->lines().contains(QStringLiteral("1199A0498W")));
    }
    QVERIFY(!w.session().state.portOpened);
    QVERIFY(w.diagnosticPane->lines().contains(QStringLiteral("COM5超时")));
    QVERIFY(!w.diagnosticPane->lines().contains(QStringLiteral("COM5无应答")));
    QVERIFY(w.session().state.portFailed[5]);
    // Failover to the next lower port that is not marked.
    w.session().pollTick();
    QCOMPARE(w.session().state.portNumber, qint16(3));
    QVERIFY(w.session().state.portFailed[5]);
}

void PollCycleTest::lossTakesTheLinkDownOnEveryPort_data() {
    QTest::addColumn<int>("port");
    QTest::newRow("port 1") << 1;
    QTest::newRow("USB adapter on port 16") << 16;
}

void PollCycleTest::lossTakesTheLinkDownOnEveryPort() {
    QFETCH(int, port);
    WindowOnFakes f;
    f.port.usablePorts = {port};
    MainWindow& w = f.build();
    w.session().state.portFailed[7] = true;
    f.port.queueRead(kReply);
    w.session().pollTick();
    QCOMPARE(w.session().state.portNumber, qint16(port));
    tickThroughRead(w);
    QVERIFY(w.session().state.linkUp);
    for (int read = 2; read <= 13; ++read) {
        tickThroughRead(w);
    }
    QVERIFY(!w.session().state.portOpened);
    QVERIFY(w.diagnosticPane->lines().contains(QStringLiteral("COM%1无应答").arg(port)));
    QVERIFY(!w.session().state.linkUp);
    // A loss on port 1 forgets every mark; a loss elsewhere marks that port.
    QCOMPARE(w.session().state.portFailed[7], port != 1);
    QCOMPARE(w.session().state.portFailed[port], port != 1);

    // Until a reply is accepted again the operator sees the wait, and the
    // output and a run stay off.
    ticks(w, 10);
    QVERIFY(w.statusPanels[0]->text().startsWith(QStringLiteral("通讯状态:等待... ")));
    w.outputButtonClicked();
    w.runButtonClicked();
    w.session().pollTick();
    QVERIFY(!w.session().outputOn());
    QVERIFY(!w.session().running());
    QVERIFY(w.session().state.frameText.endsWith(QLatin1Char('N')));

    f.port.replyWhenIdle = kReply;
    for (int tick = 0; tick < 40 && !w.session().state.linkUp; ++tick) {
        w.session().pollTick();
    }
    QVERIFY(w.session().state.linkUp);
    w.outputButtonClicked();
    QVERIFY(w.session().outputOn());
}

void PollCycleTest::unusableRepliesCountTowardsALoss_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("dataErrorLine");
    QTest::newRow("no tag") << QByteArray("1199A0498W") << true;
    QTest::newRow("too short") << QByteArray("VKPPSU1199") << false;
    QTest::newRow("no valid block") << QByteArray("VKPPSU1199X0498WVKPPSU") << false;
}

void PollCycleTest::unusableRepliesCountTowardsALoss() {
    QFETCH(QByteArray, reply);
    QFETCH(bool, dataErrorLine);
    WindowOnFakes f;
    f.port.usablePorts = {3};
    MainWindow& w = f.build();
    w.session().pollTick();
    for (int read = 1; read <= 12; ++read) {
        f.port.queueRead(reply);
        w.clearDiagnostics();
        tickThroughRead(w);
        QCOMPARE(w.diagnosticPane->lines().contains(QStringLiteral("数据错误")), dataErrorLine);
        QCOMPARE(w.session().state.badReplyCount, qint16(read));
    }
    QVERIFY(!w.session().state.portOpened);
    QVERIFY(w.diagnosticPane->lines().contains(QStringLiteral("COM3超时")));

    // An accepted block is printed on its own line after what came.
    f.port.queueRead(QByteArray("xy") + kReply);
    for (int tick = 0; tick < 40 && !w.session().state.linkUp; ++tick) {
        w.session().pollTick();
    }
    const QStringList lines = w.diagnosticPane->lines();
    const qsizetype received = lines.indexOf(QStringLiteral("xy") + QString::fromLatin1(kReply));
    QVERIFY(received >= 0);
    QCOMPARE(lines.value(received + 1), QString::fromLatin1(kReply));
}

void PollCycleTest::openingAPortStartsItsCountsAfresh() {
    WindowOnFakes f;
    MainWindow& w = f.build();
    w.session().pollTick();
    w.session().state.emptyReadCount = 9;
    w.session().state.badReplyCount = 10;
    w.session().state.readTick = true;
    w.session().state.readDivider = 5;
    f.port.usablePorts = {3};
    w.session().pollTick();
    QVERIFY(w.session().state.portOpened);
    QCOMPARE(w.session().state.emptyReadCount, qint16(0));
    QCOMPARE(w.session().state.badReplyCount, qint16(0));
    QCOMPARE(w.session().state.readDivider, qint16(1));
    QVERIFY(!w.session().state.readTick);
}

void PollCycleTest::validBlockInTheReadThatDeclaresTheLoss() {
    WindowOnFakes f;
    f.port.usablePorts = {3};
    MainWindow& w = f.build();
    w.session().pollTick();
    for (int read = 1; read <= 11; ++read) {
        tickThroughRead(w);
    }
    f.port.queueRead(QByteArray("xy") + kReply);
    tickThroughRead(w);
    QVERIFY(!w.session().state.portOpened);
    QVERIFY(w.session().state.linkUp);
    QCOMPARE(w.session().state.voltageDigits, QStringLiteral("1199"));
    QCOMPARE(w.session().state.emptyReadCount, qint16(0));
    QCOMPARE(w.session().state.badReplyCount, qint16(0));
    const int opensBefore = f.port.openAttempts.size();
    w.session().pollTick();
    QVERIFY(f.port.openAttempts.size() > opensBefore);
}

void PollCycleTest::failedReadIsReportedOnceAndCountsAsEmpty() {
    WindowOnFakes f;
    f.port.usablePorts = {3};
    MainWindow& w = f.build();
    w.session().pollTick();
    f.port.queueFailedRead();
    tickThroughRead(w);
    QCOMPARE(f.dialogs.shown.size(), 1);
    QCOMPARE(f.dialogs.shown.first().text, QStringLiteral("读串口数据错误"));
    QVERIFY(f.dialogs.shown.first().title.isEmpty());
    QCOMPARE(w.session().state.emptyReadCount, qint16(1));
    tickThroughRead(w);
    QCOMPARE(f.dialogs.shown.size(), 1);
    QCOMPARE(w.session().state.emptyReadCount, qint16(2));
}

void PollCycleTest::readOfOnlyFfBytes() {
    WindowOnFakes f;
    f.port.usablePorts = {3};
    MainWindow& w = f.build();
    w.session().pollTick();
    tickThroughRead(w);
    QCOMPARE(w.session().state.emptyReadCount, qint16(1));
    f.port.queueRead(QByteArray(5, '\xFF'));
    w.clearDiagnostics();
    tickThroughRead(w);
    QCOMPARE(w.session().state.emptyReadCount, qint16(0));
    QCOMPARE(w.session().state.badReplyCount, qint16(1));
    QCOMPARE(w.diagnosticPane->lines().mid(0, 2),
             (QStringList{QString(), QStringLiteral("数据错误")}));
}

void PollCycleTest::failureInsideATickIsReportedAndTheTickGoesOn() {
    WindowOnFakes f;
    f.port.usablePorts = {3};
    MainWindow& w = f.build();
    w.session().pollTick();
    ticks(w, 8);
    f.port.throwOnRead = true;
    w.session().pollTick();
    QCOMPARE(f.dialogs.shown.size(), 1);
    QCOMPARE(f.dialogs.shown.first().text, QStringLiteral("读串口数据错误"));
    // The display section of the same tick still ran.
    QCOMPARE(w.session().state.displayTick, false);
    QCOMPARE(w.diagnosticPane->lines().last(), w.session().state.frameText + QLatin1Char('F'));
}

void PollCycleTest::readThatAlwaysFaultsEndsInALoss() {
    WindowOnFakes f;
    f.port.usablePorts = {3};
    MainWindow& w = f.build();
    w.session().pollTick();
    f.port.throwOnRead = true;
    for (int read = 1; read <= 11; ++read) {
        tickThroughRead(w);
        QCOMPARE(w.session().state.emptyReadCount, qint16(read));
    }
    tickThroughRead(w);
    QVERIFY(!w.session().state.portOpened);
    QVERIFY(w.diagnosticPane->lines().contains(QStringLiteral("COM3无应答")));
    QCOMPARE(f.dialogs.shown.size(), 12);
}

void PollCycleTest::failureInTheTickThatTriedToOpenAPortPassesSilently() {
    WindowOnFakes f;
    MainWindow& w = f.build();
    // Output on, so the display section reads the clock for its log line.
    switchOn(w);
    f.clock.throwOnNow = true;
    ticks(w, 9);
    QVERIFY(f.dialogs.shown.isEmpty());
    // The tenth tick is a display tick, and its search has no port to try.
    w.session().pollTick();
    QCOMPARE(f.dialogs.shown.size(), 1);

    WindowOnFakes g;
    g.port.usablePorts = {3};
    MainWindow& v = g.build();
    switchOn(v);
    v.session().state.linkUp = false;
    v.session().state.displayDivider = 9;
    g.clock.throwOnNow = true;
    v.session().pollTick();
    QVERIFY(v.session().state.portOpened);
    QVERIFY(g.dialogs.shown.isEmpty());
    // The display section went on past the failing step.
    QCOMPARE(v.session().state.displayTick, false);
}

void PollCycleTest::hostileInputIsSurvivedWithBoundedMemory() {
    WindowOnFakes f;
    f.port.usablePorts = {3};
    MainWindow& w = f.build();
    w.session().pollTick();
    QRandomGenerator random(7);
    QByteArray flood(4 * 1024 * 1024, '\0');
    random.fillRange(reinterpret_cast<quint32*>(flood.data()), flood.size() / 4);
    f.port.queueRead(flood);
    f.port.queueRead(QByteArray(100000, '\0') + kReply + QByteArray("VKPPSU11"));
    f.port.queueRead(QByteArray("VKPPSU") + QByteArray(3 * 1024 * 1024, '\xFF') + "1198A0497B");
    for (int read = 0; read < 3; ++read) {
        tickThroughRead(w);
    }
    QCOMPARE(w.session().state.voltageDigits, QStringLiteral("1198"));
    QVERIFY(w.session().state.overCurrent);
    for (int i = 0; i < 3000; ++i) {
        w.session().pollTick();
    }
    QVERIFY(w.diagnosticPane->lines().size() <= DiagnosticPane::kMaxLines);
    for (const QString& line : w.diagnosticPane->lines()) {
        QVERIFY(line.size() <= DiagnosticPane::kMaxLineLength);
    }
}

QTEST_MAIN(PollCycleTest)
#include "test_poll_cycle.moc"
