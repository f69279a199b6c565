// Who may drive the supply over SCPI: the decision itself, the system's
// answer for a real connection on loopback, and the row of the system's TCP
// table that names the other end's process.
#include "remote/peer_account.h"
#include "remote/tcp_peer_process.h"
#include "under_wine.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <vector>

namespace {

using MaybeAccount = std::optional<Account>;

const Account kProgram{QStringLiteral("S-1-5-21-1004336348-1177238915-682003330-1001")};
const Account kOther{QStringLiteral("S-1-5-21-1004336348-1177238915-682003330-1002")};
const Account kAllPowerful{QStringLiteral("0"), true};

TcpEnd end(const char* address, quint16 port) {
    return {QHostAddress(QString::fromLatin1(address)), port};
}

} // namespace

class PeerAccountTest : public QObject {
    Q_OBJECT
private slots:
    void decision_data();
    void decision();
    void connectionOnLoopbackIsOurs_data();
    void connectionOnLoopbackIsOurs();
    void peerProcessIsTheOtherSidesRow_data();
    void peerProcessIsTheOtherSidesRow();
};

void PeerAccountTest::decision_data() {
    QTest::addColumn<MaybeAccount>("peer");
    QTest::addColumn<MaybeAccount>("self");
    QTest::addColumn<bool>("served");
    QTest::newRow("the same account") << MaybeAccount(kProgram) << MaybeAccount(kProgram) << true;
    QTest::newRow("another account") << MaybeAccount(kOther) << MaybeAccount(kProgram) << false;
    QTest::newRow("all-powerful peer")
        << MaybeAccount(kAllPowerful) << MaybeAccount(kProgram) << true;
    QTest::newRow("peer unknown") << MaybeAccount() << MaybeAccount(kProgram) << false;
    QTest::newRow("own account unknown") << MaybeAccount(kOther) << MaybeAccount() << false;
    QTest::newRow("own account unknown, all-powerful peer")
        << MaybeAccount(kAllPowerful) << MaybeAccount() << true;
    // A program run by root serves root, not everyone.
    QTest::newRow("all-powerful program, another account")
        << MaybeAccount(kOther) << MaybeAccount(kAllPowerful) << false;
    QTest::newRow("both named by nothing")
        << MaybeAccount(Account{}) << MaybeAccount(Account{}) << false;
    QTest::newRow("a name a prefix of ours")
        << MaybeAccount(Account{kProgram.id.chopped(1)}) << MaybeAccount(kProgram) << false;
}

void PeerAccountTest::decision() {
    QFETCH(MaybeAccount, peer);
    QFETCH(MaybeAccount, self);
    QFETCH(bool, served);
    QCOMPARE(mayDriveSupply(peer, self), served);
}

void PeerAccountTest::connectionOnLoopbackIsOurs_data() {
    QTest::addColumn<QHostAddress>("loopback");
    QTest::newRow("IPv4") << QHostAddress(QHostAddress::LocalHost);
    QTest::newRow("IPv6") << QHostAddress(QHostAddress::LocalHostIPv6);
}

// Both ends are this process's: seen from either, the other end is ours.
void PeerAccountTest::connectionOnLoopbackIsOurs() {
    QFETCH(QHostAddress, loopback);
    if (runsUnderWine()) {
        QSKIP("Wine names no owning process (PID 0) for an end of a loopback connection; "
              "the decision and the row matching are tried by the other cases.");
    }
    QTcpServer server;
    if (!server.listen(loopback, 0)) {
        QSKIP("this computer lacks the address");
    }
    QTcpSocket client;
    client.connectToHost(loopback, server.serverPort());
    QVERIFY(client.waitForConnected(10000));
    QVERIFY(server.waitForNewConnection(10000));
    QTcpSocket* accepted = server.nextPendingConnection();
    QVERIFY(accepted);

    const MaybeAccount self = programAccount();
    QVERIFY(self && !self->id.isEmpty());
    QCOMPARE(localPeerAccount(accepted->socketDescriptor()), self);
    QCOMPARE(localPeerAccount(client.socketDescriptor()), self);
}

// The server's accepted socket: local 5025, remote 40001.
void PeerAccountTest::peerProcessIsTheOtherSidesRow_data() {
    QTest::addColumn<std::vector<TcpTableRow>>("table");
    QTest::addColumn<QString>("loopback");
    QTest::addColumn<std::optional<quint32>>("owner");
    const TcpTableRow ours{end("127.0.0.1", 5025), end("127.0.0.1", 40001), 100};
    const TcpTableRow theirs{end("127.0.0.1", 40001), end("127.0.0.1", 5025), 200};
    const TcpTableRow elsewhere{end("127.0.0.1", 40002), end("127.0.0.1", 5025), 300};
    const QString v4 = QStringLiteral("127.0.0.1");
    const QString v6 = QStringLiteral("::1");
    QTest::newRow("ours listed first")
        << std::vector{ours, elsewhere, theirs} << v4 << std::optional<quint32>(200);
    QTest::newRow("theirs listed first")
        << std::vector{theirs, ours} << v4 << std::optional<quint32>(200);
    QTest::newRow("only ours") << std::vector{ours, elsewhere} << v4 << std::optional<quint32>();
    QTest::newRow("owner not told")
        << std::vector{ours, TcpTableRow{theirs.local, theirs.remote, 0}} << v4
        << std::optional<quint32>();
    QTest::newRow("IPv6") << std::vector{TcpTableRow{end("::1", 5025), end("::1", 40001), 100},
                                         TcpTableRow{end("::1", 40001), end("::1", 5025), 200}}
                          << v6 << std::optional<quint32>(200);
    QTest::newRow("the other family's loopback")
        << std::vector{theirs} << v6 << std::optional<quint32>();
}

void PeerAccountTest::peerProcessIsTheOtherSidesRow() {
    QFETCH(std::vector<TcpTableRow>, table);
    QFETCH(QString, loopback);
    QFETCH(std::optional<quint32>, owner);
    const QByteArray address = loopback.toLatin1();
    QCOMPARE(peerProcess(table, end(address.constData(), 5025), end(address.constData(), 40001)),
             owner);
}

QTEST_GUILESS_MAIN(PeerAccountTest)
#include "test_peer_account.moc"
