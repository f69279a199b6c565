#include "fakes.h"
#include "window/log_box.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QRegularExpression>
#include <QtTest>

namespace {

const QByteArray kReply = "VKPPSU0500A0500W";
const QColor kLiveReadout(0, 0, 255);
const QColor kNotLiveReadout(128, 128, 128);

// One second on the fake clock: ten poll ticks, the last a read and a
// display tick. The readouts' colour then: 'L' for a live reading's, 'D' for
// the grey of one that is not.
QChar second(WindowOnFakes& f) {
    f.clock.time = f.clock.time.addSecs(1);
    ticks(*f.window, 10);
    QChar colours[2];
    for (int i = 0; i < 2; ++i) {
        const QLabel* readout = i == 0 ? f.window->voltageReadout : f.window->currentReadout;
        const QColor colour = readout->palette().color(QPalette::WindowText);
        colours[i] = colour == kLiveReadout      ? QLatin1Char('L')
                     : colour == kNotLiveReadout ? QLatin1Char('D')
                                                 : QLatin1Char('?');
    }
    return colours[0] == colours[1] ? colours[0] : QLatin1Char('?');
}

// A window on port 3 whose supply answers with 5 V, 0.5 A, with the output
// on for three seconds of replies.
MainWindow& buildWithOutputOn(WindowOnFakes& f) {
    f.port.usablePorts = {3};
    f.port.replyWhenIdle = kReply;
    MainWindow& w = f.build();
    ticks(w, 20);
    w.outputButtonClicked();
    for (int s = 0; s < 3; ++s) {
        second(f);
    }
    return w;
}

// Measurement lines as the C locale writes them: time, voltage, current.
const QRegularExpression kMeasurementLine(
    QStringLiteral("^(\\d\\d:\\d\\d:\\d\\d) {10}(\\S\\S\\.\\S\\SV) {10}(\\S\\.\\S\\S\\SA)$"));
const QString kNoVoltage = QStringLiteral("--.--V");
const QString kNoCurrent = QStringLiteral("-.---A");

// The measurement lines of a record's text, one letter each: 'L' for a
// reading, 'D' for dashes; and where a line and the spreadsheet's row in
// the same place disagree: the time, a reading the row leaves empty, a
// value it holds otherwise, or dashes where it has a reading.
struct Comparison {
    QString lines;
    QStringList disagreements;
};

Comparison compareWithSpreadsheet(const QString& text, const QByteArray& csv) {
    Comparison result;
    QStringList rows = QString::fromUtf8(csv).split(QStringLiteral("\r\n"));
    rows.removeFirst();
    rows.removeLast();
    int row = 0;
    for (const QString& line : text.split(QStringLiteral("\r\n"))) {
        const QRegularExpressionMatch match = kMeasurementLine.match(line);
        if (!match.hasMatch()) {
            continue;
        }
        if (row == rows.size()) {
            result.disagreements << QStringLiteral("no row for ") + line;
            break;
        }
        const QStringList cells = rows[row++].split(QLatin1Char(','));
        const bool dashed = match.captured(2) == kNoVoltage && match.captured(3) == kNoCurrent;
        result.lines += dashed ? QLatin1Char('D') : QLatin1Char('L');
        const bool agrees =
            cells.size() == 10 && cells[0].mid(11, 8) == match.captured(1) &&
            (dashed ? cells[1].isEmpty() && cells[2].isEmpty() && cells[5].isEmpty()
                    : !cells[1].isEmpty() && !cells[2].isEmpty() &&
                          cells[1].toDouble() == match.captured(2).chopped(1).toDouble() &&
                          cells[2].toDouble() == match.captured(3).chopped(1).toDouble());
        if (!agrees) {
            result.disagreements << line + QStringLiteral(" | ") + rows[row - 1];
        }
    }
    if (row != rows.size()) {
        result.disagreements << QStringLiteral("%1 rows for %2 lines").arg(rows.size()).arg(row);
    }
    return result;
}

// The one record's text and spreadsheet in the record folder.
struct Record {
    QString text;
    QByteArray csv;
};

Record onlyRecord(const QString& recordDir, const QString& pattern) {
    const QStringList names = QDir(recordDir).entryList({pattern}, QDir::Files);
    if (names.size() != 1) {
        return {};
    }
    const QString txt = recordDir + QLatin1Char('/') + names[0];
    return {QString::fromLocal8Bit(fileBytes(txt)), fileBytes(txt.chopped(4) + ".csv")};
}

} // namespace

class RecordWithoutReadingsTest : public QObject {
    Q_OBJECT
private slots:
    void silenceUntilTheLossIsDashedAsInTheSpreadsheet();
    void heldOutputThroughALossShowsNoZeros();
    void recoveredRecordKeepsTheDashedLines();
};

// A reply counts for its second and the one after; the loss is declared on
// the twelfth silent read and switches the output off: ten seconds without
// a reading before it.
void RecordWithoutReadingsTest::silenceUntilTheLossIsDashedAsInTheSpreadsheet() {
    WindowOnFakes f;
    MainWindow& w = buildWithOutputOn(f);
    f.port.replyWhenIdle.clear();
    QString readouts;
    while (w.session().outputOn() && readouts.size() < 30) {
        readouts += second(f);
    }
    QVERIFY(!w.session().outputOn());
    QCOMPARE(readouts, QStringLiteral("L") + QString(11, 'D'));

    const Record record = onlyRecord(recordDir(f), QStringLiteral("*.TXT"));
    const Comparison comparison = compareWithSpreadsheet(record.text, record.csv);
    QVERIFY2(comparison.disagreements.isEmpty(), qPrintable(comparison.disagreements.join('\n')));
    QCOMPARE(comparison.lines, QStringLiteral("LLL") + QStringLiteral("L") + QString(10, 'D'));
    QVERIFY(record.text.contains(QStringLiteral("          通讯中断 / link lost\r\n")));
    QCOMPARE(record.text, w.logBox->text() + QStringLiteral("\r\n"));
}

// Held through the loss and the supply back: the seconds between have
// dashes, never the zeros the lost link leaves in the digits.
void RecordWithoutReadingsTest::heldOutputThroughALossShowsNoZeros() {
    WindowOnFakes f;
    MainWindow& w = buildWithOutputOn(f);
    w.session().setLinkLossPolicy(LinkLossPolicy::Hold);
    f.port.replyWhenIdle.clear();
    QString readouts;
    for (int s = 0; s < 20; ++s) {
        readouts += second(f);
    }
    QVERIFY(!w.session().state.linkUp);
    QVERIFY(w.session().outputOn());
    QCOMPARE(w.session().state.voltageDigits, QStringLiteral("0000"));
    f.port.replyWhenIdle = kReply;
    while (!w.session().state.readingLive() && readouts.size() < 40) {
        readouts += second(f);
    }
    for (int s = 0; s < 3; ++s) {
        readouts += second(f);
    }
    QVERIFY(w.session().outputOn());
    w.outputButtonClicked();

    const Record record = onlyRecord(recordDir(f), QStringLiteral("*.TXT"));
    const Comparison comparison = compareWithSpreadsheet(record.text, record.csv);
    QVERIFY2(comparison.disagreements.isEmpty(), qPrintable(comparison.disagreements.join('\n')));
    QVERIFY2(
        QRegularExpression(QStringLiteral("^LLLL(D{19,})LLLL$")).match(comparison.lines).hasMatch(),
        qPrintable(comparison.lines));
    // The readouts were grey exactly while the lines had dashes.
    QCOMPARE(readouts, comparison.lines.mid(3));
    QVERIFY(!record.text.contains(QStringLiteral("00.00V")));
    QVERIFY(!record.text.contains(QStringLiteral("0.000A")));
    QVERIFY(!record.text.contains(QStringLiteral("link lost")));
    QCOMPARE(record.text, w.logBox->text() + QStringLiteral("\r\n"));
}

// A program that dies in a held loss: the next start makes the record from
// its journal with the dashed lines as they were, and its spreadsheet from
// the values journalled beside it, none of them damaged.
void RecordWithoutReadingsTest::recoveredRecordKeepsTheDashedLines() {
    WindowOnFakes f;
    MainWindow& w = buildWithOutputOn(f);
    w.session().setLinkLossPolicy(LinkLossPolicy::Hold);
    f.port.replyWhenIdle.clear();
    for (int s = 0; s < 15; ++s) {
        second(f);
    }
    QVERIFY(w.session().outputOn());
    const QString log = w.logBox->text();

    f.build();
    QCoreApplication::processEvents();
    QCOMPARE(f.dialogs.shown.size(), 1);
    QVERIFY(!f.dialogs.shown[0].text.contains(QStringLiteral("damaged")));
    const Record record = onlyRecord(recordDir(f), QStringLiteral("*_recovered.TXT"));
    QVERIFY(record.text.startsWith(log + QStringLiteral("\r\n")));
    const Comparison comparison = compareWithSpreadsheet(record.text, record.csv);
    QVERIFY2(comparison.disagreements.isEmpty(), qPrintable(comparison.disagreements.join('\n')));
    QCOMPARE(comparison.lines, QStringLiteral("LLLL") + QString(14, 'D'));
}

VELKOR_TEST_MAIN_IN_C_LOCALE(RecordWithoutReadingsTest)

#include "test_record_without_readings.moc"
