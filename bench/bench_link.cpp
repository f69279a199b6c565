// Measures the serial link against the simulated supply: how evenly the
// frame is paced onto the line, and how soon a new setpoint reaches it.
//   build/bench/bench_link
#include "live_window.h"
#include "measuring.h"

#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

struct LogLine {
    qint64 ms;
    QByteArray what;
};

QList<LogLine> readFrameLog(const QString& path) {
    QList<LogLine> lines;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return lines;
    }
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        const qsizetype blank = line.indexOf(' ');
        if (blank > 0) {
            lines.append({line.left(blank).toLongLong(), line.mid(blank + 1)});
        }
    }
    return lines;
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    LiveWindow live;
    const QString logPath = live.dir.path() + QStringLiteral("/frames.log");
    Simulator sim(live.dir.path(), {QStringLiteral("--frame-log"), logPath});
    if (!sim.waitUntilLinked()) {
        std::fprintf(stderr, "the simulated supply did not start\n");
        return 1;
    }
    MainWindow& w = live.start();
    for (int waited = 0; waited < 10000 && !w.session().state.linkUp; waited += 100) {
        runFor(100);
    }
    if (!w.session().state.linkUp) {
        std::fprintf(stderr, "no link to the simulated supply\n");
        return 1;
    }

    // Pacing: characters the supply received over ten seconds.
    const qint64 pacingStart = monotonicMs();
    runFor(10500);
    const qint64 pacingEnd = monotonicMs();

    // Setpoint to wire: when each new frame was composed, and when the
    // supply first received it whole.
    QList<QPair<qint64, QByteArray>> composed;
    QObject::connect(w.session().findChild<QTimer*>(QStringLiteral("pollTimer")), &QTimer::timeout,
                     [&] {
                         const QByteArray frame = w.session().state.frameText.toLatin1();
                         if (composed.isEmpty() || composed.last().second != frame) {
                             composed.append({monotonicMs(), frame});
                         }
                     });
    for (int step = 1; step <= 30; ++step) {
        w.voltageStepList->setCurrentIndex(step);
        w.voltageStepChosen();
        runFor(700);
    }
    runFor(1200);
    sim.stop();

    const QList<LogLine> log = readFrameLog(logPath);
    qint64 firstBytes = -1;
    qint64 firstMs = 0;
    qint64 lastBytes = 0;
    qint64 lastMs = 0;
    for (const LogLine& line : log) {
        if (!line.what.startsWith("bytes ") || line.ms < pacingStart || line.ms > pacingEnd) {
            continue;
        }
        const qint64 bytes = line.what.mid(6).toLongLong();
        if (firstBytes < 0) {
            firstBytes = bytes;
            firstMs = line.ms;
        }
        lastBytes = bytes;
        lastMs = line.ms;
    }
    const double seconds = static_cast<double>(lastMs - firstMs) / 1000.0;
    const double perSecond = static_cast<double>(lastBytes - firstBytes) / seconds;

    QList<double> delays;
    for (qsizetype i = 1; i < composed.size(); ++i) {
        for (const LogLine& line : log) {
            if (line.ms >= composed[i].first && line.what == composed[i].second) {
                delays.append(static_cast<double>(line.ms - composed[i].first));
                break;
            }
        }
    }
    if (delays.isEmpty() || seconds <= 0) {
        std::fprintf(stderr, "nothing measured: %lld log lines, %lld frames composed, %.1f s\n",
                     static_cast<long long>(log.size()), static_cast<long long>(composed.size()),
                     seconds);
        return 1;
    }
    std::printf("%-44s %10s %10s\n", "measure", "value", "target");
    std::printf("%-44s %10.3f %10s\n", "send pacing: received chars/s / 200", perSecond / 200.0,
                ">= 0.97");
    std::printf("%-44s %10.0f %10s\n", "setpoint to wire p50 (ms)", percentile(delays, 0.5), "");
    // A new frame waits for the one on the line: up to one tick and two
    // frames from the setpoint to the new frame's last character.
    std::printf("%-44s %10.0f %10s\n", "setpoint to wire p95 (ms)", percentile(delays, 0.95),
                "<= 250");
    std::printf("%-44s %10.3f %10s\n", "setpoint to wire p95 / 250 ms",
                percentile(delays, 0.95) / 250.0, "<= 1");
    std::printf("(%lld frames changed, %lld seen whole at the supply; %.1f s of pacing)\n",
                static_cast<long long>(composed.size() - 1), static_cast<long long>(delays.size()),
                seconds);
    return 0;
}
