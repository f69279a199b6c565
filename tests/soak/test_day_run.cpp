#include "day_run.h"
#include "window/diagnostic_pane.h"
#include "window/log_box.h"

#include <QFile>
#include <QtTest>

class DayRunTest : public QObject {
    Q_OBJECT
private slots:
    void aDayOfRunningKeepsEveryLineAndBoundsEverythingElse();
};

void DayRunTest::aDayOfRunningKeepsEveryLineAndBoundsEverythingElse() {
    DayRun day;
    QVERIFY(day.start());
    QSet<QString> framesSeen;
    qint64 lastChange = 0;
    day.run(DayRun::kTicksPerDay, [&](qint64 tick) {
        const qsizetype before = framesSeen.size();
        framesSeen.insert(day.window->session().state.frameText);
        if (framesSeen.size() != before) {
            lastChange = tick;
        }
    });
    QVERIFY(day.window->session().running());
    // The run kept stepping between its two rows all day, and nothing else.
    QCOMPARE(framesSeen, (QSet<QString>{QStringLiteral("VKPPSU0500H1000O"),
                                        QStringLiteral("VKPPSU1000H2000O")}));
    QVERIFY(lastChange < 100);
    QVERIFY(day.window->diagnosticPane->lines().size() <= DiagnosticPane::kMaxLines);
    QVERIFY(day.fakes.port.written.size() <= day.fakes.port.writtenLimit);
    QVERIFY(day.fakes.dialogs.shown.isEmpty());

    const QString path = day.stop();
    QVERIFY(!path.isEmpty());
    QFile record(path);
    QVERIFY(record.open(QIODevice::ReadOnly));
    const QByteArray content = record.readAll();
    QVERIFY(content.endsWith("\r\n"));
    const QList<QByteArray> lines = content.chopped(2).split('\n');
    // Header of three lines, the run's start, one line per second of the
    // day, where it ended, the save path.
    QCOMPARE(lines.size(), 3 + 1 + 86400 + 1 + 1);
    for (const QByteArray& line : lines.mid(0, lines.size() - 1)) {
        QVERIFY(line.endsWith('\r'));
    }
    QVERIFY(lines.at(3).contains("run started: 2 steps, until stopped"));
    QVERIFY(lines.at(4).endsWith("          05.00V          0.500A\r"));
    QVERIFY(lines.at(86403).endsWith("          05.00V          0.500A\r"));
    QVERIFY(lines.at(86404).contains("run stopped in pass "));
    QVERIFY(lines.last().endsWith(QFileInfo(path).fileName().toUtf8()));
}

QTEST_MAIN(DayRunTest)
#include "test_day_run.moc"
