#include "fakes.h"
#include "remote/scpi_session.h"
#include "remote/session_instrument.h"
#include "step_table_file.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QtTest>

class SessionInstrumentTest : public QObject {
    Q_OBJECT
private slots:
    void scriptsGoTheControlsWayAndAreRefusedWithoutABox();
    void aRunsFirstRowIsInForceAtOnce();
};

// A script's settings go through the session's operations, as the controls' do; what
// the operator would have been told in a box comes back to the script, and the
// operator's own clicks still show their boxes.
void SessionInstrumentTest::scriptsGoTheControlsWayAndAreRefusedWithoutABox() {
    WindowOnFakes f;
    f.port.usablePorts = {3};
    f.port.replyWhenIdle = "VKPPSU1249A0498W";
    MainWindow& w = f.build();
    SessionInstrument instrument(w.session());
    ScpiSession session(instrument, "Velkor");
    // The reply without its line end; a line of commands only gets none.
    // While a line waits, the sender and the poll ticks run on the clock.
    const auto ask = [&](const char* line) {
        QByteArray reply = session.receive(QByteArray(line) + '\n');
        for (int tick = 1; session.waiting() && tick <= 2000; ++tick) {
            f.clock.time = f.clock.time.addMSecs(5);
            w.session().sendTick();
            if (tick % 20 == 0) {
                w.session().pollTick();
            }
            reply += session.resume();
        }
        return reply.endsWith('\n') ? reply.chopped(1) : reply;
    };
    const auto lastWholeFrame = [&f] {
        const qsizetype tag = f.port.written.lastIndexOf("VKPPSU", f.port.written.size() - 16);
        return f.port.written.mid(tag, 16);
    };

    // No supply answers: a switch-on waits 3 s for one, then is refused.
    const QByteArray reply = f.port.replyWhenIdle;
    f.port.replyWhenIdle.clear();
    QCOMPARE(ask("MEAS:VOLT?;*CLS"), QByteArray("9.91E37"));
    QCOMPARE(ask("OUTP ON;OUTP?;*OPC?"), QByteArray("0;1"));
    QVERIFY(ask("SYST:ERR?").startsWith("-221,\"Settings conflict;"));
    // A supply found while it waits is switched on.
    f.port.replyWhenIdle = reply;
    QCOMPARE(ask("OUTP ON;OUTP?"), QByteArray("1"));
    QVERIFY(w.session().state.linkUp);
    // *OPC? once a whole frame carrying the change went out.
    QCOMPARE(ask("VOLT 7.5;*OPC?"), QByteArray("1"));
    QVERIFY2(lastWholeFrame().contains("0750"), lastWholeFrame().constData());
    QCOMPARE(ask("OUTP OFF;*OPC?"), QByteArray("1"));
    QVERIFY2(lastWholeFrame().endsWith('N'), lastWholeFrame().constData());

    QCOMPARE(ask("VOLT 12.5;CURR 500 mA"), QByteArray());
    QCOMPARE(w.voltageEntry->text(), QStringLiteral("12.5V"));
    QCOMPARE(w.voltageSlider->value(), 1250);
    QCOMPARE(w.currentEntry->text(), QStringLiteral("0.5A"));
    QCOMPARE(w.session().state.currentSetpointMilliamps, qint16(500));

    // An entry the operator left unusable refuses the switch-on quietly.
    w.currentEntry->setText(QStringLiteral("x1A"));
    // A script reads the reason in English, whatever the window's language.
    QCOMPARE(ask("OUTP ON;OUTP?"), QByteArray("0"));
    QCOMPARE(ask("SYST:ERR?"), QByteArray("-221,\"Settings conflict;Enter a positive number of "
                                          "up to 4 digits, not above 5.1, such as 0.75A.\""));
    QCOMPARE(ask("PROG:STAT RUN;STAT?"), QByteArray("STOP"));
    QCOMPARE(ask("SYST:ERR?"), QByteArray("-221,\"Settings conflict;The step table is empty: "
                                          "enter voltage, current and time first.\""));
    QVERIFY(f.dialogs.shown.isEmpty());
    w.runButtonClicked();
    QCOMPARE(f.dialogs.shown.size(), 1);

    QCOMPARE(ask("CURR 0.5;OUTP ON;CURR:PROT:STAT ON"), QByteArray());
    QVERIFY(w.session().outputOn() && w.session().state.tripMode);
    QCOMPARE(w.outputButton->text(), QStringLiteral("关"));
    ticks(w, 10);
    QCOMPARE(ask("MEAS:VOLT?;CURR?;:CURR:PROT:TRIP?"), QByteArray("12.49;0.498;0"));
    // The reply is read in one tick and tripped on in the next.
    f.port.replyWhenIdle = "VKPPSU1249A0498B";
    ticks(w, 20);
    QVERIFY(!w.session().outputOn());
    QCOMPARE(recordEntries(f).size(), 2);
    QCOMPARE(ask("CURR:PROT:TRIP?"), QByteArray("1"));
    QCOMPARE(ask("OUTP:PROT:CLE;:CURR:PROT:TRIP?"), QByteArray("0"));

    // A supply gone quiet: its last reading is not passed off as live.
    f.port.replyWhenIdle.clear();
    ticks(w, 10);
    QCOMPARE(ask("FETC?"), QByteArray("12.49"));
    ticks(w, 10);
    QVERIFY(w.session().state.linkUp);
    QCOMPARE(ask("MEAS:VOLT?;:SYST:ERR?"), QByteArray("9.91E37;-230,\"Data corrupt or stale\""));

    // A script that falls silent with the output on: the watchdog stops it
    // as the OFF button would, and the operator reads why.
    f.port.replyWhenIdle = "VKPPSU1249A0498W";
    const auto waitMs = [&](int ms) {
        for (int waited = 0; waited < ms; waited += 100) {
            f.clock.time = f.clock.time.addMSecs(100);
            w.session().pollTick();
        }
    };
    waitMs(2000);
    QCOMPARE(ask("OUTP:PROT:WDOG ON;WDOG:DEL 2;:CURR:PROT OFF;:OUTP ON;OUTP?"), QByteArray("1"));
    waitMs(1500);
    w.session().heardFromScript();
    waitMs(1500);
    QVERIFY(w.session().outputOn());
    waitMs(600);
    QVERIFY(!w.session().outputOn());
    QCOMPARE(recordEntries(f).size(), 3);
    QVERIFY(w.statusBar->currentMessage().contains(QStringLiteral("I/O watchdog")));
    QCOMPARE(ask("OUTP:PROT:TRIP?;:CURR:PROT:TRIP?"), QByteArray("1;0"));
    QCOMPARE(ask("OUTP:PROT:CLE;TRIP?"), QByteArray("0"));
    // Silence with the output off does not count against the next switch-on.
    waitMs(5000);
    QCOMPARE(ask("OUTP ON;OUTP?"), QByteArray("1"));
    waitMs(1000);
    QVERIFY(w.session().outputOn());

    // A reset is a bench supply's: off, the lowest setpoints, every
    // protection in a known state; and the window shows it.
    QCOMPARE(ask("VOLT 12;CURR 1;CURR:PROT ON;:OUTP:PROT:WDOG ON;:PROG:COUN 5;:OUTP?"),
             QByteArray("1"));
    QCOMPARE(ask("*RST;:OUTP?;:CURR:PROT?;:OUTP:PROT:WDOG?;WDOG:DEL?;:PROG:COUN?;:APPL?"),
             QByteArray("0;0;0;60;1;\"0.00,0.100\""));
    QCOMPARE(w.voltageEntry->text(), QStringLiteral("0V"));
    QCOMPARE(w.currentEntry->text(), QStringLiteral("0.1A"));
    QCOMPARE(w.voltageSlider->value(), 0);
    QCOMPARE(w.outputButton->text(), QStringLiteral("开"));
    QCOMPARE(w.overCurrentModeList->currentIndex(), 0);
    QCOMPARE(w.runCountList->currentIndex(), 1);
    QCOMPARE(recordEntries(f).size(), 4);

    w.setRemoteClients(2);
    QCOMPARE(w.statusPanels[1]->text(), QStringLiteral("远程 2"));
    w.setRemoteClients(0);
    QCOMPARE(w.statusPanels[1]->text(), QStringLiteral("Velkor"));
}

// A script that starts a run reads the first row's setpoints back at once,
// and a setpoint it sends meanwhile is refused as a conflict.
void SessionInstrumentTest::aRunsFirstRowIsInForceAtOnce() {
    WindowOnFakes f;
    QVERIFY(writeStepFile(f.programDir(), {{2.5, 0.75, 10}, {4, 1, 10}}));
    f.port.usablePorts = {3};
    f.port.replyWhenIdle = "VKPPSU0250A0120W";
    MainWindow& w = f.build();
    ticks(w, 10);
    QVERIFY(w.session().state.linkUp);
    SessionInstrument instrument(w.session());
    ScpiSession session(instrument, "Velkor");

    QCOMPARE(session.receive("PROG:STAT RUN;STAT?;:VOLT?;CURR?\n"), QByteArray("RUN;2.50;0.750\n"));
    QVERIFY(session.receive("VOLT 3;:SYST:ERR?\n").startsWith("-221,\"Settings conflict;"));
    QVERIFY(w.session().state.frameText.startsWith(QStringLiteral("VKPPSU0250")));
}

QTEST_MAIN(SessionInstrumentTest)
#include "test_session_instrument.moc"
