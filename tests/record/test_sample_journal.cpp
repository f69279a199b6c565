#include "record/sample_journal.h"

#include <QtTest>

namespace {

// 2026-12-07 17:29:31 UTC, the start of the run below.
constexpr qint64 kStartMsecs = 1'796'664'571'000;
constexpr qint64 kDayMsecs = 86'400'000;

// Two good readings, one a second after the start and one a minute after.
RunSeries goodRun() {
    RunSeries series;
    series.startMsecs = kStartMsecs;
    Sample first;
    first.msecsSinceEpoch = kStartMsecs + 1000;
    first.voltage = first.voltageSetpoint = 1200;
    first.current = 1000;
    first.currentSetpoint = 2000;
    first.linkUp = true;
    Sample second = first;
    second.msecsSinceEpoch = kStartMsecs + 60'000;
    series.samples = {first, second};
    return series;
}

QByteArray journalOf(const RunSeries& series) {
    QByteArray bytes = sampleJournalStart(series);
    for (const Sample& sample : series.samples) {
        bytes += sampleJournalLine(sample);
    }
    return bytes;
}

QByteArray line(qint64 msecs, const char* rest) {
    return QByteArray::number(msecs) + ' ' + rest + '\n';
}

} // namespace

class SampleJournalTest : public QObject {
    Q_OBJECT
private slots:
    void damagedLinesAreLeftOutAndCounted_data();
    void damagedLinesAreLeftOutAndCounted();
};

void SampleJournalTest::damagedLinesAreLeftOutAndCounted_data() {
    const qint64 last = kStartMsecs + 60'000;
    QTest::addColumn<QByteArray>("inserted");
    QTest::addColumn<int>("damaged");
    QTest::newRow("nothing") << QByteArray() << 0;
    QTest::newRow("at the limits") << line(kStartMsecs - kDayMsecs, "0 3100 5100 3100 5100 B") << 0;
    QTest::newRow("unreadable readings") << line(last, "0 -1 -1 0 0 -") << 0;
    QTest::newRow("a day before the start")
        << line(kStartMsecs - kDayMsecs - 1, "0 0 0 0 0 W") << 1;
    QTest::newRow("a day after the latest") << line(last + kDayMsecs + 1, "0 0 0 0 0 W") << 1;
    QTest::newRow("a time near overflow") << line(9'223'372'036'854'775'000, "0 0 0 0 0 W") << 1;
    QTest::newRow("a time beyond 64 bits") << QByteArray("99999999999999999999 0 0 0 0 0 W\n") << 1;
    QTest::newRow("a time before 1970") << line(-kDayMsecs * 365 * 300, "0 0 0 0 0 W") << 1;
    QTest::newRow("over 31 V") << line(last, "0 3101 0 0 0 W") << 1;
    QTest::newRow("over 5.1 A") << line(last, "0 0 5101 0 0 W") << 1;
    QTest::newRow("a negative reading") << line(last, "0 -2 0 0 0 W") << 1;
    QTest::newRow("a voltage setpoint over 31 V") << line(last, "0 0 0 3101 0 W") << 1;
    QTest::newRow("a current setpoint over 5.1 A") << line(last, "0 0 0 0 5101 W") << 1;
    QTest::newRow("a negative setpoint") << line(last, "0 0 0 -1 0 W") << 1;
    QTest::newRow("an offset of two days") << line(last, "172800 0 0 0 0 W") << 1;
    QTest::newRow("an unknown status") << line(last, "0 0 0 0 0 X") << 1;
    QTest::newRow("a field missing") << line(last, "0 0 0 0 W") << 1;
    QTest::newRow("an empty line") << QByteArray("\n") << 1;
    QTest::newRow("three damaged")
        << line(last, "0 0 0 0 0 X") + "\n" + line(-1, "0 0 0 0 0 W") << 3;
}

// Whatever a damaged disk or a stray write puts into the journal, the
// values read back are those a supply can have, at moments of the run:
// nothing else reaches the spreadsheet or the picture.
void SampleJournalTest::damagedLinesAreLeftOutAndCounted() {
    QFETCH(QByteArray, inserted);
    QFETCH(int, damaged);
    const RunSeries good = goodRun();
    const QByteArray journal = journalOf(good);
    const qsizetype secondLine = journal.indexOf('\n', journal.indexOf('\n') + 1) + 1;
    const RunSeries read =
        readSampleJournal(journal.left(secondLine) + inserted + journal.mid(secondLine));
    QCOMPARE(read.damagedLines, damaged);
    QCOMPARE(read.startMsecs, good.startMsecs);
    const qsizetype accepted = read.samples.size() - good.samples.size();
    QCOMPARE(accepted, damaged == 0 && !inserted.isEmpty() ? 1 : 0);
    QCOMPARE(read.samples.first(), good.samples.first());
    QCOMPARE(read.samples.last(), good.samples.last());
}

QTEST_MAIN(SampleJournalTest)
#include "test_sample_journal.moc"
