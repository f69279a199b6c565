// The server as a client meets it on loopback: who is served, who is turned
// away with a line that says why, and what is told when an address cannot
// be had.
#include "noting_instrument.h"
#include "remote/scpi_server.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

namespace {

struct ServerOnLoopback {
    NotingInstrument* instrument = new NotingInstrument;
    std::optional<Account> peer = programAccount();
    int heard = 0;
    std::unique_ptr<ScpiServer> server;
    quint16 port = 0;

    explicit ServerOnLoopback(bool otherAccountsAllowed = false) {
        ScpiServerHooks hooks;
        hooks.heard = [this] { ++heard; };
        hooks.peerAccount = [this](qintptr) { return peer; };
        hooks.otherAccountsAllowed = otherAccountsAllowed;
        server = std::make_unique<ScpiServer>(std::unique_ptr<ScpiInstrument>(instrument),
                                              "Velkor,VK-7100,0,1.0", std::move(hooks));
        // A free port, taken again at once; another program taking it in
        // between would show as a listen problem.
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port = probe.serverPort();
        probe.close();
        const ScpiServer::Listening listening = server->listen(port);
        QVERIFY2(listening.problem.isEmpty(), qPrintable(listening.problem));
    }

    std::unique_ptr<QTcpSocket> connect(const QByteArray& lines) const {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, port);
        if (!socket->waitForConnected(10000)) {
            return nullptr;
        }
        socket->write(lines);
        return socket;
    }
};

// Everything a client receives until the server closes its connection;
// none when it stays open.
std::optional<QByteArray> untilClosed(QTcpSocket& socket) {
    QByteArray received;
    if (!QTest::qWaitFor(
            [&] {
                received += socket.readAll();
                return socket.state() == QAbstractSocket::UnconnectedState;
            },
            10000)) {
        return std::nullopt;
    }
    return received + socket.readAll();
}

// The next bytes a client receives, once as many as expected arrived.
#define REPLY_IS(socket, expected)                                                                 \
    do {                                                                                           \
        const QByteArray wanted = (expected);                                                      \
        QTRY_VERIFY_WITH_TIMEOUT((socket)->bytesAvailable() >= wanted.size(), 10000);              \
        QCOMPARE((socket)->readAll(), wanted);                                                     \
    } while (false)

} // namespace

class ScpiServerTest : public QObject {
    Q_OBJECT
private slots:
    void servesThisAccountOnly_data();
    void servesThisAccountOnly();
    void fifthClientIsToldTheLimit();
    void webRequestClosesBeforeAnyLineRuns();
    void onlyLinesThatRunFeedTheWatchdog_data();
    void onlyLinesThatRunFeedTheWatchdog();
    void eachAddressThatCannotBeHadIsTold();
};

void ScpiServerTest::servesThisAccountOnly_data() {
    QTest::addColumn<std::optional<Account>>("peer");
    QTest::addColumn<bool>("otherAccountsAllowed");
    QTest::addColumn<bool>("served");
    const std::optional<Account> another = Account{programAccount()->id + QStringLiteral("42")};
    QTest::newRow("this account") << programAccount() << false << true;
    QTest::newRow("all-powerful") << std::optional<Account>(Account{QStringLiteral("0"), true})
                                  << false << true;
    QTest::newRow("another account") << another << false << false;
    QTest::newRow("owner unknown") << std::optional<Account>() << false << false;
    QTest::newRow("another account, allowed") << another << true << true;
    QTest::newRow("owner unknown, allowed") << std::optional<Account>() << true << true;
}

void ScpiServerTest::servesThisAccountOnly() {
    QFETCH(std::optional<Account>, peer);
    QFETCH(bool, otherAccountsAllowed);
    QFETCH(bool, served);
    ServerOnLoopback loopback(otherAccountsAllowed);
    loopback.peer = peer;
    const auto client = loopback.connect("OUTP ON\n*IDN?\n");
    QVERIFY(client);
    if (served) {
        REPLY_IS(client, QByteArray("Velkor,VK-7100,0,1.0\n"));
        QCOMPARE(loopback.instrument->calls, QStringList{"output 1"});
        QVERIFY(loopback.heard > 0);
        return;
    }
    const QByteArray told = untilClosed(*client).value_or("still open");
    QVERIFY2(told.startsWith("ERROR: ") && told.endsWith('\n') && told.count('\n') == 1,
             told.constData());
    QVERIFY(told.contains("scpi_other_accounts"));
    QVERIFY(told.contains(accountsServed()));
    QVERIFY(loopback.instrument->calls.isEmpty());
    QCOMPARE(loopback.heard, 0);
}

void ScpiServerTest::fifthClientIsToldTheLimit() {
    ServerOnLoopback loopback;
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    for (int i = 0; i < ScpiServer::kMostClients; ++i) {
        clients.push_back(loopback.connect("*OPC?\n"));
        QVERIFY(clients.back());
        REPLY_IS(clients.back(), QByteArray("1\n"));
    }
    const auto fifth = loopback.connect("OUTP ON\n");
    QVERIFY(fifth);
    const int heardFromTheFour = loopback.heard;
    const QByteArray told = untilClosed(*fifth).value_or("still open");
    QVERIFY2(told.startsWith("ERROR: 4 clients") && told.count('\n') == 1, told.constData());
    QVERIFY(loopback.instrument->calls.isEmpty());
    QCOMPARE(loopback.heard, heardFromTheFour);

    clients.front()->disconnectFromHost();
    QTRY_COMPARE_WITH_TIMEOUT(loopback.server->clientCount(), ScpiServer::kMostClients - 1, 10000);
    const auto next = loopback.connect("*OPC?\n");
    REPLY_IS(next, QByteArray("1\n"));
}

// What curl or a browser's fetch sends: the body's lines never run, and the
// connection goes without a reply.
void ScpiServerTest::webRequestClosesBeforeAnyLineRuns() {
    ServerOnLoopback loopback;
    const auto browser = loopback.connect("POST / HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                          "Content-Type: text/plain\r\n\r\nVOLT 23.5\nOUTP ON\n");
    QVERIFY(browser);
    QCOMPARE(untilClosed(*browser), std::optional<QByteArray>(QByteArray()));
    QVERIFY(loopback.instrument->calls.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(loopback.server->clientCount(), 0, 10000);
}

// A TLS ClientHello's session ticket is the sender's to fill: its lines must
// not run, whatever they say.
QByteArray clientHelloHolding(const QByteArray& lines) {
    QByteArray hello("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11);
    hello += QByteArray(32, '\x5a') + QByteArray("\x00\x23\x01\x00", 4) + lines;
    return hello + QByteArray(64, '\0');
}

void ScpiServerTest::onlyLinesThatRunFeedTheWatchdog_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<bool>("heard");
    QTest::newRow("a script's line")
        << QByteArray("OUTP ON\n") << false << QStringList{"output 1"} << true;
    QTest::newRow("a query") << QByteArray("*IDN?\n") << false << QStringList() << true;
    QTest::newRow("blank lines") << QByteArray("\r\n\n \n") << false << QStringList() << false;
    QTest::newRow("a line refused whole")
        << QByteArray("FOO\xff;OUTP ON\n") << false << QStringList() << false;
    QTest::newRow("an overlong line") << QByteArray(ScpiSession::kLineLimit + 10, 'V') + '\n'
                                      << false << QStringList() << false;
    QTest::newRow("a web request") << QByteArray("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
                                   << true << QStringList() << false;
    QTest::newRow("TLS ClientHello")
        << clientHelloHolding("\nVOLT 7.77\nOUTP ON\n") << true << QStringList() << false;
    QTest::newRow("one 0xFF byte") << QByteArray(1, '\xff') << true << QStringList() << false;
    QTest::newRow("binary, then a line")
        << QByteArray("\x01OUTP ON\n") << true << QStringList() << false;
}

void ScpiServerTest::onlyLinesThatRunFeedTheWatchdog() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, closed);
    QFETCH(QStringList, calls);
    QFETCH(bool, heard);
    ServerOnLoopback loopback;
    const auto client = loopback.connect(bytes);
    QVERIFY(client);
    // A query after the bytes shows that they were all taken, on a
    // connection that stays.
    if (!closed) {
        client->write("\n*OPC?\n");
        REPLY_IS(client, bytes.startsWith("*IDN?") ? QByteArray("Velkor,VK-7100,0,1.0\n1\n")
                                                   : QByteArray("1\n"));
        // The *OPC? line itself ran.
        QCOMPARE(loopback.heard, heard ? 2 : 1);
        QCOMPARE(client->state(), QAbstractSocket::ConnectedState);
    } else {
        QCOMPARE(untilClosed(*client), std::optional<QByteArray>(QByteArray()));
        QCOMPARE(loopback.heard, 0);
    }
    QCOMPARE(loopback.instrument->calls, calls);
}

void ScpiServerTest::eachAddressThatCannotBeHadIsTold() {
    for (const QHostAddress& taken :
         {QHostAddress(QHostAddress::LocalHost), QHostAddress(QHostAddress::LocalHostIPv6)}) {
        QTcpServer other;
        if (!other.listen(taken, 0)) {
            QVERIFY(taken.protocol() == QAbstractSocket::IPv6Protocol);
            qInfo("this computer has no ::1");
            continue;
        }
        ScpiServer server(std::make_unique<NotingInstrument>(), "Velkor", {});
        const ScpiServer::Listening listening = server.listen(other.serverPort());
        QVERIFY2(listening.problem.startsWith(taken.toString() + QStringLiteral(" port ")),
                 qPrintable(listening.problem));
        QCOMPARE(listening.problem.count(QLatin1Char('\n')), 0);
    }
}

QTEST_GUILESS_MAIN(ScpiServerTest)
#include "test_scpi_server.moc"
