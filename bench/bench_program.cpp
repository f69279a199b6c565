// Measures the program as the operator runs it, against the simulated supply:
// time from exec to the first whole frame on the line, and the CPU share of
// one core over 60 s with the link up.
//   build/bench/bench_program [seconds]
#include "measuring.h"

#include <QCoreApplication>
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

constexpr int kPort = 16;

// User plus system time of a process, in seconds.
double cpuSecondsOf(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    // utime and stime are fields 14 and 15 of the line, 12 and 13 after the name.
    return static_cast<double>(fields.value(11).toLongLong() + fields.value(12).toLongLong()) /
           static_cast<double>(sysconf(_SC_CLK_TCK));
}

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

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? QByteArray(argv[1]).toInt() : 60;
    const QString buildDir = QCoreApplication::applicationDirPath() + QStringLiteral("/..");
    QTemporaryDir dir;
    const QString program = dir.path() + QStringLiteral("/velkor");
    if (!QFile::copy(buildDir + QStringLiteral("/velkor"), program)) {
        std::fprintf(stderr, "no program at %s/velkor\n", qPrintable(buildDir));
        return 1;
    }

    const QString logPath = dir.path() + QStringLiteral("/frames.log");
    QProcess sim;
    sim.start(QStringLiteral(VELKOR_SUPPLY_SIM),
              {QStringLiteral("--port"), QString::number(kPort), QStringLiteral("--dir"),
               dir.path(), QStringLiteral("--frame-log"), logPath});
    if (!sim.waitForReadyRead(5000)) {
        std::fprintf(stderr, "the simulated supply did not start\n");
        return 1;
    }

    QProcess velkor;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    velkor.setProcessEnvironment(environment);
    velkor.setProcessChannelMode(QProcess::ForwardedChannels);
    const qint64 execMs = monotonicMs();
    velkor.start(program, {});
    if (!velkor.waitForStarted(5000)) {
        std::fprintf(stderr, "the program did not start\n");
        return 1;
    }
    runFor(3000);
    const qint64 firstFrame = firstFrameMs(logPath);

    const double cpuBefore = cpuSecondsOf(velkor.processId());
    const qint64 wallBefore = monotonicMs();
    runFor(seconds * 1000);
    const double cpu = cpuSecondsOf(velkor.processId()) - cpuBefore;
    const double wall = static_cast<double>(monotonicMs() - wallBefore) / 1000.0;
    velkor.terminate();
    velkor.waitForFinished(5000);
    sim.terminate();
    sim.waitForFinished(5000);

    if (firstFrame < 0) {
        std::fprintf(stderr, "no frame reached the simulated supply\n");
        return 1;
    }
    std::printf("%-52s %10s %10s\n", "measure", "value", "target");
    std::printf("%-52s %10lld %10s\n", "start-up: exec to first whole frame at supply (ms)",
                static_cast<long long>(firstFrame - execMs), "< 1000");
    std::printf("%-52s %10.4f %10s\n", "CPU time / wall time, link up", cpu / wall, "< 0.02");
    std::printf("(CPU %.2f s over %.1f s)\n", cpu, wall);
    return 0;
}
