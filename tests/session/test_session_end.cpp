#include "fakes.h"
#include "remote/scpi_session.h"
#include "remote/session_instrument.h"
#include "step_table_file.h"
#include "window/desktop_session_end.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <csignal>

namespace {

const QString kClosing = QStringLiteral("The program is closing");

// Poll ticks, each with the 5 ms sends that fill it.
void ticksWithSends(MainWindow& w, int count) {
    for (int i = 0; i < count; ++i) {
        w.session().pollTick();
        for (int send = 0; send < 20; ++send) {
            w.session().sendTick();
        }
    }
}

// The whole frames on the line from the given position on.
QList<QByteArray> framesFrom(const QByteArray& line, qsizetype from) {
    QList<QByteArray> frames;
    for (qsizetype tag = line.indexOf("VKPPSU", from); tag >= 0 && tag + 16 <= line.size();
         tag = line.indexOf("VKPPSU", tag + 16)) {
        frames << line.mid(tag, 16);
    }
    return frames;
}

// A regular file where the record folder should be: no record can be saved,
// while the journal beside it in the data folder is written as ever.
bool blockRecordFolder(const QString& dataDir) {
    QFile blocker(dataDir + QStringLiteral("/Record"));
    return blocker.open(QIODevice::WriteOnly);
}

QStringList journalsIn(const QString& dataDir) {
    return QDir(dataDir).entryList({QStringLiteral("journal-*")}, QDir::Files, QDir::Name);
}

} // namespace

class SessionEndTest : public QObject {
    Q_OBJECT
private slots:
    void refusedCloseHoldsClosingOnlyWhenTheProcessEnds_data();
    void refusedCloseHoldsClosingOnlyWhenTheProcessEnds();
};

void SessionEndTest::refusedCloseHoldsClosingOnlyWhenTheProcessEnds_data() {
    QTest::addColumn<bool>("stopSignal");
    QTest::newRow("stop signal") << true;
    QTest::newRow("the operator closes the window") << false;
}

// A close refused because its record cannot be saved: a stop signal ends the
// program all the same, and until then neither the operator nor a script
// switches the output on again; an operator's own close leaves the operator
// in the program, the output theirs again.
void SessionEndTest::refusedCloseHoldsClosingOnlyWhenTheProcessEnds() {
    QFETCH(bool, stopSignal);
    WindowOnFakes f;
    QVERIFY(blockRecordFolder(f.programDir()));
    QVERIFY(writeStepFile(f.programDir(), {{5, 1, 3}}));
    f.port.usablePorts = {3};
    f.port.replyWhenIdle = "VKPPSU1200A1200W";
    MainWindow& w = f.build();
    SupplySession& session = w.session();
    SessionInstrument instrument(session);
    ScpiSession script(instrument, "Velkor");
    ticksWithSends(w, 20);
    QVERIFY(session.state.linkUp);
    w.outputButtonClicked();
    ticksWithSends(w, 30);
    QVERIFY(session.outputOn());

    if (!stopSignal) {
        QVERIFY(!w.close());
        QCOMPARE(session.outputState(), OutputState::Off);
        QCOMPARE(script.receive("OUTP ON;OUTP?\n"), QByteArray("1\n"));
        return;
    }
    endOnStopSignals(&w);
    const qsizetype signalAt = f.port.written.size();
    QVERIFY(::raise(SIGTERM) == 0);
    QTRY_VERIFY(session.outputState() == OutputState::Closing);
    QVERIFY(!f.dialogs.shown.isEmpty());
    QVERIFY(f.dialogs.shown.last().text.contains(QStringLiteral("could not be saved")));

    for (const Refused& refusal : {session.switchOutput(true), session.switchRun(true)}) {
        QVERIFY(refusal && refusal->text.contains(kClosing));
    }
    w.outputButtonClicked();
    w.runButtonClicked();
    QCOMPARE(script.receive("OUTP ON;OUTP?\n"), QByteArray("0\n"));
    QVERIFY(script.receive("SYST:ERR?\n").contains(kClosing.toLatin1()));
    QCOMPARE(script.receive("PROG:STAT RUN;STAT?\n"), QByteArray("STOP\n"));
    ticksWithSends(w, 20);
    QCOMPARE(session.outputState(), OutputState::Closing);

    // The end comes after the stop signal's wait, the log left in its journal.
    QTRY_VERIFY_WITH_TIMEOUT(session.outputState() == OutputState::Closed, 15000);
    QVERIFY(!f.port.isOpen());
    const QList<QByteArray> frames = framesFrom(f.port.written, signalAt);
    QVERIFY(!frames.isEmpty());
    for (const QByteArray& frame : frames) {
        QVERIFY2(frame.endsWith('N'), frame.constData());
    }
    QCOMPARE(journalsIn(f.programDir()).filter(QStringLiteral(".journal")).size(), 1);
    QVERIFY(f.dialogs.shown.last().text.contains(QStringLiteral("The log stays in its journal")));
}

QTEST_MAIN(SessionEndTest)
#include "test_session_end.moc"
