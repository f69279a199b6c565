// A day at the bench in compressed time: the cost of a poll tick with a full
// day's measurement log against an empty one, and what the day costs in
// resident memory against the size of the log it keeps.
//   build/bench/bench_day_run
#include "day_run.h"
#include "measuring.h"
#include "window/log_box.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {

double residentBytes() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return static_cast<double>(fields.value(1).toLongLong()) *
           static_cast<double>(sysconf(_SC_PAGESIZE));
}

// Nanoseconds per poll tick (with its twenty sends) over this many ticks.
QList<double> tickCosts(DayRun& day, int ticks) {
    QList<double> costs;
    QElapsedTimer timer;
    day.run(ticks, [&](qint64) {
        costs.append(static_cast<double>(timer.nsecsElapsed()));
        timer.restart();
    });
    costs.removeFirst();
    return costs;
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    DayRun day;
    if (!day.start()) {
        std::fprintf(stderr, "the run did not start\n");
        return 1;
    }
    // Shown, as on the bench: a hidden editor never learns its real size.
    day.window->show();
    QApplication::processEvents();
    const int sample = 20000;
    const QList<double> early = tickCosts(day, sample);
    const double residentAtStart = residentBytes();

    day.run(DayRun::kTicksPerDay - 2 * sample);
    const QList<double> late = tickCosts(day, sample);
    const double residentAfterDay = residentBytes();
    const double logBytes = static_cast<double>(day.window->logBox->text().toUtf8().size());
    if (day.stop().isEmpty()) {
        std::fprintf(stderr, "no record file\n");
        return 1;
    }

    std::printf("%-52s %10s %10s\n", "measure", "value", "target");
    std::printf("%-52s %10.3f %10s\n", "poll tick p50, 24-hour log / empty log",
                percentile(late, 0.5) / percentile(early, 0.5), "<= 1.5");
    std::printf("%-52s %10.3f %10s\n", "poll tick p99, 24-hour log / empty log",
                percentile(late, 0.99) / percentile(early, 0.99), "<= 1.5");
    std::printf("%-52s %10.3f %10s\n", "resident memory after the day / at start",
                residentAfterDay / residentAtStart, "");
    std::printf("%-52s %10.3f %10s\n", "memory growth / log bytes",
                (residentAfterDay - residentAtStart) / logBytes, "<= 3");
    std::printf("(tick p50 %.1f us -> %.1f us, p99 %.1f us -> %.1f us; log %.1f MB; "
                "resident %.1f MB -> %.1f MB)\n",
                percentile(early, 0.5) / 1e3, percentile(late, 0.5) / 1e3,
                percentile(early, 0.99) / 1e3, percentile(late, 0.99) / 1e3, logBytes / 1e6,
                residentAtStart / 1e6, residentAfterDay / 1e6);
    return 0;
}
