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

// The simulator's frame log as runs of equal frames, each frame as the
// supply took it: a tag and the 15 characters after it.
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
    return segments;
}

} // namespace

class SequenceEndToEndTest : public QObject {
    Q_OBJECT
private slots:
    void countedRunReachesTheSupplyAsItsRowsOnly();
};

// Rows that differ in every digit: a frame made of parts of two frames
// would show as a frame of neither.
void SequenceEndToEndTest::countedRunReachesTheSupplyAsItsRowsOnly() {
    LiveWindow live;
    QVERIFY(writeStepFile(live.dir.path(), {{12.34, 1.234, 1}, {25.67, 3.456, 2}}));
    const QString logPath = live.dir.path() + QStringLiteral("/frames.log");
    Simulator sim(live.dir.path(), {QStringLiteral("--frame-log"), logPath});
    QVERIFY(sim.waitUntilLinked());
    MainWindow& w = live.start();
    QVERIFY(waitFor([&] { return w.session().state.linkUp; }, 8000));

    w.runCountList->setCurrentIndex(w.runCountList->findText(QStringLiteral("3")));
    w.runCountChosen();
    w.runButtonClicked();
    QVERIFY(w.session().running());
    QVERIFY(waitFor([&] { return !w.session().running(); }, 30000));
    QCOMPARE(w.runButton->text(), QStringLiteral("开始"));
    QVERIFY(waitFor([&] { return recordEntries(live.dir.path()).size() == 1; }, 15000));
    // Let the switch-off reach the supply.
    QVERIFY(waitFor(
        [&] {
            const QList<Segment> segments = segmentsOf(logPath);
            return !segments.isEmpty() && segments.last().frame.endsWith(QLatin1Char('N')) &&
                   segments.last().frames >= 5;
        },
        10000));
    sim.stop();

    QList<Segment> segments = segmentsOf(logPath);
    while (!segments.isEmpty() && !segments.first().frame.endsWith(QLatin1Char('O'))) {
        segments.removeFirst();
    }
    const QString first = QStringLiteral("VKPPSU1234H1234O");
    const QString second = QStringLiteral("VKPPSU2567H3456O");
    QStringList order;
    for (const Segment& segment : segments) {
        order.append(segment.frame);
    }
    // Three passes of both rows, and from the last row straight to off. The
    // off frame composed with the last row's setpoints may be composed anew
    // with the manual ones before it begins, when the timers run late.
    QCOMPARE(order.mid(0, 6), (QStringList{first, second, first, second, first, second}));
    const QStringList off = order.mid(6);
    QVERIFY2(off == QStringList{QStringLiteral("VKPPSU0000H0000N")} ||
                 off == (QStringList{QStringLiteral("VKPPSU2567H3456N"),
                                     QStringLiteral("VKPPSU0000H0000N")}),
             qPrintable(off.join(QLatin1Char(' '))));
    const double secondRow = (segments[2].firstMs - segments[1].firstMs) / 1000.0;
    qInfo("25.67 V for %.2f s", secondRow);
    // The timers may run late on a busy machine, so only a lower bound is
    // certain: the row's 2 s less the tick that ends the pass, ticks that
    // come up to 5 % early and a frame's wait at each end.
    QVERIFY2(secondRow > 1.5, qPrintable(QString::number(secondRow)));
    QVERIFY(live.dialogs.shown.isEmpty());
}

QTEST_MAIN(SequenceEndToEndTest)
#include "test_sequence_end_to_end.moc"
