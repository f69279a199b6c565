#include "remote/scpi_server.h"

#include "remote/scpi_connection.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

constexpr qint64 kWebRequestNoteIntervalMs = 60 * 1000;

// Hands each accepted socket over bare, without a QTcpSocket.
class SocketAcceptor : public QTcpServer {
public:
    SocketAcceptor(std::function<void(qintptr)> take, QObject* parent)
        : QTcpServer(parent), take_(std::move(take)) {}

protected:
    void incomingConnection(qintptr socket) override { take_(socket); }

private:
    std::function<void(qintptr)> take_;
};

bool isMissingAddress(QAbstractSocket::SocketError error) {
    return error == QAbstractSocket::UnsupportedSocketOperationError ||
           error == QAbstractSocket::SocketAddressNotAvailableError;
}

} // namespace

ScpiServer::ScpiServer(std::unique_ptr<ScpiInstrument> instrument, QByteArray identity,
                       ScpiServerHooks hooks, QObject* parent)
    : QObject(parent), instrument_(std::move(instrument)), identity_(std::move(identity)),
      hooks_(std::move(hooks)), resumeTimer_(new QTimer(this)) {
    resumeTimer_->setInterval(kResumeIntervalMs);
    connect(resumeTimer_, &QTimer::timeout, this, &ScpiServer::resumeWaiting);
}

ScpiServer::~ScpiServer() {
    for (const auto& client : clients_) {
        client->connection->disconnect(this);
        delete client->connection;
    }
}

ScpiServer::Listening ScpiServer::listen(quint16 port) {
    Listening listening;
    for (const QHostAddress& address :
         {QHostAddress(QHostAddress::LocalHost), QHostAddress(QHostAddress::LocalHostIPv6)}) {
        auto* server = new SocketAcceptor([this](qintptr socket) { accept(socket); }, this);
        if (server->listen(address, port)) {
            servers_.append(server);
            continue;
        }
        const QString why = QStringLiteral("%1 port %2: %3")
                                .arg(address.toString())
                                .arg(port)
                                .arg(server->errorString());
        // Python and curl try ::1 first for "localhost"; a machine without
        // IPv6 has no ::1, and 127.0.0.1 reaches the program all the same.
        // Any other failure may leave that address to another program.
        const bool missing = address.protocol() == QAbstractSocket::IPv6Protocol &&
                             isMissingAddress(server->serverError());
        QString& told = missing ? listening.note : listening.problem;
        told += (told.isEmpty() ? QString() : QStringLiteral("\n")) + why;
        delete server;
    }
    return listening;
}

void ScpiServer::accept(qintptr socket) {
    if (!hooks_.otherAccountsAllowed && !mayDriveSupply(hooks_.peerAccount(socket), hooks_.self)) {
        turnAway(socket, "ERROR: this SCPI port serves only " + accountsServed() +
                             "; see scpi_other_accounts in the README\n");
        return;
    }
    if (clients_.size() >= kMostClients) {
        turnAway(socket, QByteArray("ERROR: ") + QByteArray::number(kMostClients) +
                             " clients are connected, the most served at once; try again "
                             "later\n");
        return;
    }
    auto* connection = new ScpiConnection(socket, this);
    clients_.push_back(std::make_unique<Client>(Client{connection, {*instrument_, identity_}}));
    connect(connection, &ScpiConnection::readable, this, [this, connection] {
        if (Client* client = clientOf(connection)) {
            serve(client);
        }
    });
    connect(connection, &ScpiConnection::gone, this, [this, connection] { drop(connection); });
    hooks_.clientsChanged(clientCount());
}

void ScpiServer::turnAway(qintptr socket, const QByteArray& line) {
    auto* connection = new ScpiConnection(socket, this);
    connect(connection, &ScpiConnection::gone, connection, &QObject::deleteLater);
    connection->write(line);
    connection->closeAfterWrites();
}

// One turn of a client: a bounded piece of its input, executed, and its
// replies written. What is left wakes the socket's notifier again after the
// others and the timers had their turn. A client that finished sending
// has its last lines run and answered before the close.
void ScpiServer::serve(Client* client) {
    ScpiConnection* connection = client->connection;
    const QByteArray input = connection->read(kBytesPerTurn);
    const quint64 linesRunBefore = client->session.linesRun();
    QByteArray replies = client->session.receive(input);
    if (connection->finished()) {
        replies += client->session.finish();
    }
    deliver(client, replies, linesRunBefore);
}

// A client whose line waits for the supply is read no further: its later
// lines wait in the socket, in order, and the others are served meanwhile.
void ScpiServer::resumeWaiting() {
    QList<ScpiConnection*> waiting;
    for (const auto& client : clients_) {
        if (client->session.waiting()) {
            waiting.append(client->connection);
        }
    }
    // A reply written can find a client gone, which drops it at once.
    for (ScpiConnection* connection : waiting) {
        if (Client* client = clientOf(connection)) {
            const quint64 linesRunBefore = client->session.linesRun();
            deliver(client, client->session.resume(), linesRunBefore);
        }
    }
    if (std::none_of(clients_.begin(), clients_.end(),
                     [](const auto& client) { return client->session.waiting(); })) {
        resumeTimer_->stop();
    }
}

void ScpiServer::deliver(Client* client, const QByteArray& replies, quint64 linesRunBefore) {
    ScpiConnection* connection = client->connection;
    // Only a script's lines keep the watchdog from tripping: traffic that
    // is refused or runs nothing must never hold an output on.
    for (quint64 line = linesRunBefore; line < client->session.linesRun(); ++line) {
        hooks_.heard();
    }
    if (client->session.isWebRequest()) {
        noteWebRequest();
        drop(connection);
        return;
    }
    const bool waiting = client->session.waiting();
    if (waiting && !resumeTimer_->isActive()) {
        resumeTimer_->start();
    }
    connection->pauseReading(waiting);
    // The write may find the client gone and drop it: only the connection,
    // deleted later, is still there to ask.
    if (!replies.isEmpty()) {
        connection->write(replies);
    }
    if (connection->pendingBytes() > kMostPendingReply) {
        drop(connection);
        return;
    }
    if (connection->finished() && !waiting) {
        connection->closeAfterWrites();
    }
}

void ScpiServer::noteWebRequest() {
    if (sinceWebRequestNoted_.isValid() &&
        sinceWebRequestNoted_.elapsed() < kWebRequestNoteIntervalMs) {
        return;
    }
    sinceWebRequestNoted_.start();
    std::fprintf(stderr, "SCPI: closed a connection that spoke HTTP or TLS or sent binary, as a "
                         "web page makes a browser do; none of its lines ran\n");
}

void ScpiServer::drop(ScpiConnection* connection) {
    const auto found =
        std::find_if(clients_.begin(), clients_.end(),
                     [connection](const auto& client) { return client->connection == connection; });
    if (found == clients_.end()) {
        return;
    }
    clients_.erase(found);
    connection->disconnect(this);
    connection->deleteLater();
    hooks_.clientsChanged(clientCount());
}

ScpiServer::Client* ScpiServer::clientOf(ScpiConnection* connection) {
    for (const auto& client : clients_) {
        if (client->connection == connection) {
            return client.get();
        }
    }
    return nullptr;
}

QStringList ScpiServer::addresses() const {
    QStringList addresses;
    for (const QTcpServer* server : servers_) {
        const QHostAddress address = server->serverAddress();
        const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                                 ? QStringLiteral("[%1]").arg(address.toString())
                                 : address.toString();
        addresses << QStringLiteral("%1:%2").arg(host).arg(server->serverPort());
    }
    return addresses;
}
