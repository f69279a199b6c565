#include "record/run_picture.h"

#include <QTimeZone>
#include <QtTest>

#include <limits>

Q_DECLARE_METATYPE(RunShape)
Q_DECLARE_METATYPE(LogEnd)
Q_DECLARE_METATYPE(RunPosition)

namespace {

QDateTime at(QDate date, QTime time, int offsetHours) {
    return QDateTime(date, time, QTimeZone(offsetHours * 3600));
}

struct Line {
    int voltage = 0;
    int current = 0;
    int voltageSetpoint = 0;
    int currentSetpoint = 0;
    bool linkUp = true;
    bool fresh = true;
};

// A run of one line a second from `start`, `line(second)` each.
template <typename Lines> RunSeries run(const QDateTime& start, int seconds, Lines line) {
    RunSeries series;
    series.begin(start);
    series.samples.reserve(seconds);
    for (int second = 1; second <= seconds; ++second) {
        const Line values = line(second);
        Sample sample = sampleOf(start.addSecs(second), {}, {}, false, values.linkUp,
                                 values.voltageSetpoint, values.currentSetpoint);
        sample.voltage = values.voltage;
        sample.current = values.current;
        sample.fresh = values.linkUp && values.fresh;
        series.samples.append(sample);
    }
    return series;
}

bool near(QRgb pixel, const QColor& colour) {
    return qAbs(qRed(pixel) - colour.red()) < 30 && qAbs(qGreen(pixel) - colour.green()) < 30 &&
           qAbs(qBlue(pixel) - colour.blue()) < 30;
}

bool columnHas(const QImage& image, int x, const QRect& plot, const QColor& colour) {
    for (int y = plot.top(); y <= plot.bottom(); ++y) {
        if (near(image.pixel(x, y), colour)) {
            return true;
        }
    }
    return false;
}

// The share of a plot's column that has the colour.
double columnShare(const QImage& image, int x, const QRect& plot, const QColor& colour) {
    int count = 0;
    for (int y = plot.top(); y <= plot.bottom(); ++y) {
        count += near(image.pixel(x, y), colour) ? 1 : 0;
    }
    return double(count) / plot.height();
}

// The share of the columns from `left` to `right` in which a line of the
// colour passes within a pixel of `y`.
double rowShare(const QImage& image, int left, int right, double y, const QColor& colour) {
    int count = 0;
    for (int x = left; x <= right; ++x) {
        bool inked = false;
        for (int row = int(y) - 1; row <= int(y) + 1; ++row) {
            inked = inked || near(image.pixel(x, row), colour);
        }
        count += inked ? 1 : 0;
    }
    return double(count) / (right - left + 1);
}

constexpr int kWeekSeconds = 7 * 24 * 3600;

} // namespace

class RunPictureTest : public QObject {
    Q_OBJECT
private slots:
    void linkLostIsAFilledBand_data();
    void linkLostIsAFilledBand();
    void staleSecondsAreAGapWithoutABand();
    void dashedSetpointsShowConstantVoltageAndCurrent();
    void weekPictureKeepsEveryPeak();
    void titleSaysWhenAndHowLong_data();
    void titleSaysWhenAndHowLong();
    void titleSaysWhatAndHowItEnded_data();
    void titleSaysWhatAndHowItEnded();
    void passBoundariesAreMarkedAcrossBothPlots();
    void fewReadingsShowAsPoints();
    void damagedTimesAndValuesStayInThePicture_data();
    void damagedTimesAndValuesStayInThePicture();
};

void RunPictureTest::linkLostIsAFilledBand_data() {
    QTest::addColumn<int>("seconds");
    QTest::addColumn<int>("lostFrom");
    QTest::addColumn<int>("lostSeconds");
    QTest::newRow("ten minutes, a minute lost") << 600 << 300 << 60;
    QTest::newRow("ten minutes, one line lost") << 600 << 200 << 1;
    QTest::newRow("lost to the end") << 600 << 580 << 21;
    QTest::newRow("a week, an hour lost") << kWeekSeconds << 2 * 86400 << 3600;
    QTest::newRow("a week, 20 s lost") << kWeekSeconds << 3 * 86400 << 20;
}

void RunPictureTest::linkLostIsAFilledBand() {
    QFETCH(int, seconds);
    QFETCH(int, lostFrom);
    QFETCH(int, lostSeconds);
    const QDateTime start = at(QDate(2026, 12, 7), QTime(17, 0, 0), 8);
    const RunSeries series = run(start, seconds, [&](int second) {
        return Line{1000, 500, 1000, 800, second < lostFrom || second >= lostFrom + lostSeconds};
    });
    const QImage image = drawRunPicture(series, QStringLiteral("2026127170"));
    const RunPictureGeometry g = runPictureGeometry(series, image.size());

    // From the first line logged without the link to the line after the
    // last, or the end, and never narrower than a few pixels.
    const int first = g.xOf(start.addSecs(lostFrom).toMSecsSinceEpoch());
    const int last =
        lostFrom + lostSeconds > seconds
            ? g.voltagePlot.right()
            : std::max(g.xOf(start.addSecs(lostFrom + lostSeconds).toMSecsSinceEpoch()) - 1,
                       first + 2);
    for (const QRect& plot : {g.voltagePlot, g.currentPlot}) {
        for (int x = first; x <= last; ++x) {
            QVERIFY2(columnShare(image, x, plot, kLinkLostColour) > 0.9,
                     qPrintable(QString::number(x - first)));
        }
        for (const int x : {first - 3, last + 3}) {
            if (x <= plot.right()) {
                QVERIFY(columnShare(image, x, plot, kLinkLostColour) < 0.1);
            }
        }
    }
    // Readings go on either side of the band.
    const int before = g.xOf(start.addSecs(lostFrom / 2).toMSecsSinceEpoch());
    QVERIFY(near(image.pixel(before, int(g.yOfVoltage(1000))), kVoltageTraceColour));
    QVERIFY(near(image.pixel(before, int(g.yOfCurrent(500))), kCurrentTraceColour));
}

// Half a minute in which the supply was silent but not yet given up: the
// last readings it sent are no measurements, so the traces break there, and
// the link was not lost, so no band shows; nor do those lines count as
// readings.
void RunPictureTest::staleSecondsAreAGapWithoutABand() {
    const QDateTime start = at(QDate(2026, 12, 7), QTime(17, 0, 0), 8);
    const RunSeries series = run(start, 600, [](int second) {
        return Line{1000, 500, 1000, 800, true, second < 300 || second >= 330};
    });
    const QImage image = drawRunPicture(series, QStringLiteral("2026127170"));
    const RunPictureGeometry g = runPictureGeometry(series, image.size());
    const auto x = [&](int second) { return g.xOf(start.addSecs(second).toMSecsSinceEpoch()); };
    for (int column = x(300) + 2; column <= x(329) - 2; ++column) {
        QVERIFY(!columnHas(image, column, g.voltagePlot, kVoltageTraceColour));
        QVERIFY(!columnHas(image, column, g.currentPlot, kCurrentTraceColour));
        QVERIFY(!columnHas(image, column, g.voltagePlot, kLinkLostColour));
    }
    for (const int second : {150, 450}) {
        QVERIFY(columnHas(image, x(second), g.voltagePlot, kVoltageTraceColour));
        QVERIFY(columnHas(image, x(second), g.currentPlot, kCurrentTraceColour));
    }
    QVERIFY(runPictureSubtitle(series, QStringLiteral("2026127170"))
                .endsWith(QStringLiteral("    2026127170    570 readings")));
}

// A sweep into a 10 ohm load with a 1.5 A limit: at 10 V the supply holds
// the voltage and the current stays under its limit; asked for 30 V it holds
// the current and the voltage stops at 15 V.
void RunPictureTest::dashedSetpointsShowConstantVoltageAndCurrent() {
    const QDateTime start = at(QDate(2026, 12, 7), QTime(9, 0, 0), 1);
    const RunSeries series = run(start, 600, [](int second) {
        if (second < 300) {
            return Line{1000, 1000, 1000, 1500};
        }
        return Line{1500, 1500, 3000, 1500};
    });
    const QImage image = drawRunPicture(series, QStringLiteral("20261279"));
    const RunPictureGeometry g = runPictureGeometry(series, image.size());
    const auto x = [&](int second) { return g.xOf(start.addSecs(second).toMSecsSinceEpoch()); };
    const int cvFrom = x(20);
    const int cvTo = x(280);
    const int ccFrom = x(320);
    const int ccTo = x(580);

    // The voltage setpoint stands dashed above the voltage the supply
    // could give, and only there.
    const double asked = rowShare(image, ccFrom, ccTo, g.yOfVoltage(3000), kVoltageSetpointColour);
    QVERIFY2(asked > 0.3 && asked < 0.85, qPrintable(QString::number(asked)));
    QCOMPARE(rowShare(image, cvFrom, cvTo, g.yOfVoltage(3000), kVoltageSetpointColour), 0.0);
    QCOMPARE(rowShare(image, ccFrom, ccTo, g.yOfVoltage(1500), kVoltageTraceColour), 1.0);
    // The current limit stands dashed above the current while the supply
    // holds the voltage, and the current runs along it while it holds the
    // current.
    const double limit = rowShare(image, cvFrom, cvTo, g.yOfCurrent(1500), kCurrentSetpointColour);
    QVERIFY2(limit > 0.3 && limit < 0.85, qPrintable(QString::number(limit)));
    QCOMPARE(rowShare(image, cvFrom, cvTo, g.yOfCurrent(1000), kCurrentTraceColour), 1.0);
    QCOMPARE(rowShare(image, ccFrom, ccTo, g.yOfCurrent(1500), kCurrentTraceColour), 1.0);
    // The scale holds the setpoint above every reading.
    QVERIFY(g.voltageTop >= 3000);
}

void RunPictureTest::weekPictureKeepsEveryPeak() {
    const QDateTime start = at(QDate(2026, 12, 7), QTime(0, 0, 0), 8);
    // The voltage jumps between 5 V and 15 V every second; the link is lost
    // for an hour on the third day.
    const RunSeries series = run(start, kWeekSeconds, [](int second) {
        return Line{second % 2 ? 500 : 1500, 2000, 1500, 3000,
                    second < 2 * 86400 || second >= 2 * 86400 + 3600};
    });
    QCOMPARE(series.samples.size(), kWeekSeconds);
    const QImage image = drawRunPicture(series, QStringLiteral("2026127000"));
    const RunPictureGeometry g = runPictureGeometry(series, image.size());

    const int day = g.xOf(start.addSecs(86400 / 2).toMSecsSinceEpoch());
    for (const int volts : {500, 1000, 1500}) {
        QVERIFY2(near(image.pixel(day, int(g.yOfVoltage(volts))), kVoltageTraceColour),
                 qPrintable(QString::number(volts)));
    }
    QVERIFY(!near(image.pixel(day, int(g.yOfVoltage(1800))), kVoltageTraceColour));
    QVERIFY(near(image.pixel(day, int(g.yOfCurrent(2000))), kCurrentTraceColour));
    const int lost = g.xOf(start.addSecs(2 * 86400 + 1800).toMSecsSinceEpoch());
    QVERIFY(near(image.pixel(lost, g.voltagePlot.center().y()), kLinkLostColour));
    QVERIFY(!columnHas(image, lost, g.currentPlot, kCurrentTraceColour));
}

void RunPictureTest::titleSaysWhenAndHowLong_data() {
    QTest::addColumn<QDateTime>("start");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("title");
    const QDate day(2026, 12, 7);
    QTest::newRow("seconds") << at(day, QTime(17, 29, 32), 8) << 45
                             << "Monday 7 December 2026, 17:29:32, for 45 s";
    QTest::newRow("minutes") << at(day, QTime(9, 5, 0), -5) << 12 * 60 + 5
                             << "Monday 7 December 2026, 09:05:00, for 12 min 05 s";
    QTest::newRow("hours") << at(QDate(2026, 10, 25), QTime(23, 0, 0), 2) << 2 * 3600 + 5 * 60 + 30
                           << "Sunday 25 October 2026, 23:00:00, for 2 h 05 min 30 s";
    QTest::newRow("a week") << at(QDate(2027, 1, 1), QTime(0, 0, 0), 0) << kWeekSeconds - 60
                            << "Friday 1 January 2027, 00:00:00, for 6 d 23 h 59 min";
    QTest::newRow("no lines") << at(day, QTime(8, 0, 0), 8) << 0
                              << "Monday 7 December 2026, 08:00:00, for 0 s";
}

void RunPictureTest::titleSaysWhenAndHowLong() {
    QFETCH(QDateTime, start);
    QFETCH(int, seconds);
    QFETCH(QString, title);
    RunSeries series;
    series.begin(start);
    if (seconds > 0) {
        series.samples.append(
            sampleOf(start.addSecs(seconds), QStringLiteral("1000"), {}, false, true, 0, 0));
    }
    QCOMPARE(runPictureSubtitle(series, QStringLiteral("r")).section(QStringLiteral("    "), 0, 0),
             title);
}

void RunPictureTest::titleSaysWhatAndHowItEnded_data() {
    QTest::addColumn<RunShape>("shape");
    QTest::addColumn<LogEnd>("end");
    QTest::addColumn<RunPosition>("last");
    QTest::addColumn<QString>("title");
    QTest::newRow("completed") << RunShape{5, 3} << LogEnd::RunCompleted << RunPosition{5, 3}
                               << "Run of 5 steps × 3 passes, completed";
    QTest::newRow("stopped") << RunShape{5, 3} << LogEnd::RunStopped << RunPosition{3, 2}
                             << "Run of 5 steps × 3 passes, stopped in pass 2 at step 3";
    QTest::newRow("endless, watchdog")
        << RunShape{1, 0} << LogEnd::WatchdogTrip << RunPosition{1, 7}
        << "Run of 1 step, until stopped, ended by a watchdog trip in pass 7 at step 1";
    QTest::newRow("manual trip") << RunShape{} << LogEnd::OverCurrentTrip << RunPosition{}
                                 << "Output on, ended by an over-current trip";
    QTest::newRow("recovered run") << RunShape{2, 1} << LogEnd::NotNoted << RunPosition{2, 1}
                                   << "Run of 2 steps × 1 pass, recovered after the program "
                                      "stopped unexpectedly";
}

void RunPictureTest::titleSaysWhatAndHowItEnded() {
    QFETCH(RunShape, shape);
    QFETCH(LogEnd, end);
    QFETCH(RunPosition, last);
    QFETCH(QString, title);
    const QDateTime start = at(QDate(2026, 12, 7), QTime(17, 0, 0), 8);
    RunSeries series = run(start, 10, [](int) { return Line{1000, 500}; });
    series.run = shape;
    series.end = end;
    series.samples.last().step = last.step;
    series.samples.last().pass = last.pass;
    QCOMPARE(runPictureTitle(series), title);
}

// Three passes of three two-second steps: a mark where the second and the
// third pass begin, through both plots, and none between.
void RunPictureTest::passBoundariesAreMarkedAcrossBothPlots() {
    const QDateTime start = at(QDate(2026, 12, 7), QTime(17, 0, 0), 8);
    RunSeries series = run(start, 18, [](int second) {
        const int step = (second - 1) / 2 % 3;
        return Line{500 + 500 * step, 100 + 100 * step, 500 + 500 * step, 1000};
    });
    for (int i = 0; i < series.samples.size(); ++i) {
        series.samples[i].step = i / 2 % 3 + 1;
        series.samples[i].pass = i / 6 + 1;
    }
    series.run = {3, 3};
    series.end = LogEnd::RunCompleted;
    const QVector<qint64> boundaries = passBoundaries(series);
    QCOMPARE(boundaries, (QVector<qint64>{start.addSecs(7).toMSecsSinceEpoch(),
                                          start.addSecs(13).toMSecsSinceEpoch()}));
    const QImage image = drawRunPicture(series, QStringLiteral("2026127170"));
    const RunPictureGeometry g = runPictureGeometry(series, image.size());
    for (const qint64 msecs : boundaries) {
        for (const QRect& plot : {g.voltagePlot, g.currentPlot}) {
            QVERIFY(columnShare(image, g.xOf(msecs), plot, kPassMarkColour) > 0.8);
        }
    }
    const int between = g.xOf(start.addSecs(10).toMSecsSinceEpoch());
    QVERIFY(!columnHas(image, between, g.voltagePlot, kPassMarkColour));
    QVERIFY(!columnHas(image, between, g.currentPlot, kPassMarkColour));
}

// A trip at the first reading leaves a record of one line: its reading is a
// dot, not a line of no length.
void RunPictureTest::fewReadingsShowAsPoints() {
    const QDateTime start = at(QDate(2026, 12, 7), QTime(17, 0, 0), 8);
    RunSeries series = run(start, 1, [](int) { return Line{1200, 2500, 1200, 2000}; });
    series.end = LogEnd::OverCurrentTrip;
    const QImage image = drawRunPicture(series, QStringLiteral("2026127170"));
    const RunPictureGeometry g = runPictureGeometry(series, image.size());
    const int x = g.xOf(series.samples[0].msecsSinceEpoch);
    const auto inked = [&](double y, const QColor& colour) {
        int count = 0;
        for (int dx = -4; dx <= 4; ++dx) {
            for (int dy = -4; dy <= 4; ++dy) {
                count += near(image.pixel(x + dx, int(y) + dy), colour) ? 1 : 0;
            }
        }
        return count;
    };
    QVERIFY(inked(g.yOfVoltage(1200), kVoltageTraceColour) >= 25);
    QVERIFY(inked(g.yOfCurrent(2500), kCurrentTraceColour) >= 25);
    // The setpoints beside them: a 2 A limit under the 2.5 A drawn.
    QVERIFY(inked(g.yOfCurrent(2000), kCurrentSetpointColour) >= 10);
    QVERIFY(runPictureSubtitle(series, QString()).endsWith(QStringLiteral(" 1 reading")));
}

// Times and values a damaged journal could hold are drawn at the picture's
// edges; the run's own readings still show, and nothing overflows (the
// sanitized build stops at any overflow) or runs on without end.
void RunPictureTest::damagedTimesAndValuesStayInThePicture_data() {
    QTest::addColumn<Sample>("damaged");
    QTest::addColumn<qint64>("startMsecs");
    QTest::addColumn<int>("startOffset");
    constexpr qint64 kMost = std::numeric_limits<qint64>::max();
    constexpr qint64 kLeast = std::numeric_limits<qint64>::min();
    constexpr int kMostInt = std::numeric_limits<int>::max();
    constexpr int kLeastInt = std::numeric_limits<int>::min();
    const qint64 start = at(QDate(2026, 12, 7), QTime(17, 0, 0), 8).toMSecsSinceEpoch();
    const auto line = [](qint64 msecs, int offset, int volts, int amperes, bool linkUp = true) {
        Sample sample;
        sample.msecsSinceEpoch = msecs;
        sample.utcOffsetSeconds = offset;
        sample.voltage = volts;
        sample.current = amperes;
        sample.voltageSetpoint = volts;
        sample.currentSetpoint = amperes;
        sample.linkUp = linkUp;
        return sample;
    };
    QTest::newRow("a line at the end of time") << line(kMost, 0, 1000, 500) << start << 28800;
    QTest::newRow("a line before all time") << line(kLeast, 0, 1000, 500) << start << 28800;
    QTest::newRow("a lost line at the end of time")
        << line(kMost, 0, 1000, 500, false) << start << 28800;
    QTest::newRow("a start at the end of time") << line(start, 0, 1000, 500) << kMost << 28800;
    QTest::newRow("a start before all time") << line(start, 0, 1000, 500) << kLeast << kLeastInt;
    QTest::newRow("absurd offsets") << line(start + 7000, kMostInt, 1000, 500) << start << kMostInt;
    QTest::newRow("absurd values") << line(start + 7000, 0, kMostInt, kLeastInt) << start << 0;
    QTest::newRow("absurd negative values")
        << line(start + 7000, kLeastInt, kLeastInt, kMostInt) << start << 0;
}

void RunPictureTest::damagedTimesAndValuesStayInThePicture() {
    QFETCH(Sample, damaged);
    QFETCH(qint64, startMsecs);
    QFETCH(int, startOffset);
    const QDateTime start = at(QDate(2026, 12, 7), QTime(17, 0, 0), 8);
    RunSeries series = run(start, 60, [](int) { return Line{1000, 500}; });
    series.samples.insert(30, damaged);
    series.startMsecs = startMsecs;
    series.startUtcOffsetSeconds = startOffset;

    const QImage image = drawRunPicture(series, QStringLiteral("2026127170"));
    QCOMPARE(image.size(), kRunPictureSize);
    const RunPictureGeometry g = runPictureGeometry(series, image.size());
    QVERIFY(g.voltageTop >= 1000 && g.voltageTop <= 11000);
    QVERIFY(g.currentTop >= 500 && g.currentTop <= 11000);
    bool readingShown = false;
    for (int x = g.voltagePlot.left(); x <= g.voltagePlot.right() && !readingShown; ++x) {
        readingShown = near(image.pixel(x, int(g.yOfVoltage(1000))), kVoltageTraceColour);
    }
    QVERIFY(readingShown);
    QVERIFY(runPictureSubtitle(series, QString()).contains(QStringLiteral(", for ")));
}

QTEST_MAIN(RunPictureTest)
#include "test_run_picture.moc"
