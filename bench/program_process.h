#pragma once

// The built program run as the operator runs it: copied into a fresh folder,
// beside the simulated supply on port 16 logging every frame it receives,
// started there as its own process on the offscreen platform.

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <unistd.h>

// User plus system time of a process, in seconds.
inline double cpuSecondsOf(qint64 pid) {
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

struct ProgramProcess {
    QTemporaryDir dir;
    QString logPath = dir.path() + QStringLiteral("/frames.log");
    QProcess sim;
    QProcess velkor;

    ~ProgramProcess() { stop(); }

    // Copies the program and starts the simulated supply; false, with a
    // message, when either fails.
    bool startSupply() {
        const QString buildDir = QCoreApplication::applicationDirPath() + QStringLiteral("/..");
        if (!QFile::copy(buildDir + QStringLiteral("/velkor"), program())) {
            std::fprintf(stderr, "no program at %s/velkor\n", qPrintable(buildDir));
            return false;
        }
        sim.start(QStringLiteral(VELKOR_SUPPLY_SIM),
                  {QStringLiteral("--port"), QStringLiteral("16"), QStringLiteral("--dir"),
                   dir.path(), QStringLiteral("--frame-log"), logPath});
        if (!sim.waitForReadyRead(5000)) {
            std::fprintf(stderr, "the simulated supply did not start\n");
            return false;
        }
        return true;
    }

    bool startProgram(const QStringList& arguments) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        velkor.setProcessEnvironment(environment);
        velkor.setProcessChannelMode(QProcess::ForwardedChannels);
        velkor.start(program(), arguments);
        if (!velkor.waitForStarted(5000)) {
            std::fprintf(stderr, "the program did not start\n");
            return false;
        }
        return true;
    }

    void stop() {
        for (QProcess* process : {&velkor, &sim}) {
            if (process->state() != QProcess::NotRunning) {
                process->terminate();
                process->waitForFinished(5000);
            }
        }
    }

    QString program() const { return dir.path() + QStringLiteral("/velkor"); }
};
