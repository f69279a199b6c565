#pragma once

#include "remote/scpi_session.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QTcpServer;
class QTcpSocket;
class QTimer;

// SCPI over TCP on the loopback addresses only, served on the window's thread
// between its timer ticks. Each client gets its own session; a client cannot
// hold the thread for long, fill the memory or crowd the others out.
class ScpiServer : public QObject {
    Q_OBJECT
public:
    static constexpr int kMostClients = 4;
    // Replies a client has not taken beyond this drop it.
    static constexpr qint64 kMostPendingReply = 64 * 1024;
    // Bytes read from one client before the others and the timers get a turn.
    static constexpr qint64 kBytesPerTurn = 2048;

    // clientsChanged hears how many clients are connected after each change.
    ScpiServer(std::unique_ptr<ScpiInstrument> instrument, QByteArray identity,
               std::function<void(int)> clientsChanged, QObject* parent = nullptr);
    ~ScpiServer() override;

    // Listens on 127.0.0.1 and ::1; why not when the port cannot be had.
    QString listen(quint16 port);
    int clientCount() const { return static_cast<int>(clients_.size()); }

private:
    struct Client {
        QTcpSocket* socket;
        ScpiSession session;
    };
    void accept(QTcpServer* server);
    void serve(Client* client);
    void serveWaiting();
    void drop(QTcpSocket* socket);
    Client* clientOf(QTcpSocket* socket);

    std::unique_ptr<ScpiInstrument> instrument_;
    QByteArray identity_;
    std::function<void(int)> clientsChanged_;
    QList<QTcpServer*> servers_;
    std::vector<std::unique_ptr<Client>> clients_;
    // Comes back for clients with more input than one turn took.
    QTimer* more_ = nullptr;
};
