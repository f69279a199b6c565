#include "live_window.h"
#include "waiting.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QtTest>

class LinkEndToEndTest : public QObject {
    Q_OBJECT
private slots:
    void linkComesUpAndShowsTheSimulatorsDigits();
    void silentSupplyIsDeclaredLostAndSearchedAgain();
    void hangUpCostsNoCpuAndThePortIsFoundAgain();
};

void LinkEndToEndTest::linkComesUpAndShowsTheSimulatorsDigits() {
    LiveWindow live;
    Simulator sim(live.dir.path(), {});
    QVERIFY(sim.waitUntilLinked());
    MainWindow& w = live.start();
    QVERIFY(waitFor([&] { return w.session().state.linkUp; }, 8000));
    QCOMPARE(w.session().state.portNumber, qint16(Simulator::kPort));

    // 12 V with a 2 A limit into the simulator's 10 ohm: 12.00 V, 1.200 A.
    w.voltageStepList->setCurrentIndex(12);
    w.voltageStepChosen();
    w.currentEntry->setText(QStringLiteral("2A"));
    w.outputButtonClicked();
    QVERIFY(w.session().outputOn());
    QVERIFY(waitFor(
        [&] {
            return w.session().state.voltageDigits == QStringLiteral("1200") &&
                   w.session().state.currentDigits == QStringLiteral("1200");
        },
        8000));
    QVERIFY(waitFor([&] { return w.voltageReadout->text() == QStringLiteral("12.00V"); }, 3000));
    QCOMPARE(w.voltageReadout->text(), QStringLiteral("12.00V"));
    w.outputButtonClicked();
    QVERIFY(!w.session().outputOn());
    QVERIFY(waitFor([&] { return recordEntries(live.dir.path()).size() == 1; }, 15000));
    QVERIFY(
        waitFor([&] { return w.session().state.currentDigits == QStringLiteral("0000"); }, 8000));
    QVERIFY(live.dialogs.shown.isEmpty());
}

void LinkEndToEndTest::silentSupplyIsDeclaredLostAndSearchedAgain() {
    LiveWindow live;
    Simulator sim(live.dir.path(), {QStringLiteral("--silent")});
    QVERIFY(sim.waitUntilLinked());
    MainWindow& w = live.start();
    QVERIFY(waitFor([&] { return w.session().state.portOpened; }, 3000));
    QVERIFY(
        waitFor([&] { return live.linesContaining(QStringLiteral("COM3无应答")) == 1; }, 30000));
    QVERIFY(!w.session().state.linkUp);
    // Searched again: the only usable port is opened anew once its mark is
    // forgotten.
    QVERIFY(waitFor([&] { return live.linesContaining(QStringLiteral("COM：   3已打开")) == 2; },
                    3000));
}

void LinkEndToEndTest::hangUpCostsNoCpuAndThePortIsFoundAgain() {
    LiveWindow live;
    auto first = std::make_unique<Simulator>(live.dir.path(), QStringList{"--hangup-after", "3"});
    QVERIFY(first->waitUntilLinked());
    MainWindow& w = live.start();
    QVERIFY(waitFor([&] { return w.session().state.linkUp; }, 8000));
    QVERIFY(first->waitForExit(8000));

    const double cpuBefore = processCpuSeconds();
    runFor(3000);
    const double cpuUsed = processCpuSeconds() - cpuBefore;
    qInfo("CPU over 3 s after the hang-up: %.3f s", cpuUsed);
    QVERIFY2(cpuUsed < 0.6, qPrintable(QString::number(cpuUsed)));
    QCOMPARE(live.dialogs.shown.size(), 1);
    QCOMPARE(live.dialogs.shown.first().text, QStringLiteral("读串口数据错误"));

    // A supply back at the path the program supervised is taken up there
    // again: the port is opened anew without waiting for a declared loss.
    Simulator second(live.dir.path(), {});
    QVERIFY(second.waitUntilLinked());
    w.session().state.voltageDigits.clear();
    QVERIFY(
        waitFor([&] { return w.session().state.voltageDigits == QStringLiteral("0000"); }, 8000));
    QVERIFY(w.session().state.linkUp);
    QCOMPARE(live.linesContaining(QStringLiteral("COM3无应答")), 0);
}

QTEST_MAIN(LinkEndToEndTest)
#include "test_link_end_to_end.moc"
