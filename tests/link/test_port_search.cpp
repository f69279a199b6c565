#include "fakes.h"
#include "link/open_failure_notice.h"
#include "window/diagnostic_pane.h"

#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QtTest>

namespace {

QString available(int port) {
    return QStringLiteral("COM：   %1可用").arg(port);
}
QString opened(int port) {
    return QStringLiteral("COM：   %1已打开").arg(port);
}
QString total(int count) {
    return QStringLiteral("您计算机上总共有：   %1个COM端口可用").arg(count);
}

} // namespace

class PortSearchTest : public QObject {
    Q_OBJECT
private slots:
    void searches_data();
    void searches();
    void noUsablePortSearchesEveryTick();
    void probeResetsAvailabilityAndTheOpenedPortsCounts();
    void devicesTheOperatorCanMendAreExplainedOnce();
    void mendableDevicesAreExplainedOnlyWhileNoSupplyAnswers();
    void operatorSeesThePortsAndTheLink();
    void portsNamedByTheirOwnNamesAreNamedOnce();
};

void PortSearchTest::searches_data() {
    QTest::addColumn<QList<int>>("usable");
    QTest::addColumn<QList<int>>("failed");
    QTest::addColumn<QList<int>>("takenAfterProbe");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<int>("chosen");
    QTest::newRow("1 and 3") << QList<int>{1, 3} << QList<int>{} << QList<int>{}
                             << QStringList{available(1), available(3), total(2), opened(3)} << 3;
    QTest::newRow("3 and 4") << QList<int>{3, 4} << QList<int>{} << QList<int>{}
                             << QStringList{available(3), available(4), total(2), opened(4)} << 4;
    QTest::newRow("3 failed") << QList<int>{1, 3} << QList<int>{3} << QList<int>{}
                              << QStringList{available(1), available(3), total(2), opened(1)} << 1;
    QTest::newRow("16 taken meanwhile")
        << QList<int>{2, 9, 16} << QList<int>{} << QList<int>{16}
        << QStringList{available(2), available(9), available(16), total(3), opened(9)} << 9;
    QTest::newRow("all usable failed: marks cleared, nothing opened")
        << QList<int>{3} << QList<int>{3} << QList<int>{} << QStringList{available(3), total(1)}
        << 0;
}

void PortSearchTest::searches() {
    QFETCH(QList<int>, usable);
    QFETCH(QList<int>, failed);
    QFETCH(QList<int>, takenAfterProbe);
    QFETCH(QStringList, lines);
    QFETCH(int, chosen);
    WindowOnFakes f;
    f.port.usablePorts = QSet<int>(usable.begin(), usable.end());
    f.port.takenAfterProbe = QSet<int>(takenAfterProbe.begin(), takenAfterProbe.end());
    MainWindow& w = f.build();
    for (int port : failed) {
        w.session().state.portFailed[port] = true;
    }
    w.session().state.readDivider = 5;
    w.session().state.emptyReadCount = 7;
    w.session().pollTick();
    QCOMPARE(w.diagnosticPane->lines(), lines);
    QCOMPARE(w.session().state.availableCount, qint16(usable.size()));
    QCOMPARE(f.port.openPort, chosen);
    QCOMPARE(w.session().state.portOpened, chosen != 0);
    if (chosen != 0) {
        QCOMPARE(w.session().state.portNumber, qint16(chosen));
        QCOMPARE(w.session().state.emptyReadCount, qint16(0));
        // Reset on opening, then advanced once by the same tick.
        QCOMPARE(w.session().state.readDivider, qint16(1));
        for (int port : failed) {
            QVERIFY(w.session().state.portFailed[port]);
        }
    } else {
        for (int port = 1; port <= 16; ++port) {
            QVERIFY(!w.session().state.portFailed[port]);
        }
    }
}

void PortSearchTest::noUsablePortSearchesEveryTick() {
    WindowOnFakes f;
    MainWindow& w = f.build();
    for (int tick = 1; tick <= 3; ++tick) {
        w.session().pollTick();
        QCOMPARE(w.diagnosticPane->lines().size(), tick);
        QCOMPARE(w.diagnosticPane->lines().last(), total(0));
    }
    QCOMPARE(f.port.openAttempts.size(), 3 * 16);
    QVERIFY(!w.session().state.portOpened);
}

void PortSearchTest::probeResetsAvailabilityAndTheOpenedPortsCounts() {
    WindowOnFakes f;
    f.port.usablePorts = {4, 12};
    MainWindow& w = f.build();
    w.session().state.portAvailable[7] = true;
    QCOMPARE(w.session().probePorts(), 2);
    QVERIFY(w.session().state.portAvailable[4] && w.session().state.portAvailable[12]);
    QVERIFY(!f.port.isOpen());
    QCOMPARE(f.port.closeCount, 2);

    w.session().pollTick();
    QCOMPARE(f.port.openPort, 12);
    QVERIFY(!w.session().state.portAvailable[7]);
    // A search while a port is still open closes it first.
    w.session().state.portOpened = false;
    w.session().pollTick();
    QCOMPARE(f.port.openPort, 12);
    QCOMPARE(f.port.closeCount, 2 + 2 + 1 + 2);
}

void PortSearchTest::devicesTheOperatorCanMendAreExplainedOnce() {
    using Reason = OpenFailure::Reason;
    WindowOnFakes f;
    // Ports 11 and 16 reach the same adapter (16 through a link in ports/).
    f.port.failures = {{2, {Reason::Missing, QStringLiteral("/dev/ttyS1"), {}}},
                       {3, {Reason::Other, QStringLiteral("/dev/ttyS2"), {}}},
                       {5, {Reason::InUse, QStringLiteral("/dev/ttyACM0"), {}}},
                       {9, {Reason::NoPermission, QStringLiteral("/dev/ttyACM4"), "root"}},
                       {11, {Reason::NoPermission, QStringLiteral("/dev/ttyUSB0"), "dialout"}},
                       {16, {Reason::NoPermission, QStringLiteral("/dev/ttyUSB0"), "dialout"}}};
    MainWindow& w = f.build();
    ticks(w, 5);

    QCOMPARE(f.dialogs.shown.size(), 3);
    QStringList texts;
    for (const ShownMessage& shown : f.dialogs.shown) {
        QCOMPARE(shown.title, QStringLiteral("Velkor"));
        texts << shown.text;
    }
    const QString busy = texts.filter(QStringLiteral("/dev/ttyACM0")).value(0);
    QVERIFY2(busy.contains(QStringLiteral("另一个程序")) && busy.contains("another program"),
             qPrintable(busy));
    const QString root = texts.filter(QStringLiteral("/dev/ttyACM4")).value(0);
    QVERIFY2(root.contains("administrator") && !root.contains("usermod"), qPrintable(root));
    const QString usb = texts.filter(QStringLiteral("/dev/ttyUSB0")).value(0);
    for (const char* part : {"无权", "用户组 dialout", "重新登录", "No permission", "group",
                             "usermod -aG dialout", "log in again"}) {
        QVERIFY2(usb.contains(QString::fromUtf8(part)), part);
    }
    QCOMPARE(w.diagnosticPane->lines().last(), total(0));

    // Access granted while the program runs: the next search takes the port,
    // and nothing more is said.
    f.port.failures.remove(11);
    f.port.usablePorts = {11};
    w.session().pollTick();
    QCOMPARE(f.port.openPort, 11);
    QCOMPARE(f.dialogs.shown.size(), 3);
}

// Two supplies on one PC: the other program's device is busy by right. A
// device is explained only when no supply answers, and its notice closes as
// soon as one does.
void PortSearchTest::mendableDevicesAreExplainedOnlyWhileNoSupplyAnswers() {
    using Reason = OpenFailure::Reason;
    const QByteArray reply = "VKPPSU0500A0100W";
    const OpenFailure inUse{Reason::InUse, QStringLiteral("/dev/ttyUSB1"), {}};
    const OpenFailure noPermission{Reason::NoPermission, QStringLiteral("/dev/ttyS4"), "dialout"};
    const auto noticeOf = [](const OpenFailure& failure) {
        return openFailureNotice(failure)->text;
    };
    const auto texts = [](const QList<ShownMessage>& messages) {
        QStringList list;
        for (const ShownMessage& message : messages) {
            list << message.text;
        }
        return list;
    };

    // Its own supply on port 15 answers: nothing to mend.
    {
        WindowOnFakes f;
        f.port.failures = {{16, inUse}, {4, noPermission}};
        f.port.usablePorts = {15};
        f.port.replyWhenIdle = reply;
        MainWindow& w = f.build();
        ticks(w, 40);
        QVERIFY(w.session().state.linkUp);
        QCOMPARE(f.port.openPort, 15);
        QVERIFY(f.dialogs.shown.isEmpty());
    }
    // A port opens but nothing answers on it: told when its link is lost.
    {
        WindowOnFakes f;
        f.port.failures = {{16, inUse}};
        f.port.usablePorts = {15};
        MainWindow& w = f.build();
        ticks(w, 5);
        QVERIFY(f.dialogs.shown.isEmpty());
        ticks(w, 200);
        QCOMPARE(texts(f.dialogs.shown), QStringList{noticeOf(inUse)});
    }
    // No supply at all: each device told once, then closed when a supply
    // comes and answers.
    {
        WindowOnFakes f;
        f.port.failures = {{16, inUse}, {4, noPermission}};
        MainWindow& w = f.build();
        ticks(w, 30);
        const QStringList told{noticeOf(noPermission), noticeOf(inUse)};
        QCOMPARE(texts(f.dialogs.shown), told);
        QVERIFY(f.dialogs.closedByProgram.isEmpty());

        f.port.usablePorts = {15};
        f.port.replyWhenIdle = reply;
        ticks(w, 15);
        QVERIFY(w.session().state.linkUp);
        QCOMPARE(texts(f.dialogs.closedByProgram), told);
        QCOMPARE(f.dialogs.closedByProgram.first().title, f.dialogs.shown.first().title);
        ticks(w, 15);
        QCOMPARE(f.dialogs.closedByProgram.size(), 2);
        QCOMPARE(f.dialogs.shown.size(), 2);
    }
}

// Where the program looks for the supply and what each port did: in the
// status bar, in the refusal of ON without a supply, at a loss and when the
// supply answers again.
void PortSearchTest::operatorSeesThePortsAndTheLink() {
    using Reason = OpenFailure::Reason;
    WindowOnFakes f;
    f.port.failures = {{16, {Reason::NoPermission, QStringLiteral("/dev/ttyUSB5"), "dialout"}},
                       {15, {Reason::InUse, QStringLiteral("/dev/ttyUSB4"), {}}}};
    f.port.usablePorts = {3, 4};
    f.port.replyWhenIdle = "VKPPSU0500A0100W";
    MainWindow& w = f.build();
    ticks(w, 20);
    QVERIFY(w.session().state.linkUp);
    QVERIFY(w.statusPanels[0]->text().endsWith(QStringLiteral("COM4 → /dev/fake4")));

    // Silent from now on: the loss is told, and the search listens to port 3.
    f.port.replyWhenIdle.clear();
    for (int tick = 0; tick < 200 && f.port.openPort != 3; ++tick) {
        w.session().pollTick();
    }
    QVERIFY(w.statusBar->currentMessage().contains(
        QStringLiteral("The supply on COM4 (/dev/fake4) stopped answering")));

    w.outputButton->click();
    QVERIFY(!w.session().outputOn());
    const QString refusal = w.statusBar->currentMessage();
    for (const char* part :
         {"COM16 /dev/fake16：无权打开", "COM16 /dev/fake16: no permission to open it",
          "COM15 /dev/fake15: in use by another program", "COM4 /dev/fake4：没有应答",
          "COM4 /dev/fake4: silent", "COM3 /dev/fake3: waiting for an answer",
          "The other 12 ports have no device."}) {
        QVERIFY2(refusal.contains(QString::fromUtf8(part)), part);
    }

    // The loss notice gives way to the supply's answer.
    f.port.replyWhenIdle = "VKPPSU0500A0100W";
    for (int tick = 0; tick < 20 && !w.session().state.linkUp; ++tick) {
        w.session().pollTick();
    }
    QVERIFY(w.statusBar->currentMessage().contains(
        QStringLiteral("The supply answers again on COM3 (/dev/fake3); the output is off.")));
}

// Where a port's device goes by the port's own name, as on Windows, the
// operator reads the name once wherever a port is named.
void PortSearchTest::portsNamedByTheirOwnNamesAreNamedOnce() {
    WindowOnFakes f;
    f.port.deviceNames = QStringLiteral("COM%1");
    f.port.failures = {{16, {OpenFailure::Reason::InUse, QStringLiteral("COM16"), {}}}};
    f.port.usablePorts = {3, 4};
    f.port.replyWhenIdle = "VKPPSU0500A0100W";
    MainWindow& w = f.build();
    ticks(w, 20);
    QVERIFY(w.session().state.linkUp);
    QVERIFY(w.statusPanels[0]->text().endsWith(QStringLiteral(" COM4")));
    QVERIFY(!w.statusPanels[0]->text().contains(QStringLiteral("→")));

    f.port.replyWhenIdle.clear();
    for (int tick = 0; tick < 200 && f.port.openPort != 3; ++tick) {
        w.session().pollTick();
    }
    QVERIFY(w.statusBar->currentMessage().contains(
        QStringLiteral("The supply on COM4 stopped answering")));

    w.outputButton->click();
    const QString refusal = w.statusBar->currentMessage();
    for (const char* part :
         {"COM16: in use by another program", "COM4: silent", "COM3: waiting for an answer"}) {
        QVERIFY2(refusal.contains(QString::fromUtf8(part)), part);
    }

    f.port.replyWhenIdle = "VKPPSU0500A0100W";
    for (int tick = 0; tick < 20 && !w.session().state.linkUp; ++tick) {
        w.session().pollTick();
    }
    QVERIFY(w.statusBar->currentMessage().contains(
        QStringLiteral("The supply answers again on COM3; the output is off.")));
}

QTEST_MAIN(PortSearchTest)
#include "test_port_search.moc"
