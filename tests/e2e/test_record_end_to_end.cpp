#include "live_window.h"
#include "waiting.h"
#include "window/log_box.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

namespace {

// Python's own csv module reads the spreadsheet: every time carries its date
// and offset and they are in order; one line per row, "voltage current link".
const char kReadCsv[] = R"(
import csv, datetime, sys
with open(sys.argv[1], newline="", encoding="utf-8") as f:
    rows = list(csv.DictReader(f))
times = [datetime.datetime.fromisoformat(row["time"]) for row in rows]
assert all(t.tzinfo is not None for t in times), "a time without its offset"
assert times == sorted(times), "times out of order"
for row in rows:
    print(f"{float(row['voltage_V']):.2f} {float(row['current_A']):.3f} {row['link_up']}")
)";

// The rows of a silence: a stale row carries no readings and no status. One
// line "live stale" with the counts of each kind of row.
const char kCountStaleRows[] = R"(
import csv, sys
with open(sys.argv[1], newline="", encoding="utf-8") as f:
    rows = list(csv.DictReader(f))
stale = [row for row in rows if row["fresh"] == "0"]
for row in stale:
    assert row["voltage_V"] == row["current_A"] == row["status"] == "", row
for row in rows:
    if row["fresh"] == "1":
        float(row["voltage_V"]), float(row["current_A"])
print(len(rows) - len(stale), len(stale))
)";

// The frames a simulator logged, oldest first.
QStringList loggedFrames(const QString& log) {
    QStringList frames;
    for (const QString& line : QString::fromLatin1(fileBytes(log)).split(QLatin1Char('\n'))) {
        const QStringList fields = line.split(QLatin1Char(' '));
        if (fields.size() == 2) {
            frames << fields[1];
        }
    }
    return frames;
}

// A tool's standard output, or the empty text when it fails.
QString runTool(const QString& program, const QStringList& arguments) {
    QProcess tool;
    tool.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    tool.start(program, arguments);
    if (!tool.waitForFinished(60000) || tool.exitStatus() != QProcess::NormalExit ||
        tool.exitCode() != 0) {
        return {};
    }
    return QString::fromUtf8(tool.readAllStandardOutput());
}

} // namespace

class RecordEndToEndTest : public QObject {
    Q_OBJECT
private slots:
    void recordHoldsTheSimulatorsValues();
    void silentSupplyIsSwitchedOffAndItsSilenceCarriesNoReadings();
};

// 12 V with a 2 A limit into the simulator's 10 ohm load: 12.00 V, 1.200 A.
void RecordEndToEndTest::recordHoldsTheSimulatorsValues() {
    LiveWindow live;
    Simulator sim(live.dir.path(), {});
    QVERIFY(sim.waitUntilLinked());
    MainWindow& w = live.start();
    w.voltageStepList->setCurrentIndex(12);
    emit w.voltageStepList->activated(12);
    w.currentStepList->setCurrentIndex(20);
    emit w.currentStepList->activated(20);
    QVERIFY(waitFor([&] { return w.session().state.linkUp; }, 8000));
    QVERIFY(
        waitFor([&] { return w.session().state.currentSetpointMilliamps == qint16(2000); }, 8000));
    QCOMPARE(w.session().state.currentSetpointMilliamps, qint16(2000));

    w.outputButtonClicked();
    QVERIFY(w.session().outputOn());
    const QString first = QStringLiteral("12.00V          1.200A");
    QVERIFY(waitFor([&] { return w.logBox->text().count(first) >= 3; }, 10000));
    // 10 V while the output is on.
    w.voltageStepList->setCurrentIndex(10);
    emit w.voltageStepList->activated(10);
    const QString measured = QStringLiteral("10.00V          1.000A");
    QVERIFY(waitFor([&] { return w.logBox->text().count(measured) >= 3; }, 15000));
    w.outputButtonClicked();
    QVERIFY(!w.session().outputOn());

    const QDir records(live.dir.path() + QStringLiteral("/Record"));
    // The record is written away from the window's thread; the log box
    // gets its save-path line once it is saved.
    QVERIFY(waitFor([&] { return w.logBox->text().contains(QStringLiteral("保存路径:")); }, 15000));
    // The spreadsheet and the picture beside it take its name.
    QStringList names = records.entryList(QDir::Files);
    QCOMPARE(names.size(), 3);
    const QRegularExpressionMatch name =
        QRegularExpression(QStringLiteral("^(\\d{10,14})\\.TXT$")).match(names.takeLast());
    QVERIFY(name.hasMatch());
    QCOMPARE(names, (QStringList{name.captured(1) + ".csv", name.captured(1) + ".png"}));
    QFile file(records.filePath(name.captured(0)));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes, (w.logBox->text() + QStringLiteral("\r\n")).toLocal8Bit());
    QCOMPARE(bytes.count("\r\n"), bytes.count('\n'));

    QStringList lines = QString::fromLocal8Bit(bytes).split(QStringLiteral("\r\n"));
    QVERIFY(lines.takeLast().isEmpty());
    QCOMPARE(lines.takeLast(),
             QStringLiteral("保存路径:") + QDir::toNativeSeparators(file.fileName()));
    QCOMPARE(lines.mid(0, 2), (QStringList{"Velkor", "Version: 1.0"}));
    QVERIFY(QRegularExpression(QStringLiteral("^\\d{4}-\\d{1,2}-\\d{1,2}   \\S"))
                .match(lines[2])
                .hasMatch());
    const QRegularExpression line(
        QStringLiteral("^\\S.*\\d\\d {10}\\d\\d\\.\\d\\dV {10}\\d\\.\\d\\d\\dA$"));
    QVERIFY(lines.takeLast().endsWith(QStringLiteral("          输出关闭 / output switched off")));
    const QStringList measurements = lines.mid(3);
    QVERIFY(measurements.size() >= 3);
    for (const QString& text : measurements) {
        QVERIFY2(line.match(text).hasMatch(), qPrintable(text));
    }
    // Before the output comes up the supply may still report 0 V for a moment.
    QVERIFY(measurements.filter(first).size() >= 3);
    QVERIFY(measurements.filter(measured).size() >= 3);
    QVERIFY(measurements.last().endsWith(measured));

    // The spreadsheet: one row per measurement line with the same values,
    // CR LF ended.
    const QString csv = records.filePath(name.captured(1) + ".csv");
    const QByteArray csvBytes = fileBytes(csv);
    QCOMPARE(csvBytes.count("\r\n"), csvBytes.count('\n'));
    QStringList expected;
    const QRegularExpression values(QStringLiteral("(\\d+\\.\\d+)V +(\\d+\\.\\d+)A$"));
    for (const QString& text : measurements) {
        const QRegularExpressionMatch value = values.match(text);
        QVERIFY2(value.hasMatch(), qPrintable(text));
        expected << QStringLiteral("%1 %2 1")
                        .arg(value.captured(1).toDouble(), 0, 'f', 2)
                        .arg(value.captured(2).toDouble(), 0, 'f', 3);
    }
    const QString rows =
        runTool(QStringLiteral(VELKOR_DEBIAN_PYTHON), {QStringLiteral("-c"), kReadCsv, csv});
    QCOMPARE(rows.split(QLatin1Char('\n'), Qt::SkipEmptyParts), expected);

    // The picture, as ImageMagick sees it.
    QCOMPARE(runTool(QStringLiteral(VELKOR_IDENTIFY),
                     {QStringLiteral("-format"), QStringLiteral("%m %w %h"),
                      records.filePath(name.captured(1) + ".png")}),
             QStringLiteral("PNG 1600 900"));
    QVERIFY(live.dialogs.shown.isEmpty());
}

// A supply that falls silent for 20 s with the output on at 4 V, as one
// switched off at its own switch and on again. The silence ends the output
// and its record; the supply that answers again gets off frames only; the
// spreadsheet's rows of the silence carry no readings.
void RecordEndToEndTest::silentSupplyIsSwitchedOffAndItsSilenceCarriesNoReadings() {
    LiveWindow live;
    const QString frameLog = live.dir.path() + QStringLiteral("/frames.log");
    Simulator sim(live.dir.path(), {QStringLiteral("--silent-between"), QStringLiteral("4,24"),
                                    QStringLiteral("--frame-log"), frameLog});
    QVERIFY(sim.waitUntilLinked());
    MainWindow& w = live.start();
    w.voltageStepList->setCurrentIndex(4);
    emit w.voltageStepList->activated(4);
    QVERIFY(waitFor([&] { return w.session().state.linkUp; }, 8000));
    w.outputButtonClicked();
    QVERIFY(w.session().outputOn());

    QVERIFY(waitFor([&] { return !w.session().state.linkUp; }, 30000));
    QVERIFY(!w.session().outputOn());
    QVERIFY(waitFor([&] { return w.logBox->text().contains(QStringLiteral("保存路径:")); }, 15000));
    const int framesAtTheLoss = int(loggedFrames(frameLog).size());

    QVERIFY(waitFor([&] { return w.session().state.linkUp; }, 30000));
    QVERIFY(waitFor([&] { return loggedFrames(frameLog).size() >= framesAtTheLoss + 30; }, 10000));
    const QStringList frames = loggedFrames(frameLog);
    // The frames of the last second before the loss may still be on;
    // everything after the supply answers again is off.
    for (const QString& frame : frames.mid(framesAtTheLoss + 20)) {
        QVERIFY2(frame.endsWith(QLatin1Char('N')), qPrintable(frame));
    }
    QVERIFY(frames.contains(QStringLiteral("VKPPSU0400H0000O")));

    const QDir records(live.dir.path() + QStringLiteral("/Record"));
    QVERIFY(
        waitFor([&] { return records.entryList({QStringLiteral("*.csv")}).size() == 1; }, 15000));
    const QStringList counts =
        runTool(QStringLiteral(VELKOR_DEBIAN_PYTHON),
                {QStringLiteral("-c"), kCountStaleRows,
                 records.filePath(records.entryList({QStringLiteral("*.csv")}).first())})
            .split(QLatin1Char(' '));
    QCOMPARE(counts.size(), 2);
    // About two live seconds before the silence, and some ten stale ones
    // before the loss is declared.
    QVERIFY2(counts[0].toInt() >= 1 && counts[1].trimmed().toInt() >= 8,
             qPrintable(counts.join(' ')));
    QVERIFY(live.dialogs.shown.isEmpty());
}

VELKOR_TEST_MAIN_IN_C_LOCALE(RecordEndToEndTest)
#include "test_record_end_to_end.moc"
