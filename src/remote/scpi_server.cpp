#include "remote/scpi_server.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

ScpiServer::ScpiServer(std::unique_ptr<ScpiInstrument> instrument, QByteArray identity,
                       std::function<void(int)> clientsChanged, QObject* parent)
    : QObject(parent), instrument_(std::move(instrument)), identity_(std::move(identity)),
      clientsChanged_(std::move(clientsChanged)), more_(new QTimer(this)) {
    more_->setSingleShot(true);
    more_->setInterval(0);
    connect(more_, &QTimer::timeout, this, &ScpiServer::serveWaiting);
}

ScpiServer::~ScpiServer() {
    for (const auto& client : clients_) {
        client->socket->disconnect(this);
        client->socket->abort();
    }
}

// SCPI has no authentication and this drives a power supply: only programs
// on this computer may reach it.
QString ScpiServer::listen(quint16 port) {
    QString problem;
    for (const QHostAddress& address :
         {QHostAddress(QHostAddress::LocalHost), QHostAddress(QHostAddress::LocalHostIPv6)}) {
        auto* server = new QTcpServer(this);
        if (!server->listen(address, port)) {
            // A machine without IPv6 has no ::1; 127.0.0.1 is enough.
            if (address.protocol() == QAbstractSocket::IPv4Protocol) {
                problem = server->errorString();
            }
            delete server;
            continue;
        }
        connect(server, &QTcpServer::newConnection, this, [this, server] { accept(server); });
        servers_.append(server);
    }
    if (!problem.isEmpty()) {
        qDeleteAll(servers_);
        servers_.clear();
    }
    return problem;
}

void ScpiServer::accept(QTcpServer* server) {
    while (QTcpSocket* socket = server->nextPendingConnection()) {
        if (clients_.size() >= kMostClients) {
            socket->close();
            socket->deleteLater();
            continue;
        }
        // What a client sends beyond this waits in the kernel, which slows
        // the client down instead of growing this process.
        socket->setReadBufferSize(16 * 1024);
        clients_.push_back(std::make_unique<Client>(Client{socket, {*instrument_, identity_}}));
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            if (Client* client = clientOf(socket)) {
                serve(client);
            }
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { drop(socket); });
        clientsChanged_(clientCount());
    }
}

// One turn of a client: a bounded piece of its input, executed, and its
// replies written. Whatever is left waits for the next turn.
void ScpiServer::serve(Client* client) {
    QTcpSocket* socket = client->socket;
    const QByteArray input = socket->read(kBytesPerTurn);
    const QByteArray replies = client->session.receive(input);
    if (!replies.isEmpty()) {
        socket->write(replies);
    }
    if (socket->bytesToWrite() > kMostPendingReply) {
        drop(socket);
        return;
    }
    if (socket->bytesAvailable() > 0) {
        more_->start();
    }
}

void ScpiServer::serveWaiting() {
    std::vector<QTcpSocket*> waiting;
    for (const auto& client : clients_) {
        if (client->socket->bytesAvailable() > 0) {
            waiting.push_back(client->socket);
        }
    }
    for (QTcpSocket* socket : waiting) {
        if (Client* client = clientOf(socket)) {
            serve(client);
        }
    }
}

void ScpiServer::drop(QTcpSocket* socket) {
    const auto found = std::find_if(clients_.begin(), clients_.end(), [socket](const auto& client) {
        return client->socket == socket;
    });
    if (found == clients_.end()) {
        return;
    }
    clients_.erase(found);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    clientsChanged_(clientCount());
}

ScpiServer::Client* ScpiServer::clientOf(QTcpSocket* socket) {
    for (const auto& client : clients_) {
        if (client->socket == socket) {
            return client.get();
        }
    }
    return nullptr;
}
