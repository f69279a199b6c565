#include "remote/scpi_connection.h"

#include "remote/socket_calls.h"

#include <QSocketNotifier>

using socket_calls::Outcome;

ScpiConnection::ScpiConnection(qintptr socket, QObject* parent)
    : QObject(parent), socket_(socket),
      readNotifier_(new QSocketNotifier(socket, QSocketNotifier::Read, this)),
      writeNotifier_(new QSocketNotifier(socket, QSocketNotifier::Write, this)) {
    socket_calls::prepare(socket_);
    writeNotifier_->setEnabled(false);
    connect(readNotifier_, &QSocketNotifier::activated, this, &ScpiConnection::readable);
    connect(writeNotifier_, &QSocketNotifier::activated, this, &ScpiConnection::flush);
}

ScpiConnection::~ScpiConnection() {
    readNotifier_->setEnabled(false);
    writeNotifier_->setEnabled(false);
    socket_calls::close(socket_);
}

QByteArray ScpiConnection::read(qsizetype most) {
    if (ended_ || finished_ || closing_) {
        return {};
    }
    QByteArray bytes(most, Qt::Uninitialized);
    const socket_calls::Transfer got = socket_calls::receive(socket_, bytes.data(), most);
    switch (got.outcome) {
    case Outcome::Moved:
        socket_calls::acknowledgeAtOnce(socket_);
        bytes.truncate(got.bytes);
        return bytes;
    case Outcome::Finished:
        finished_ = true;
        readNotifier_->setEnabled(false);
        break;
    case Outcome::WouldBlock:
        break;
    case Outcome::Failed:
        end();
        break;
    }
    return {};
}

void ScpiConnection::write(const QByteArray& bytes) {
    if (ended_) {
        return;
    }
    pending_ += bytes;
    flush();
}

void ScpiConnection::pauseReading(bool paused) {
    readNotifier_->setEnabled(!paused && !finished_ && !closing_ && !ended_);
}

void ScpiConnection::closeAfterWrites() {
    closing_ = true;
    readNotifier_->setEnabled(false);
    flush();
}

void ScpiConnection::flush() {
    while (!ended_ && !pending_.isEmpty()) {
        const socket_calls::Transfer sent =
            socket_calls::send(socket_, pending_.constData(), pending_.size());
        if (sent.outcome == Outcome::WouldBlock) {
            break;
        }
        if (sent.outcome != Outcome::Moved) {
            end();
            return;
        }
        pending_.remove(0, sent.bytes);
    }
    writeNotifier_->setEnabled(!ended_ && !pending_.isEmpty());
    if (closing_ && pending_.isEmpty()) {
        socket_calls::shutdownSending(socket_);
        // Input left unread would turn the close into a reset, which can
        // take the last reply with it before the client reads it.
        char unread[4096];
        while (socket_calls::receive(socket_, unread, sizeof unread).outcome == Outcome::Moved) {
        }
        end();
    }
}

void ScpiConnection::end() {
    if (ended_) {
        return;
    }
    ended_ = true;
    readNotifier_->setEnabled(false);
    writeNotifier_->setEnabled(false);
    emit gone();
}
