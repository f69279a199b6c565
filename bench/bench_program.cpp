// Measures the program as the operator runs it, against the simulated supply:
// time from exec to the first whole frame on the line, the CPU share of one
// core over 60 s with the link up, and, for the window in this process, the
// CPU share with the output on, its log journalled to disk or not.
//   build/bench/bench_program [seconds]
#include "immutable_entry.h"
#include "live_window.h"
#include "measuring.h"
#include "program_process.h"
#include "window/log_box.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace {

qint64 firstFrameMs(const QString& logPath) {
    QFile log(logPath);
    if (!log.open(QIODevice::ReadOnly)) {
        return -1;
    }
    while (!log.atEnd()) {
        const QList<QByteArray> parts = log.readLine().trimmed().split(' ');
        if (parts.size() == 2 && parts[1].startsWith("VKPPSU")) {
            return parts[0].toLongLong();
        }
    }
    return -1;
}

// CPU time / wall time of this process over the seconds.
double cpuShareOver(int seconds) {
    const double cpuBefore = processCpuSeconds();
    const qint64 wallBefore = monotonicMs();
    runFor(seconds * 1000);
    return (processCpuSeconds() - cpuBefore) /
           (static_cast<double>(monotonicMs() - wallBefore) / 1000.0);
}

struct OutputOnShares {
    double journalled = -1;
    double notJournalled = -1;
};

// The window with the output on at 12 V, 2 A: once with its journal, once
// with the data folder refusing the journal at switch-on.
OutputOnShares outputOnShares(int seconds) {
    OutputOnShares shares;
    LiveWindow live;
    Simulator sim(live.dir.path(), {});
    if (!sim.waitUntilLinked()) {
        return shares;
    }
    MainWindow& w = live.start();
    w.voltageStepList->setCurrentIndex(12);
    w.voltageStepChosen();
    w.currentStepList->setCurrentIndex(20);
    w.currentStepChosen();
    for (int waited = 0;
         !(w.session().state.linkUp && w.session().state.currentSetpointMilliamps == 2000);
         ++waited) {
        if (waited == 300) {
            return shares;
        }
        runFor(100);
    }
    w.outputButtonClicked();
    shares.journalled = cpuShareOver(seconds);
    w.outputButtonClicked();
    // The record worker saves that period before the folder refuses files.
    runFor(1000);
    {
        ImmutableEntry refusing(live.dir.path());
        w.outputButtonClicked();
        // The record worker tries the journal meanwhile, and the refusal
        // comes back to the window.
        runFor(1000);
    }
    shares.notJournalled = cpuShareOver(seconds);
    w.outputButtonClicked();
    // One message: the refused journal; a failed record would add another.
    if (live.dialogs.shown.size() != 1) {
        shares.notJournalled = -1;
    }
    return shares;
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? QByteArray(argv[1]).toInt() : 60;
    ProgramProcess run;
    if (!run.startSupply()) {
        return 1;
    }
    const qint64 execMs = monotonicMs();
    if (!run.startProgram({})) {
        return 1;
    }
    runFor(3000);
    const qint64 firstFrame = firstFrameMs(run.logPath);

    const double cpuBefore = cpuSecondsOf(run.velkor.processId());
    const qint64 wallBefore = monotonicMs();
    runFor(seconds * 1000);
    const double cpu = cpuSecondsOf(run.velkor.processId()) - cpuBefore;
    const double wall = static_cast<double>(monotonicMs() - wallBefore) / 1000.0;
    run.stop();

    if (firstFrame < 0) {
        std::fprintf(stderr, "no frame reached the simulated supply\n");
        return 1;
    }
    const OutputOnShares outputOn = outputOnShares(std::max(10, seconds / 2));
    if (outputOn.journalled < 0 || outputOn.notJournalled < 0) {
        std::fprintf(stderr, "the window in this process did not run with the output on\n");
        return 1;
    }
    std::printf("%-52s %10s %10s\n", "measure", "value", "target");
    std::printf("%-52s %10lld %10s\n", "start-up: exec to first whole frame at supply (ms)",
                static_cast<long long>(firstFrame - execMs), "< 1000");
    std::printf("%-52s %10.4f %10s\n", "CPU time / wall time, link up", cpu / wall, "< 0.02");
    std::printf("%-52s %10.4f %10s\n", "CPU time / wall time, output on, journal (window)",
                outputOn.journalled, "");
    std::printf("%-52s %10.4f %10s\n", "CPU time / wall time, output on, no journal (window)",
                outputOn.notJournalled, "");
    std::printf("%-52s %10.3f %10s\n", "  ratio journal / no journal",
                outputOn.journalled / outputOn.notJournalled, "");
    std::printf("(CPU %.2f s over %.1f s)\n", cpu, wall);
    return 0;
}
