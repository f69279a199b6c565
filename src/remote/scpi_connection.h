#pragma once

#include <QByteArray>
#include <QObject>

class QSocketNotifier;

// One accepted TCP connection, on its bare socket: unlike QTcpSocket it
// tells a client that finished sending (a half-close) from one that is gone,
// so the lines before the half-close still run and their replies still go
// out. Small writes go out at once and every read is acknowledged at once,
// so a client that leaves Nagle on is not held back by a delayed ACK.
class ScpiConnection : public QObject {
    Q_OBJECT
public:
    // Takes the socket over; it is closed with the connection.
    explicit ScpiConnection(qintptr socket, QObject* parent = nullptr);
    ~ScpiConnection() override;

    // Up to `most` bytes that arrived, none when nothing waits. A read that
    // finds the client finished sets finished(); one that finds it gone
    // emits gone().
    QByteArray read(qsizetype most);
    bool finished() const { return finished_; }
    // Sends as much as the socket takes now and keeps the rest.
    void write(const QByteArray& bytes);
    qsizetype pendingBytes() const { return pending_.size(); }
    // While paused, arriving bytes stay in the socket and readable() is
    // not emitted.
    void pauseReading(bool paused);
    // Nothing more is read; the pending bytes are sent, then it closes and
    // emits gone().
    void closeAfterWrites();

signals:
    void readable();
    // Closed, reset or failed; the owner deletes it later.
    void gone();

private:
    void flush();
    void end();

    qintptr socket_;
    QSocketNotifier* readNotifier_;
    QSocketNotifier* writeNotifier_;
    QByteArray pending_;
    bool finished_ = false;
    bool closing_ = false;
    bool ended_ = false;
};
