#include "record/record_companions.h"
#include "record/record_csv.h"
#include "record/run_picture.h"
#include "record/sample_journal.h"

#include <QTimeZone>
#include <QtTest>

namespace {

QDateTime at(QDate date, QTime time, int offsetHours) {
    return QDateTime(date, time, QTimeZone(offsetHours * 3600));
}

Sample reading(const QDateTime& moment, const char* volts, const char* amperes,
               bool overCurrent = false, bool linkUp = true) {
    return sampleOf(moment, QString::fromLatin1(volts), QString::fromLatin1(amperes), overCurrent,
                    linkUp, 1250, 1000);
}

} // namespace

class RecordCompanionsTest : public QObject {
    Q_OBJECT
private slots:
    void csvRows_data();
    void csvRows();
    void journalLinesComeBackAsTheSamples();
};

void RecordCompanionsTest::csvRows_data() {
    QTest::addColumn<QList<Sample>>("samples");
    QTest::addColumn<QByteArray>("rows");
    const QDate day(2026, 12, 7);
    QTest::newRow("readings, setpoints, status")
        << QList<Sample>{reading(at(day, QTime(17, 29, 32), 8), "1234", "0567"),
                         reading(at(day, QTime(17, 29, 33), 8), "3100", "5100", true)}
        << QByteArray("2026-12-07T17:29:32+08:00,12.34,0.567,12.50,1.000,W,1,1,,\r\n"
                      "2026-12-07T17:29:33+08:00,31.00,5.100,12.50,1.000,B,1,1,,\r\n");
    QTest::newRow("over midnight")
        << QList<Sample>{reading(at(day, QTime(23, 59, 59), 8), "0500", "0100"),
                         reading(at(day.addDays(1), QTime(0, 0, 0), 8), "0500", "0100")}
        << QByteArray("2026-12-07T23:59:59+08:00,5.00,0.100,12.50,1.000,W,1,1,,\r\n"
                      "2026-12-08T00:00:00+08:00,5.00,0.100,12.50,1.000,W,1,1,,\r\n");
    // The clock goes back an hour: the same clock time twice, told apart by
    // the offset.
    QTest::newRow("end of summer time")
        << QList<Sample>{reading(at(QDate(2026, 10, 25), QTime(2, 30, 0), 2), "0500", "0100"),
                         reading(at(QDate(2026, 10, 25), QTime(2, 30, 0), 1), "0500", "0100"),
                         reading(at(QDate(2026, 1, 2), QTime(3, 4, 5), -5), "0001", "0001")}
        << QByteArray("2026-10-25T02:30:00+02:00,5.00,0.100,12.50,1.000,W,1,1,,\r\n"
                      "2026-10-25T02:30:00+01:00,5.00,0.100,12.50,1.000,W,1,1,,\r\n"
                      "2026-01-02T03:04:05-05:00,0.01,0.001,12.50,1.000,W,1,1,,\r\n");
    QTest::newRow("link lost: no readings, not zeros")
        << QList<Sample>{reading(at(day, QTime(8, 0, 0), 8), "0000", "0000", false, false),
                         reading(at(day, QTime(8, 0, 1), 8), "12a4", "1000")}
        << QByteArray("2026-12-07T08:00:00+08:00,,,12.50,1.000,,0,0,,\r\n"
                      "2026-12-07T08:00:01+08:00,,1.000,12.50,1.000,W,1,1,,\r\n");
    Sample inRun = reading(at(day, QTime(8, 0, 3), 8), "0650", "0800");
    inRun.step = 3;
    inRun.pass = 12;
    QTest::newRow("a run's step and pass, last")
        << QList<Sample>{inRun}
        << QByteArray("2026-12-07T08:00:03+08:00,6.50,0.800,12.50,1.000,W,1,1,3,12\r\n");
    Sample stale = reading(at(day, QTime(8, 0, 2), 8), "1234", "1000");
    stale.fresh = false;
    QTest::newRow("stale: the last reading is not repeated as a live one")
        << QList<Sample>{stale} << QByteArray("2026-12-07T08:00:02+08:00,,,12.50,1.000,,1,0,,\r\n");
}

void RecordCompanionsTest::csvRows() {
    QFETCH(QList<Sample>, samples);
    QFETCH(QByteArray, rows);
    // A locale whose decimal mark is a comma changes nothing.
    for (const char* locale : {"C", "de_DE", "zh_CN"}) {
        QLocale::setDefault(QLocale(QString::fromLatin1(locale)));
        RunSeries series;
        series.samples = samples;
        QCOMPARE(recordCsv(series),
                 "time,voltage_V,current_A,voltage_setpoint_V,current_setpoint_A,status,"
                 "link_up,fresh,step,pass\r\n" +
                     rows);
    }
    QLocale::setDefault(QLocale::c());
}

void RecordCompanionsTest::journalLinesComeBackAsTheSamples() {
    const QDate day(2026, 12, 7);
    RunSeries series;
    series.begin(at(day, QTime(17, 29, 31, 250), -5));
    series.samples = {reading(at(day, QTime(17, 29, 32, 251), -5), "1234", "0567"),
                      reading(at(day, QTime(17, 29, 33, 250), -5), "0000", "0000", false, false),
                      reading(at(day, QTime(17, 29, 33, 750), -5), "1234", "0567", true),
                      reading(at(day, QTime(17, 29, 34, 249), -5), "12a4", "5100", true)};
    series.samples[2].fresh = false;
    // A run's shape and each line's step and pass come back too.
    series.run = {4, 0};
    series.samples[3].step = 4;
    series.samples[3].pass = 17;
    QByteArray journal = sampleJournalStart(series);
    for (const Sample& sample : series.samples) {
        journal += sampleJournalLine(sample);
    }
    QCOMPARE(readSampleJournal(journal), series);

    // A power cut leaves a line cut short, or zeros, at the end.
    RunSeries cut = series;
    cut.samples.removeLast();
    QCOMPARE(readSampleJournal(journal.chopped(5)), cut);
    QCOMPARE(readSampleJournal(journal.chopped(1) + QByteArray(64, '\0')), cut);
    // Without its start line the run starts at its first reading, and its
    // shape is not known.
    RunSeries headless = series;
    headless.startMsecs = series.samples.first().msecsSinceEpoch;
    headless.run = {};
    QCOMPARE(readSampleJournal(journal.mid(journal.indexOf('\n') + 1)), headless);

    // The companions take the record's stem, suffix included.
    const QList<CompanionFile> files = recordCompanions(
        QStringLiteral("/data/Record/2026127172931_2.TXT"), readSampleJournal(journal));
    QCOMPARE(files.size(), 2);
    QCOMPARE(companionPath(QStringLiteral("/data/Record/2026127172931_2.TXT"), "csv"),
             QStringLiteral("/data/Record/2026127172931_2.csv"));
    QCOMPARE(files[0].suffix, QStringLiteral(".csv"));
    QCOMPARE(files[0].bytes, recordCsv(series));
    QCOMPARE(files[1].suffix, QStringLiteral(".png"));
    const QImage picture = QImage::fromData(files[1].bytes, "PNG");
    QCOMPARE(picture.size(), kRunPictureSize);
}

QTEST_MAIN(RecordCompanionsTest)
#include "test_record_companions.moc"
