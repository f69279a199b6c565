// Measures the program as an SCPI instrument, as a separate process against
// the simulated supply: the round trip of a query on loopback, a write
// followed at once by a query from a client that leaves Nagle on (as
// pyvisa-py does), the pacing of
// the characters to the supply while a client polls as fast as it can, and
// the program's CPU share with a client polling at 10 Hz against none; the
// time from VOLT to *OPC? answered and from MEAS? to its answer while four
// clients wait on theirs, with the pacing meanwhile; and how many bytes of
// replies a client that never reads is sent before it is dropped.
//   build/bench/bench_scpi [seconds per phase]
#include "measuring.h"
#include "program_process.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <array>
#include <chrono>
#include <cstdio>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// The sender puts one character on the line every 5 ms.
constexpr double kCharactersPerSecond = 200;

quint16 unusedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// Characters per second the supply received between the two moments, from
// the whole frames in its log.
double charactersPerSecond(const QString& logPath, qint64 fromMs, qint64 toMs) {
    QFile log(logPath);
    if (!log.open(QIODevice::ReadOnly)) {
        return -1;
    }
    qint64 frames = 0;
    while (!log.atEnd()) {
        const QList<QByteArray> parts = log.readLine().trimmed().split(' ');
        const qint64 at = parts.value(0).toLongLong();
        if (parts.size() == 2 && at >= fromMs && at < toMs) {
            ++frames;
        }
    }
    return static_cast<double>(frames * 16) / (static_cast<double>(toMs - fromMs) / 1000.0);
}

QByteArray query(QTcpSocket& socket, const QByteArray& line) {
    socket.write(line + '\n');
    socket.waitForBytesWritten(5000);
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(5000)) {
            return {};
        }
    }
    return socket.readLine().trimmed();
}

// Bytes of replies a client that sends queries and never reads is sent
// before the program drops it: what the kernel buffers on both sides, and
// what the program keeps itself.
qint64 unreadRepliesBeforeDrop(quint16 port, const QByteArray& identity) {
    const int raw = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(raw, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(raw);
        return -1;
    }
    // Rounds small enough for the program to answer each before the next,
    // so what was sent is what was answered, to one round.
    constexpr int kQueriesPerRound = 500;
    const QByteArray queries = QByteArray("*IDN?\n").repeated(kQueriesPerRound);
    qint64 sent = 0;
    while (::send(raw, queries.constData(), static_cast<size_t>(queries.size()), MSG_NOSIGNAL) ==
           queries.size()) {
        sent += kQueriesPerRound;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::close(raw);
    return sent * (identity.size() + 1);
}

struct Phase {
    double cpuShare = 0;
    double pacing = 0;
    QList<double> roundTripsMs;
};

// Runs the client for the seconds and measures the program meanwhile.
template <typename Client>
Phase measure(qint64 pid, const QString& logPath, int seconds, Client client) {
    Phase phase;
    const double cpuBefore = cpuSecondsOf(pid);
    const qint64 from = monotonicMs();
    while (monotonicMs() - from < seconds * 1000) {
        client(phase);
    }
    const qint64 to = monotonicMs();
    phase.cpuShare = (cpuSecondsOf(pid) - cpuBefore) / (static_cast<double>(to - from) / 1000.0);
    phase.pacing = charactersPerSecond(logPath, from, to) / kCharactersPerSecond;
    return phase;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? QByteArray(argv[1]).toInt() : 30;
    ProgramProcess run;
    const quint16 port = unusedPort();
    if (!run.startSupply() ||
        !run.startProgram({QStringLiteral("--scpi"), QString::number(port)})) {
        return 1;
    }
    const QString& logPath = run.logPath;
    const qint64 pid = run.velkor.processId();

    QTcpSocket socket;
    bool linked = false;
    for (int tries = 0; tries < 300 && !linked; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (socket.state() != QAbstractSocket::ConnectedState) {
            socket.connectToHost(QHostAddress::LocalHost, port);
            socket.waitForConnected(1000);
            continue;
        }
        linked = query(socket, "MEAS:VOLT?;*CLS") != "9.91E37";
    }
    if (!linked) {
        std::fprintf(stderr, "no reading through SCPI within 30 s\n");
        return 1;
    }
    socket.disconnectFromHost();
    if (socket.state() != QAbstractSocket::UnconnectedState) {
        socket.waitForDisconnected(1000);
    }

    socket.connectToHost(QHostAddress::LocalHost, port);
    socket.waitForConnected(5000);
    const QByteArray identity = query(socket, "*IDN?");
    query(socket, "OUTP ON;*OPC?");
    int step = 0;
    const Phase operationComplete = measure(pid, logPath, seconds, [&socket, &step](Phase& phase) {
        QElapsedTimer clock;
        clock.start();
        socket.write(QByteArray("VOLT ") + QByteArray::number(++step % 10 + 1) + '\n');
        socket.flush();
        if (query(socket, "*OPC?") == "1") {
            phase.roundTripsMs << static_cast<double>(clock.nsecsElapsed()) / 1e6;
        }
    });
    query(socket, "OUTP OFF;*OPC?");
    socket.disconnectFromHost();
    if (socket.state() != QAbstractSocket::UnconnectedState) {
        socket.waitForDisconnected(1000);
    }
    // Four clients ask MEAS? at once and wait; the frames must not.
    std::array<std::unique_ptr<QTcpSocket>, 4> waiting;
    for (auto& client : waiting) {
        client = std::make_unique<QTcpSocket>();
        client->connectToHost(QHostAddress::LocalHost, port);
        client->waitForConnected(5000);
    }
    const Phase measured = measure(pid, logPath, seconds, [&waiting](Phase& phase) {
        QElapsedTimer clock;
        clock.start();
        for (auto& client : waiting) {
            client->write("MEAS?\n");
            client->flush();
        }
        for (auto& client : waiting) {
            while (!client->canReadLine() && client->waitForReadyRead(5000)) {
            }
            if (client->readLine().trimmed() != "9.91E37") {
                phase.roundTripsMs << static_cast<double>(clock.nsecsElapsed()) / 1e6;
            }
        }
    });
    for (auto& client : waiting) {
        client->disconnectFromHost();
    }
    const qint64 unreadBytes = unreadRepliesBeforeDrop(port, identity);

    const Phase none = measure(pid, logPath, seconds, [](Phase&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    });
    socket.connectToHost(QHostAddress::LocalHost, port);
    socket.waitForConnected(5000);
    const Phase tenHertz = measure(pid, logPath, seconds, [&socket](Phase&) {
        const auto next = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
        query(socket, "FETC?");
        std::this_thread::sleep_until(next);
    });
    const Phase flat = measure(pid, logPath, seconds, [&socket](Phase& phase) {
        QElapsedTimer clock;
        clock.start();
        if (!query(socket, "FETC?").isEmpty()) {
            phase.roundTripsMs << static_cast<double>(clock.nsecsElapsed()) / 1e6;
        }
    });
    // Two sends: with Nagle on, the query waits for the write's ACK.
    const Phase writeThenQuery = measure(pid, logPath, seconds, [&socket](Phase& phase) {
        QElapsedTimer clock;
        clock.start();
        socket.write("VOLT 5\n");
        socket.flush();
        if (query(socket, "VOLT?") == "5.00") {
            phase.roundTripsMs << static_cast<double>(clock.nsecsElapsed()) / 1e6;
        }
    });
    run.stop();
    if (flat.roundTripsMs.isEmpty() || writeThenQuery.roundTripsMs.isEmpty() ||
        operationComplete.roundTripsMs.isEmpty() || measured.roundTripsMs.isEmpty()) {
        std::fprintf(stderr, "no query was answered\n");
        return 1;
    }

    std::printf("%-56s %10s %10s\n", "measure", "value", "target");
    std::printf("%-56s %10.1f %10s\n", "VOLT x to *OPC? answered p50 (ms)",
                percentile(operationComplete.roundTripsMs, 0.5), "");
    std::printf("%-56s %10.1f %10s\n", "VOLT x to *OPC? answered p95 (ms)",
                percentile(operationComplete.roundTripsMs, 0.95), "<= 200");
    std::printf("%-56s %10.1f %10s\n", "MEAS? to its answer, 4 clients waiting, p50 (ms)",
                percentile(measured.roundTripsMs, 0.5), "");
    std::printf("%-56s %10.1f %10s\n", "MEAS? to its answer, 4 clients waiting, p95 (ms)",
                percentile(measured.roundTripsMs, 0.95), "<= 2200");
    std::printf("%-56s %10.4f %10s\n", "characters sent / 200 a second, 4 clients waiting",
                measured.pacing, ">= 0.99");
    std::printf("%-56s %10lld %10s\n", "reply bytes sent to a client that never reads",
                static_cast<long long>(unreadBytes), "");
    std::printf("%-56s %10.3f %10s\n", "FETC? round trip p50 (ms)",
                percentile(flat.roundTripsMs, 0.5), "");
    std::printf("%-56s %10.3f %10s\n", "FETC? round trip p95 (ms)",
                percentile(flat.roundTripsMs, 0.95), "<= 2");
    std::printf("%-56s %10.3f %10s\n", "VOLT 5 then VOLT?, Nagle on, p50 (ms)",
                percentile(writeThenQuery.roundTripsMs, 0.5), "");
    std::printf("%-56s %10.3f %10s\n", "VOLT 5 then VOLT?, Nagle on, p95 (ms)",
                percentile(writeThenQuery.roundTripsMs, 0.95), "<= 2");
    std::printf("%-56s %10.4f %10s\n", "characters sent / 200 a second, no client", none.pacing,
                "");
    std::printf("%-56s %10.4f %10s\n", "characters sent / 200 a second, client polling flat out",
                flat.pacing, ">= 0.99");
    std::printf("%-56s %10.4f %10s\n", "CPU time / wall time, no client", none.cpuShare, "");
    std::printf("%-56s %10.4f %10s\n", "CPU time / wall time, client polling at 10 Hz",
                tenHertz.cpuShare, "");
    std::printf("%-56s %10.4f %10s\n", "  added by the 10 Hz client",
                tenHertz.cpuShare - none.cpuShare, "<= 0.005");
    std::printf("(%lld queries flat out over %d s)\n",
                static_cast<long long>(flat.roundTripsMs.size()), seconds);
    return 0;
}
