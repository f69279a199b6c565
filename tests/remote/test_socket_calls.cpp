// The calls the SCPI connection makes on a bare socket, as each system must
// answer them: the connection's logic reads nothing else.
#include "remote/socket_calls.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

using socket_calls::Outcome;

namespace {

// Keeps each accepted socket bare, as the SCPI server does.
class BareAcceptor : public QTcpServer {
public:
    qintptr accepted = -1;

protected:
    void incomingConnection(qintptr socket) override { accepted = socket; }
};

struct Connected {
    BareAcceptor server;
    QTcpSocket client;
    qintptr socket = -1;

    Connected() {
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        client.connectToHost(QHostAddress::LocalHost, server.serverPort());
        QVERIFY(client.waitForConnected(10000));
        QTRY_VERIFY_WITH_TIMEOUT(server.accepted != -1, 10000);
        socket = server.accepted;
        socket_calls::prepare(socket);
    }
    ~Connected() {
        if (socket != -1) {
            socket_calls::close(socket);
        }
    }

    // Waits until something can be read, then reads it; would-block when
    // nothing came.
    socket_calls::Transfer receiveSoon(char* bytes, qsizetype most) const {
        socket_calls::Transfer got{Outcome::WouldBlock};
        const bool came = QTest::qWaitFor(
            [&] {
                got = socket_calls::receive(socket, bytes, most);
                return got.outcome != Outcome::WouldBlock;
            },
            10000);
        return came ? got : socket_calls::Transfer{Outcome::WouldBlock};
    }
};

} // namespace

class SocketCallsTest : public QObject {
    Q_OBJECT
private slots:
    void nothingToReadWouldBlock();
    void bytesGoBothWays();
    void clientFinishedIsNotAFailure();
    void sendingToAClientGoneFails();
    void shutdownSendingEndsTheClientsInput();
};

void SocketCallsTest::nothingToReadWouldBlock() {
    Connected connected;
    char bytes[16];
    QCOMPARE(socket_calls::receive(connected.socket, bytes, sizeof bytes).outcome,
             Outcome::WouldBlock);
}

void SocketCallsTest::bytesGoBothWays() {
    Connected connected;
    connected.client.write("*IDN?\n");
    QVERIFY(connected.client.waitForBytesWritten(10000));
    char bytes[16];
    const socket_calls::Transfer got = connected.receiveSoon(bytes, sizeof bytes);
    QCOMPARE(got.outcome, Outcome::Moved);
    QCOMPARE(QByteArray(bytes, got.bytes), QByteArray("*IDN?\n"));

    const socket_calls::Transfer sent = socket_calls::send(connected.socket, "1\n", 2);
    QCOMPARE(sent.outcome, Outcome::Moved);
    QCOMPARE(sent.bytes, 2);
    QByteArray received;
    QVERIFY(QTest::qWaitFor(
        [&] {
            received += connected.client.readAll();
            return received.size() >= 2;
        },
        10000));
    QCOMPARE(received, QByteArray("1\n"));
}

void SocketCallsTest::clientFinishedIsNotAFailure() {
    Connected connected;
    connected.client.write("OUTP OFF\n");
    connected.client.disconnectFromHost();
    char bytes[64];
    const socket_calls::Transfer got = connected.receiveSoon(bytes, sizeof bytes);
    QCOMPARE(got.outcome, Outcome::Moved);
    QCOMPARE(QByteArray(bytes, got.bytes), QByteArray("OUTP OFF\n"));
    QCOMPARE(connected.receiveSoon(bytes, sizeof bytes).outcome, Outcome::Finished);
}

// The client's system answers with a reset; the send fails, and the
// program goes on (no SIGPIPE).
void SocketCallsTest::sendingToAClientGoneFails() {
    Connected connected;
    connected.client.abort();
    socket_calls::Transfer sent{Outcome::Moved};
    QVERIFY(QTest::qWaitFor(
        [&] {
            sent = socket_calls::send(connected.socket, "1\n", 2);
            return sent.outcome != Outcome::Moved;
        },
        10000));
    QCOMPARE(sent.outcome, Outcome::Failed);
}

void SocketCallsTest::shutdownSendingEndsTheClientsInput() {
    Connected connected;
    QCOMPARE(socket_calls::send(connected.socket, "1\n", 2).outcome, Outcome::Moved);
    socket_calls::shutdownSending(connected.socket);
    QByteArray received;
    QVERIFY(QTest::qWaitFor(
        [&] {
            received += connected.client.readAll();
            return connected.client.state() == QAbstractSocket::UnconnectedState;
        },
        10000));
    QCOMPARE(received + connected.client.readAll(), QByteArray("1\n"));
}

QTEST_GUILESS_MAIN(SocketCallsTest)
#include "test_socket_calls.moc"
