#include "fakes.h"
#include "remote/scpi_session.h"
#include "remote/session_instrument.h"
#include "step_table_file.h"
#include "stop_signal.h"
#include "window/desktop_session_end.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QMap>
#include <QtTest>

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

bool unblockRecordFolder(const QString& dataDir) {
    return QFile::remove(dataDir + QStringLiteral("/Record")) &&
           QDir().mkpath(dataDir + QStringLiteral("/Record"));
}

QStringList journalsIn(const QString& dataDir) {
    return QDir(dataDir).entryList({QStringLiteral("journal-*")}, QDir::Files, QDir::Name);
}

// Every record in the folder has its spreadsheet and its picture, or a
// journal whose note names it is still there for the next start to make
// them; every record has its spreadsheet at least. Empty when so; otherwise
// what is wrong.
QString recordsWholeOrJournalled(const QString& dataDir) {
    QStringList notedRecords;
    const QDir data(dataDir);
    for (const QString& note : data.entryList({QStringLiteral("journal-*.published")})) {
        const QString journal =
            note.chopped(QStringLiteral(".published").size()) + QStringLiteral(".journal");
        if (data.exists(journal)) {
            notedRecords << QString::fromUtf8(fileBytes(data.filePath(note))).trimmed();
        }
    }
    const QDir records(dataDir + QStringLiteral("/Record"));
    for (const QString& name : records.entryList({QStringLiteral("*.TXT")})) {
        const QString stem = records.filePath(name.chopped(4));
        if (!QFileInfo::exists(stem + QStringLiteral(".csv"))) {
            return name + QStringLiteral(" has no spreadsheet");
        }
        if (!QFileInfo::exists(stem + QStringLiteral(".png")) &&
            !notedRecords.contains(records.filePath(name))) {
            return name + QStringLiteral(" has no picture and no journal left for it");
        }
    }
    return {};
}

} // namespace

enum class Before { ManualOutput, Run, EarlierSaveFailed, EverySaveFails };
Q_DECLARE_METATYPE(Before)

class SessionEndTest : public QObject {
    Q_OBJECT
private slots:
    void refusedCloseHoldsClosingOnlyWhenTheProcessEnds_data();
    void refusedCloseHoldsClosingOnlyWhenTheProcessEnds();
    void displayLossLeavesEveryFileOrTheJournal_data();
    void displayLossLeavesEveryFileOrTheJournal();
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
    if (!raiseStopSignal()) {
        QSKIP("a Windows program is stopped by a console event or the session's end, which "
              "the installed program's end-to-end test gives it");
    }
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

void SessionEndTest::displayLossLeavesEveryFileOrTheJournal_data() {
    QTest::addColumn<Before>("before");
    QTest::addColumn<int>("records");
    QTest::newRow("manual output") << Before::ManualOutput << 1;
    QTest::newRow("a run") << Before::Run << 1;
    QTest::newRow("an earlier save failed") << Before::EarlierSaveFailed << 2;
    QTest::newRow("every save fails") << Before::EverySaveFails << 1;
}

// The display goes away with the output on: the record is saved with its
// spreadsheet, and the next start draws its picture from the journal kept
// for it, adding no copy; a record that cannot be saved at all keeps its
// journal, and the next start saves it whole.
void SessionEndTest::displayLossLeavesEveryFileOrTheJournal() {
    QFETCH(Before, before);
    QFETCH(int, records);
    WindowOnFakes f;
    const QString dataDir = f.programDir();
    QVERIFY(writeStepFile(dataDir, {{5, 1, 30}}));
    if (before == Before::EarlierSaveFailed || before == Before::EverySaveFails) {
        QVERIFY(blockRecordFolder(dataDir));
    }
    f.port.usablePorts = {3};
    f.port.replyWhenIdle = "VKPPSU1200A1200W";
    MainWindow& w = f.build();
    ticksWithSends(w, 20);
    if (before == Before::EarlierSaveFailed) {
        w.outputButtonClicked();
        ticksWithSends(w, 30);
        w.outputButtonClicked();
        QVERIFY(!f.dialogs.shown.isEmpty());
        QVERIFY(f.dialogs.shown.last().text.contains(QStringLiteral("could not be saved")));
        QVERIFY(unblockRecordFolder(dataDir));
        f.clock.time = f.clock.time.addSecs(5);
    }
    if (before == Before::Run) {
        w.runButtonClicked();
        QVERIFY(w.session().running());
    } else {
        w.outputButtonClicked();
        QVERIFY(w.session().outputOn());
    }
    ticksWithSends(w, 40);

    w.session().endWithoutDisplay();
    QCOMPARE(w.session().outputState(), OutputState::Closed);
    const QString afterLoss = recordsWholeOrJournalled(dataDir);
    QVERIFY2(afterLoss.isEmpty(), qPrintable(afterLoss));
    const QStringList saved = recordEntries(dataDir);
    QCOMPARE(saved.size(), before == Before::EverySaveFails ? 0 : records);
    QCOMPARE(journalsIn(dataDir).filter(QStringLiteral(".journal")).size(), records);
    QMap<QString, QByteArray> texts;
    for (const QString& name : saved) {
        texts[name] = fileBytes(recordDir(f) + QLatin1Char('/') + name);
    }

    if (before == Before::EverySaveFails) {
        QVERIFY(unblockRecordFolder(dataDir));
    }
    MainWindow& next = f.build();
    QTRY_VERIFY(journalsIn(dataDir).isEmpty());
    QCOMPARE(next.session().outputState(), OutputState::Off);
    const QDir recordFolder(recordDir(f));
    const QStringList recovered = recordEntries(dataDir);
    QCOMPARE(recovered.size(), records);
    for (const QString& name : recovered) {
        const QString stem = recordFolder.filePath(name.chopped(4));
        QVERIFY2(QFileInfo(stem + QStringLiteral(".csv")).size() > 0, qPrintable(name));
        QVERIFY2(!QImage(stem + QStringLiteral(".png")).isNull(), qPrintable(name));
        if (texts.contains(name)) {
            QCOMPARE(fileBytes(recordFolder.filePath(name)), texts[name]);
        }
    }
}

QTEST_MAIN(SessionEndTest)
#include "test_session_end.moc"
