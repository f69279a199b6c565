// The picture and the spreadsheet saved beside a record: the time to draw a
// week of one-second readings against an hour of them (each pixel column
// reduced to its least and greatest reading, so the week should cost little
// more than the hour), and the time to make both companions of a week.
//   build/bench/bench_run_picture
#include "record/record_companions.h"
#include "record/record_csv.h"
#include "record/run_picture.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTimeZone>

#include <algorithm>
#include <cstdio>

namespace {

RunSeries run(int seconds) {
    const QDateTime start(QDate(2026, 12, 7), QTime(8, 0, 0), QTimeZone(28800));
    RunSeries series;
    series.begin(start);
    series.samples.reserve(seconds);
    for (int second = 1; second <= seconds; ++second) {
        Sample sample = sampleOf(start.addSecs(second), QStringLiteral("1200"),
                                 QStringLiteral("0500"), false, second % 5000 > 30, 1200, 500);
        sample.voltage += second % 7;
        sample.current += (second / 60) % 50;
        series.samples.append(sample);
    }
    return series;
}

template <typename Work> double medianMsecs(int repeats, Work work) {
    QList<double> times;
    QElapsedTimer timer;
    for (int i = 0; i < repeats; ++i) {
        timer.start();
        work();
        times.append(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times.at(times.size() / 2);
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const RunSeries hour = run(3600);
    const RunSeries week = run(7 * 86400);
    const QString name = QStringLiteral("2026127800");

    const double hourPicture = medianMsecs(9, [&] { drawRunPicture(hour, name); });
    const double weekPicture = medianMsecs(9, [&] { drawRunPicture(week, name); });
    const double hourCsv = medianMsecs(9, [&] { recordCsv(hour); });
    const double weekCsv = medianMsecs(5, [&] { recordCsv(week); });
    const double weekBoth = medianMsecs(3, [&] { recordCompanions(name + ".TXT", week); });

    std::printf("%-52s %10s\n", "", "ms");
    std::printf("%-52s %10.1f\n", "draw an hour's picture (3600 readings)", hourPicture);
    std::printf("%-52s %10.1f\n", "draw a week's picture (604800 readings)", weekPicture);
    std::printf("%-52s %10.1f\n", "an hour's CSV", hourCsv);
    std::printf("%-52s %10.1f\n", "a week's CSV", weekCsv);
    std::printf("%-52s %10.1f\n", "a week's CSV and PNG bytes, off the window's thread", weekBoth);
    std::printf("\n%-52s %10.2f   (readings x168)\n", "ratio week / hour, picture",
                weekPicture / hourPicture);
    std::printf("%-52s %10.2f\n", "ratio week / hour, CSV", weekCsv / hourCsv);
    std::printf("%-52s %10.1f\n", "memory of a week's samples, MB",
                week.samples.size() * sizeof(Sample) / 1e6);
    return 0;
}
