#pragma once

#include "remote/peer_account.h"
#include "remote/scpi_session.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QTcpServer;
class QTimer;
class ScpiConnection;

struct ScpiServerHooks {
    // How many clients are connected after each change.
    std::function<void(int)> clientsChanged = [](int) {};
    // A client's line ran.
    std::function<void()> heard = [] {};
    // The account behind a connection's other end.
    std::function<std::optional<Account>(qintptr socket)> peerAccount = localPeerAccount;
    // The account the program runs as.
    std::optional<Account> self = programAccount();
    // Serves every account on this computer, not only the program's own.
    bool otherAccountsAllowed = false;
};

// SCPI over TCP on the loopback addresses only, served on the session's
// thread between its timer ticks. Each client gets its own session; a client
// cannot hold the thread for long, fill the memory or crowd the others out.
// SCPI has no authentication and this drives a power supply, so only scripts
// of this account on this computer are served (and root's on Linux; see
// mayDriveSupply()), and a connection
// that turns out to be a web browser's is closed before any of its lines run.
class ScpiServer : public QObject {
    Q_OBJECT
public:
    static constexpr int kMostClients = 4;
    // Replies a client has not taken beyond this drop it.
    static constexpr qsizetype kMostPendingReply = 64 * 1024;
    // Bytes read from one client before the others and the timers get a turn.
    static constexpr qsizetype kBytesPerTurn = 2048;
    // How often a waiting client's wait is looked at.
    static constexpr int kResumeIntervalMs = 5;

    ScpiServer(std::unique_ptr<ScpiInstrument> instrument, QByteArray identity,
               ScpiServerHooks hooks, QObject* parent = nullptr);
    ~ScpiServer() override;

    struct Listening {
        // The addresses that could not be had, each with why.
        QString problem;
        // An address this computer does not have (no IPv6): served without.
        QString note;
    };
    // Listens on 127.0.0.1 and ::1.
    Listening listen(quint16 port);
    bool listening() const { return !servers_.isEmpty(); }
    // Where scripts reach it, as "127.0.0.1:5025" and "[::1]:5025".
    QStringList addresses() const;
    int clientCount() const { return static_cast<int>(clients_.size()); }

private:
    struct Client {
        ScpiConnection* connection;
        ScpiSession session;
    };
    void accept(qintptr socket);
    // One line to a client that is not served, then the close.
    void turnAway(qintptr socket, const QByteArray& line);
    void serve(Client* client);
    // Ends the waits that can end and runs the lines behind them.
    void resumeWaiting();
    // A turn's replies to the client, and what they mean for it.
    void deliver(Client* client, const QByteArray& replies, quint64 linesRunBefore);
    void drop(ScpiConnection* connection);
    Client* clientOf(ScpiConnection* connection);
    void noteWebRequest();

    std::unique_ptr<ScpiInstrument> instrument_;
    QByteArray identity_;
    ScpiServerHooks hooks_;
    QList<QTcpServer*> servers_;
    std::vector<std::unique_ptr<Client>> clients_;
    QElapsedTimer sinceWebRequestNoted_;
    // Runs while a client waits for the supply.
    QTimer* resumeTimer_;
};
