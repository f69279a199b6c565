#include "live_window.h"
#include "step_table_file.h"
#include "waiting.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QtTest>

namespace {

// Frames the supply received in a row with the same content, and when the
// first of them was complete.
struct Segment {
    QString frame;
    qint64 firstMs = 0;
    int frames = 0;
};

// The simulator's frame log as segments of equal frames. Where the program
// changes its frame while a frame is on the line, the supply gets one frame
// made of both; such single frames between two segments are dropped.
QList<Segment> segmentsOf(const QString& logPath) {
    QFile file(logPath);
    QList<Segment> segments;
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return segments;
    }
    while (!file.atEnd()) {
        const QList<QByteArray> fields = file.readLine().trimmed().split(' ');
        if (fields.size() != 2 || fields[1] == "bytes") {
            continue;
        }
        const QString frame = QString::fromLatin1(fields[1]);
        if (!segments.isEmpty() && segments.last().frame == frame) {
            ++segments.last().frames;
        } else {
            segments.append({frame, fields[0].toLongLong(), 1});
        }
    }
    QList<Segment> kept;
    for (int i = 0; i < segments.size(); ++i) {
        const bool between = i > 0 && i + 1 < segments.size();
        if (between && segments[i].frames == 1) {
            continue;
        }
        if (!kept.isEmpty() && kept.last().frame == segments[i].frame) {
            kept.last().frames += segments[i].frames;
        } else {
            kept.append(segments[i]);
        }
    }
    return kept;
}

} // namespace

class SequenceEndToEndTest : public QObject {
    Q_OBJECT
private slots:
    void twoRowTableRunOnceReachesTheSupply();
};

void SequenceEndToEndTest::twoRowTableRunOnceReachesTheSupply() {
    LiveWindow live;
    QVERIFY(writeStepFile(live.dir.path(), {{5, 1, 2}, {12, 2, 3}}));
    const QString logPath = live.dir.path() + QStringLiteral("/frames.log");
    Simulator sim(live.dir.path(), {QStringLiteral("--frame-log"), logPath});
    QVERIFY(sim.waitUntilLinked());
    Form1& w = live.start();
    QVERIFY(waitFor([&] { return w.state.linkUp; }, 8000));

    w.Combo5->setCurrentIndex(w.Combo5->findText(QStringLiteral("1")));
    w.Combo5_Click();
    w.Command4_Click();
    QVERIFY(w.state.runActive);
    QVERIFY(waitFor([&] { return !w.state.runActive; }, 15000));
    QCOMPARE(w.Command4->text(), QStringLiteral("开始"));
    QVERIFY(waitFor([&] { return recordEntries(live.dir.path()).size() == 1; }, 15000));
    // Let the switch-off reach the supply.
    QVERIFY(waitFor(
        [&] {
            return segmentsOf(logPath).last().frame.endsWith(QLatin1Char('N')) &&
                   segmentsOf(logPath).last().frames >= 5;
        },
        10000));
    sim.stop();

    QList<Segment> segments = segmentsOf(logPath);
    while (!segments.isEmpty() && !segments.first().frame.endsWith(QLatin1Char('O'))) {
        segments.removeFirst();
    }
    QVERIFY(segments.size() >= 3);
    QCOMPARE(segments[0].frame, QStringLiteral("VKPPSU0500H1000O"));
    QCOMPARE(segments[1].frame, QStringLiteral("VKPPSU1200H2000O"));
    const double first = (segments[1].firstMs - segments[0].firstMs) / 1000.0;
    const double second = (segments[2].firstMs - segments[1].firstMs) / 1000.0;
    qInfo("5 V for %.2f s, 12 V for %.2f s", first, second);
    // Row 1 lasts its 3 s less the tick that ends the pass; row 0 loses the
    // part of a second before the first display tick. The timers may run late
    // on a busy machine, so only the shortest time is certain.
    QVERIFY2(first > 0.9, qPrintable(QString::number(first)));
    QVERIFY2(second > 2.6, qPrintable(QString::number(second)));
    // After that at most the tick that ends the pass, with row 0, and then
    // the output off for good.
    int i = 2;
    if (segments[i].frame == QStringLiteral("VKPPSU0500H1000O")) {
        ++i;
    }
    for (; i < segments.size(); ++i) {
        QCOMPARE(segments[i].frame, QStringLiteral("VKPPSU0000H0000N"));
    }
    QVERIFY(live.dialogs.shown.isEmpty());
}

QTEST_MAIN(SequenceEndToEndTest)
#include "test_sequence_end_to_end.moc"
