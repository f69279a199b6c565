// The stop against the disk: from a switch-off to the first whole output-off
// frame written to the supply with an empty, a day's and a week's log, and
// the sender's longest pause across a switch-off with a week's log and
// across the journal's syncs when each sync takes 500 ms, and across a
// switch-off while the worker writes a week's spreadsheet and picture. The
// window runs on its own timers with the record worker on its own thread, as
// the program.
//   build/bench/bench_stop
#include "fakes.h"
#include "live_on_fakes.h"
#include "measuring.h"
#include "record/log_text.h"
#include "record/record_file.h"
#include "record/sample.h"
#include "window/log_box.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>

#include <cstdio>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr int kLinesPerDay = 86400;

QString logLines(int count) {
    QString text;
    const QString line = QStringLiteral("\r\n") + logMeasurementLine(QStringLiteral("05:03:09"),
                                                                     QStringLiteral("12.00V"),
                                                                     QStringLiteral("1.200A"));
    text.reserve(count * line.size());
    for (int i = 0; i < count; ++i) {
        text += line;
    }
    return text;
}

struct StopTimes {
    double toOffFrameMs;
    double longestPauseMs;
};

// Output on with a log of this many lines, then the stop, in the event loop
// as the operator's click comes.
StopTimes stopWithLog(LiveOnFakes& live, const QString& lines) {
    MainWindow& w = live.window;
    w.outputButtonClicked();
    w.session().appendLog(lines);
    runFor(1000);
    const QByteArray offFrame = w.session().state.frameText.left(15).toLatin1() + 'N';
    const qint64 before = live.port.clock.nsecsElapsed();
    runFor(300);
    const qint64 stop = live.port.clock.nsecsElapsed();
    w.outputButtonClicked();
    runFor(1500);
    waitFor([&] { return live.records.waitUntilIdle(0); }, 60000);
    return {static_cast<double>(live.port.wholeFrameAfter(stop, offFrame)) / 1e6,
            static_cast<double>(live.port.longestPause(before, live.port.clock.nsecsElapsed())) /
                1e6};
}

// A week of one-second readings, the voltage wandering by a few counts.
RunSeries weekOfSamples() {
    RunSeries series;
    series.begin(QDateTime(QDate(2026, 12, 7), QTime(8, 0)));
    series.samples.reserve(7 * kLinesPerDay);
    for (int i = 0; i < 7 * kLinesPerDay; ++i) {
        series.samples.append({series.startMsecs + i * qint64(1000), series.startUtcOffsetSeconds,
                               1200 + i % 7, 1200, 1200, 2000, 'W', true});
    }
    return series;
}

struct CompanionTimes {
    double workerMs;
    double longestPauseMs;
};

// A week's record with its samples handed to the worker as the operator
// switches off: the sender's longest pause while the worker makes and writes
// that record's spreadsheet and picture and then the stop's own record.
CompanionTimes stopWithWeekCompanions(LiveOnFakes& live, const RunSeries& week, int round) {
    MainWindow& w = live.window;
    w.outputButtonClicked();
    runFor(1000);
    const qint64 before = live.port.clock.nsecsElapsed();
    runFor(300);
    const RecordSet record{live.dir.path() + QStringLiteral("/Week"),
                           QStringLiteral("week%1").arg(round),
                           {},
                           QStringLiteral("Save Path:"),
                           {},
                           week};
    QElapsedTimer worker;
    worker.start();
    live.records.save(record, QByteArrayLiteral("Velkor\r\n"), -1);
    w.outputButtonClicked();
    waitFor([&] { return live.records.waitUntilIdle(0); }, 60000);
    const double workerMs = static_cast<double>(worker.nsecsElapsed()) / 1e6;
    runFor(300);
    return {workerMs,
            static_cast<double>(live.port.longestPause(before, live.port.clock.nsecsElapsed())) /
                1e6};
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::pair<const char*, int> sizes[] = {
        {"empty", 0}, {"day", kLinesPerDay}, {"week", 7 * kLinesPerDay}};
    QList<double> stopMs[3];
    QList<double> pauseMs[3];
    {
        LiveOnFakes live(DiskCalls::real());
        for (int round = 0; round < 3; ++round) {
            for (int size = 0; size < 3; ++size) {
                const StopTimes times = stopWithLog(live, logLines(sizes[size].second));
                stopMs[size] << times.toOffFrameMs;
                pauseMs[size] << times.longestPauseMs;
            }
        }
        if (!live.dialogs.shown.isEmpty()) {
            std::fprintf(stderr, "a save failed\n");
            return 1;
        }
    }

    // Journal syncs of 500 ms each against the disk's own, over 6 s on.
    const auto longestPauseWithSync = [](int extraMs) {
        DiskCalls disk = DiskCalls::real();
        const auto real = disk.syncData;
        disk.syncData = [real, extraMs](int fd) {
            std::this_thread::sleep_for(std::chrono::milliseconds(extraMs));
            return real(fd);
        };
        LiveOnFakes live(disk);
        live.window.outputButtonClicked();
        const qint64 from = live.port.clock.nsecsElapsed();
        runFor(6000);
        const double pause =
            static_cast<double>(live.port.longestPause(from, live.port.clock.nsecsElapsed())) / 1e6;
        live.window.outputButtonClicked();
        live.records.waitUntilIdle(30000);
        return pause;
    };
    const double slowSyncPause = longestPauseWithSync(500);
    const double syncPause = longestPauseWithSync(0);

    QList<double> companionWorkerMs;
    QList<double> companionPauseMs;
    {
        LiveOnFakes live(DiskCalls::real());
        const RunSeries week = weekOfSamples();
        for (int round = 0; round < 3; ++round) {
            const CompanionTimes times = stopWithWeekCompanions(live, week, round);
            companionWorkerMs << times.workerMs;
            companionPauseMs << times.longestPauseMs;
        }
        if (QDir(live.dir.path() + QStringLiteral("/Week"))
                    .entryList({QStringLiteral("*.png")}, QDir::Files)
                    .size() != 3 ||
            !live.dialogs.shown.isEmpty()) {
            std::fprintf(stderr, "a week's companions were not written\n");
            return 1;
        }
    }

    std::printf("%-58s %10s %10s\n", "measure", "value", "target");
    for (int size = 0; size < 3; ++size) {
        std::printf("%-58s %10.1f %10s\n",
                    qPrintable(QStringLiteral("stop -> whole off frame, %1 log (median of 3, ms)")
                                   .arg(QString::fromLatin1(sizes[size].first))),
                    percentile(stopMs[size], 0.5), "<= 200");
    }
    std::printf("%-58s %10.2f %10s\n", "stop -> off frame, week / empty (median)",
                percentile(stopMs[2], 0.5) / percentile(stopMs[0], 0.5), "<= 1.2");
    std::printf("%-58s %10.1f %10s\n", "sender's longest pause across a stop, week log (ms)",
                percentile(pauseMs[2], 1.0), "<= 20");
    std::printf("%-58s %10.2f %10s\n", "  the same, week / empty log (worst of 3)",
                percentile(pauseMs[2], 1.0) / percentile(pauseMs[0], 1.0), "");
    std::printf("%-58s %10.1f %10s\n", "sender's longest pause, journal syncs of 500 ms (ms)",
                slowSyncPause, "<= 20");
    std::printf("%-58s %10.2f %10s\n", "  the same, 500 ms syncs / the disk's own syncs",
                slowSyncPause / syncPause, "");
    std::printf("%-58s %10.1f %10s\n", "worker: a week's csv + png, then the stop (median, ms)",
                percentile(companionWorkerMs, 0.5), "");
    std::printf("%-58s %10.1f %10s\n", "sender's longest pause across it (worst of 3, ms)",
                percentile(companionPauseMs, 1.0), "<= 20");
    std::printf("%-58s %10.2f %10s\n", "  the same / a week's text log only (worst of 3)",
                percentile(companionPauseMs, 1.0) / percentile(pauseMs[2], 1.0), "");
    return 0;
}
