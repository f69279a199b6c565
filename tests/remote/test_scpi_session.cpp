#include "noting_instrument.h"
#include "remote/scpi_session.h"
#include "setting/setpoint_quantity.h"

#include <QtTest>

class ScpiSessionTest : public QObject {
    Q_OBJECT
private slots:
    void linesGiveRepliesChangesAndErrors_data();
    void linesGiveRepliesChangesAndErrors();
    void waitsEndWhenTheSupplyHasIt();
};

void ScpiSessionTest::linesGiveRepliesChangesAndErrors_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<bool>("linked");
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QList<QByteArray>>("errors");
    using Errors = QList<QByteArray>;
    const QByteArray identity = "Velkor,VK-7100,0,1.0\n";
    const auto row = [](const char* name) -> QTestData& { return QTest::newRow(name); };
    const QString none;

    row("identity") << QByteArray("*IDN?\n") << true << none << identity << QStringList()
                    << Errors();
    row("any case, CR LF") << QByteArray("*idn?\r\n") << true << none << identity << QStringList()
                           << Errors();
    row("short form") << QByteArray("VOLT 12.5\n") << true << none << QByteArray()
                      << QStringList{"V 1250"} << Errors();
    row("long forms, every optional node, NR3")
        << QByteArray("source:voltage:level:immediate:amplitude 1.25E+1\n") << true << ""
        << QByteArray() << QStringList{"V 1250"} << Errors();
    row("suffix after a space") << QByteArray("SOUR:VOLT:AMPL 500 mV\n") << true << ""
                                << QByteArray() << QStringList{"V 50"} << Errors();
    row("suffix mA, then the query") << QByteArray("CURR 250mA;CURR?\n") << true << ""
                                     << QByteArray("0.250\n") << QStringList{"A 250"} << Errors();
    row("rounded half to even") << QByteArray("CURR .0025A\n") << true << none << QByteArray()
                                << QStringList{"A 2"} << Errors();
    row("path rule") << QByteArray("SOUR:VOLT 5;CURR 1\n") << true << none << QByteArray()
                     << QStringList{"V 500", "A 1000"} << Errors();
    row("queries joined") << QByteArray("MEAS:VOLT?;CURR?;:MEAS:SCAL:CURR:DC?;*OPC?\n") << true
                          << none << QByteArray("12.49;0.498;0.498;1\n") << QStringList()
                          << Errors();
    row("limits asked") << QByteArray("VOLT? MAX;CURR? min\n") << true << ""
                        << QByteArray("31.00;0.000\n") << QStringList() << Errors();
    row("limit as value") << QByteArray("VOLT MAX\n") << true << none << QByteArray()
                          << QStringList{"V 3100"} << Errors();
    row("above the limit") << QByteArray("VOLT 31.001;VOLT?\n") << true << ""
                           << QByteArray("12.00\n") << QStringList()
                           << Errors{"-222,\"Data out of range\""};
    row("execution error, next unit runs")
        << QByteArray("CURR -1;CURR 1\n") << true << none << QByteArray() << QStringList{"A 1000"}
        << Errors{"-222,\"Data out of range\""};
    row("command error ends the line") << QByteArray("FOO;VOLT 2\n") << true << none << QByteArray()
                                       << QStringList() << Errors{"-113,\"Undefined header\""};
    row("path rule leaves the root")
        << QByteArray("OUTP ON;PROT:CLE\n") << true << "" << QByteArray() << QStringList{"output 1"}
        << Errors{"-113,\"Undefined header\""};
    row("query-only header as a command")
        << QByteArray("MEAS:VOLT 1\n") << true << none << QByteArray() << QStringList()
        << Errors{"-113,\"Undefined header\""};
    row("bad syntax") << QByteArray("VOLT 1.2.3\nVOLT:\n") << true << none << QByteArray()
                      << QStringList() << Errors{"-102,\"Syntax error\"", "-102,\"Syntax error\""};
    row("missing parameter") << QByteArray("VOLT\n") << true << none << QByteArray()
                             << QStringList() << Errors{"-109,\"Missing parameter\""};
    row("wrong type") << QByteArray("VOLT \"5\"\nPROG:STAT 1\n") << true << none << QByteArray()
                      << QStringList()
                      << Errors{"-104,\"Data type error\"", "-104,\"Data type error\""};
    row("bad suffix") << QByteArray("VOLT 5 A\nOUTP 1V\n") << true << none << QByteArray()
                      << QStringList()
                      << Errors{"-131,\"Invalid suffix\"", "-131,\"Invalid suffix\""};
    row("parameter not allowed") << QByteArray("VOLT 1,2\n*IDN? 1\n") << true << "" << QByteArray()
                                 << QStringList()
                                 << Errors{"-108,\"Parameter not allowed\"",
                                           "-108,\"Parameter not allowed\""};
    row("unknown words") << QByteArray("OUTP MAYBE\nPROG:STAT GO\nVOLT HIGH\nPROG:COUN LOTS\n")
                         << true << none << QByteArray() << QStringList()
                         << Errors(4, "-224,\"Illegal parameter value\"");
    row("numeric booleans round, STATe optional")
        << QByteArray("OUTP 0.7;OUTP?\nOUTP 0.4;OUTP 2\nCURR:PROT ON;PROT?\n") << true << none
        << QByteArray("1\n1\n") << QStringList{"output 1", "output 0", "output 1", "trip 1"}
        << Errors();
    row("output") << QByteArray("OUTP:STAT 1;STAT?\n") << true << none << QByteArray("1\n")
                  << QStringList{"output 1"} << Errors();
    row("output refused") << QByteArray("OUTPUT ON;OUTP?\n") << false
                          << QStringLiteral("电源没有应答。\nThe \"supply\"") << QByteArray("0\n")
                          << QStringList{"output 1"}
                          << Errors{"-221,\"Settings conflict;The \"\"supply\"\"\""};
    row("operation complete once a frame went out")
        << QByteArray("*OPC;*ESR?\nVOLT 3;*WAI;VOLT?\n*OPC?\n") << true << none
        << QByteArray("1\n3.00\n1\n") << QStringList{"V 300"} << Errors();
    row("fetch and measure, MEAS? alone the voltage")
        << QByteArray("FETC?;FETC:CURR?;:MEAS?;:MEAS:CURR?\n") << true << none
        << QByteArray("12.49;0.498;12.49;0.498\n") << QStringList() << Errors();
    row("fetch with no fresh reading")
        << QByteArray("FETC:CURR?\n") << false << none << QByteArray("9.91E37\n") << QStringList()
        << Errors{"-230,\"Data corrupt or stale\""};
    row("stale reading") << QByteArray("MEAS:VOLT?\n") << false << none << QByteArray("9.91E37\n")
                         << QStringList() << Errors{"-230,\"Data corrupt or stale\""};
    row("protection") << QByteArray("CURR:PROT:STAT ON;STAT?;TRIP?\nOUTP:PROT:CLE\n") << true
                      << none << QByteArray("1;0\n") << QStringList{"trip 1", "clear"} << Errors();
    row("run count and run") << QByteArray("prog:coun 7;stat run;stat?;coun?\n") << true << ""
                             << QByteArray("RUN;7\n") << QStringList{"count 7", "run 1"}
                             << Errors();
    row("endless run count") << QByteArray("PROG:COUN INF;COUN?\nPROG:COUN 101\n") << true << ""
                             << QByteArray("9.9E37\n") << QStringList{"count 0"}
                             << Errors{"-222,\"Data out of range\""};
    row("run refused with the table's prompt")
        << QByteArray("PROG:STAT RUN\n") << true << QStringLiteral("请输入4位不大于31的正数")
        << QByteArray() << QStringList{"run 1"} << Errors{"-221,\"Settings conflict\""};
    row("system") << QByteArray("SYST:VERS?;ERR?;ERR:NEXT?\nSYST:REM;LOC\n*WAI\n") << true << ""
                  << QByteArray("1999.0;0,\"No error\";0,\"No error\"\n") << QStringList()
                  << Errors();
    row("reset") << QByteArray("*RST\n") << true << none << QByteArray()
                 << QStringList{"output 0",   "V 0",      "A 100",   "trip 0",
                                "watchdog 0", "delay 60", "count 1", "clear"}
                 << Errors();
    row("reset puts the steps back")
        << QByteArray("VOLT:STEP 2;*RST;:VOLT:STEP?;:CURR:STEP?\n") << true << none
        << QByteArray("0.10;0.010\n") << QStringList{"output 0",   "V 0",      "A 100",   "trip 0",
                                                     "watchdog 0", "delay 60", "count 1", "clear"}
        << Errors();
    row("apply both, then asked") << QByteArray("APPL 3.3,100 mA;APPL?\n") << true << none
                                  << QByteArray("\"3.30,0.100\"\n") << QStringList{"V 330", "A 100"}
                                  << Errors();
    row("apply the voltage alone, MIN MAX DEF")
        << QByteArray("APPLY MAX\nAPPL DEF,MIN\n") << true << none << QByteArray()
        << QStringList{"V 3100", "V 0", "A 0"} << Errors();
    row("apply refused whole")
        << QByteArray("APPL 40,1\nAPPL 5,6\nAPPL 5,1 V\nAPPL UP\nAPPL\nAPPL 1,2,3\nAPPL?\n") << true
        << none << QByteArray("\"12.00,0.500\"\n") << QStringList()
        << Errors{"-222,\"Data out of range\"", "-222,\"Data out of range\"",
                  "-131,\"Invalid suffix\"",    "-224,\"Illegal parameter value\"",
                  "-109,\"Missing parameter\"", "-108,\"Parameter not allowed\""};
    row("up and down by the step")
        << QByteArray("VOLT UP;VOLT?;VOLT:STEP 0.5;STEP?;:VOLT DOWN;VOLT?\n"
                      "CURR:STEP DEF;:CURR UP;CURR?\n")
        << true << none << QByteArray("12.10;0.50;11.60\n0.510\n")
        << QStringList{"V 1210", "V 1160", "A 510"} << Errors();
    row("up past the limit, a step of nothing")
        << QByteArray("VOLT MAX;VOLT UP\nCURR:STEP 0.0001\nCURR:STEP UP\n") << true << none
        << QByteArray() << QStringList{"V 3100"}
        << Errors{"-222,\"Data out of range\"", "-222,\"Data out of range\"",
                  "-224,\"Illegal parameter value\""};
    row("default asked and taken") << QByteArray("VOLT DEF;VOLT? DEF;CURR? DEF\n") << true << none
                                   << QByteArray("0.00;0.100\n") << QStringList{"V 0"} << Errors();
    row("setpoint during a run") << QByteArray("PROG:STAT RUN;:VOLT 5;:APPL 1,1\n") << true << none
                                 << QByteArray() << QStringList{"run 1", "V 500", "V 100"}
                                 << Errors(2, "-221,\"Settings conflict;Stop the run first\"");
    row("event status follows the errors")
        << QByteArray("*ESE 60;*ESE?;*ESR?\nFOO\nVOLT 40\n*OPC\n*STB?;*ESR?;*ESR?;*STB?\n") << true
        << none << QByteArray("60;0\n36;49;0;4\n") << QStringList()
        << Errors{"-113,\"Undefined header\"", "-222,\"Data out of range\""};
    row("service request summary")
        << QByteArray("*SRE 100;*SRE?;*STB?\nFOO\n*STB?\n*CLS;*STB?;*ESR?\n*ESE 256;*ESE ON\n")
        << true << none << QByteArray("36;0\n68\n0;0\n") << QStringList()
        << Errors{"-222,\"Data out of range\"", "-224,\"Illegal parameter value\""};
    row("self-test") << QByteArray("*TST?\n") << false << none << QByteArray("1\n") << QStringList()
                     << Errors();
    row("watchdog") << QByteArray("OUTP:PROT:WDOG ON;WDOG?;WDOG:DEL 5;DEL?;DEL? MAX\n"
                                  "OUTP:PROT:WDOG:DEL 0\nOUTP:PROT:TRIP?;CLE\n")
                    << true << none << QByteArray("1;5;3600\n1\n")
                    << QStringList{"watchdog 1", "delay 5", "clear"}
                    << Errors{"-222,\"Data out of range\""};
    row("web request: nothing runs")
        << QByteArray("POST / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\nVOLT 23.5\nOUTP ON\n") << true
        << none << QByteArray() << QStringList() << Errors();
    row("web header on a later line stops there")
        << QByteArray("*IDN?\nORIGIN: http://example.com\nOUTP ON\n") << true << none << identity
        << QStringList() << Errors();
    row("half-close runs the unended last line") << QByteArray("VOLT 2\n*IDN?") << true << none
                                                 << identity << QStringList{"V 200"} << Errors();
    row("clear status") << QByteArray("FOO\n*CLS\n") << true << none << QByteArray()
                        << QStringList() << Errors();
    Errors overflow(15, "-113,\"Undefined header\"");
    overflow << "-350,\"Queue overflow\"";
    row("queue overflow") << QByteArray("FOO\n").repeated(17) << true << none << QByteArray()
                          << QStringList() << overflow;
    row("overrun, rest of line discarded, connection kept")
        << QByteArray(5000, 'A') + "VOLT 1\n*IDN?\n"
        << true << none << identity << QStringList() << Errors{"-363,\"Input buffer overrun\""};
    row("longest line taken") << QByteArray("VOLT 1") + QByteArray(4090, ' ') + "\r\n"
                              << true << none << QByteArray() << QStringList{"V 100"} << Errors();
}

void ScpiSessionTest::linesGiveRepliesChangesAndErrors() {
    QFETCH(QByteArray, input);
    QFETCH(bool, linked);
    QFETCH(QString, refusal);
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, calls);
    QFETCH(QList<QByteArray>, errors);

    NotingInstrument instrument;
    instrument.linked = linked;
    instrument.refusal = refusal;
    instrument.portOpen = true;
    ScpiSession session(instrument, "Velkor,VK-7100,0,1.0");
    // In pieces, as TCP may deliver it, with a frame and a reply between
    // two pieces; a line that waits holds the lines behind it.
    QByteArray replies;
    for (qsizetype at = 0; at < input.size(); at += 7) {
        replies += session.receive(QByteArrayView(input).sliced(at, qMin(7, input.size() - at)));
        instrument.passed(100);
        replies += session.resume();
    }
    replies += session.finish();
    while (session.waiting()) {
        instrument.passed(100);
        replies += session.resume();
    }
    QCOMPARE(replies, reply);
    QCOMPARE(instrument.calls, calls);

    QList<QByteArray> queued;
    while (!session.isWebRequest()) {
        const QByteArray next = session.receive("SYST:ERR?\n");
        if (next.startsWith("0,")) {
            break;
        }
        queued << next.chopped(1);
    }
    QCOMPARE(queued, errors);
}

// Each wait ends at the first moment it may, and not before; what follows
// the waiting unit waits with it.
void ScpiSessionTest::waitsEndWhenTheSupplyHasIt() {
    NotingInstrument instrument;
    instrument.portOpen = true;
    ScpiSession session(instrument, "Velkor");

    QCOMPARE(session.receive("VOLT 5;MEAS?\n*IDN?\n"), QByteArray());
    // Replies, but the setpoint has not gone out in a whole frame.
    instrument.passed(500, false);
    QCOMPARE(session.resume(), QByteArray());
    instrument.passed(100);
    QCOMPARE(session.resume(), QByteArray());
    // A reply read 100 ms after the frame may predate it.
    instrument.passed(100, false);
    QCOMPARE(session.resume(), QByteArray());
    instrument.passed(100, false);
    QCOMPARE(session.resume(), QByteArray("12.49\nVelkor\n"));
    QVERIFY(!session.waiting());

    QCOMPARE(session.receive("VOLT 6;*OPC?;VOLT?\n"), QByteArray());
    instrument.passed(100, false);
    QCOMPARE(session.resume(), QByteArray());
    instrument.passed(0);
    QCOMPARE(session.resume(), QByteArray("1;6.00\n"));

    // A switch-on while the supply is being found waits for its reply.
    instrument.linked = false;
    QCOMPARE(session.receive("OUTP ON;OUTP?\n"), QByteArray());
    instrument.passed(2900);
    QCOMPARE(session.resume(), QByteArray());
    instrument.linked = true;
    QCOMPARE(session.resume(), QByteArray("1\n"));
    // A supply that never answers: refused once 3 s are up.
    instrument.linked = false;
    instrument.refusal = QStringLiteral("No supply answers");
    QCOMPARE(session.receive("OUTP OFF;OUTP ON;OUTP?\n"), QByteArray());
    instrument.passed(ScpiSession::kLongestWaitMs - 1);
    QCOMPARE(session.resume(), QByteArray());
    instrument.passed(1);
    QCOMPARE(session.resume(), QByteArray("0\n"));
    QCOMPARE(session.receive("SYST:ERR?\n"),
             QByteArray("-221,\"Settings conflict;No supply answers\"\n"));
    QCOMPARE(instrument.calls, (QStringList{"V 500", "V 600", "output 1", "output 0", "output 1"}));
}

QTEST_APPLESS_MAIN(ScpiSessionTest)
#include "test_scpi_session.moc"
