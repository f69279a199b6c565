#include "remote/scpi_connection.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

void setOption(int socket, int level, int option) {
    const int on = 1;
    setsockopt(socket, level, option, &on, sizeof on);
}

} // namespace

ScpiConnection::ScpiConnection(int socket, QObject* parent)
    : QObject(parent), socket_(socket),
      readNotifier_(new QSocketNotifier(socket, QSocketNotifier::Read, this)),
      writeNotifier_(new QSocketNotifier(socket, QSocketNotifier::Write, this)) {
    fcntl(socket_, F_SETFL, fcntl(socket_, F_GETFL) | O_NONBLOCK);
    setOption(socket_, IPPROTO_TCP, TCP_NODELAY);
    writeNotifier_->setEnabled(false);
    connect(readNotifier_, &QSocketNotifier::activated, this, &ScpiConnection::readable);
    connect(writeNotifier_, &QSocketNotifier::activated, this, &ScpiConnection::flush);
}

ScpiConnection::~ScpiConnection() {
    readNotifier_->setEnabled(false);
    writeNotifier_->setEnabled(false);
    ::close(socket_);
}

QByteArray ScpiConnection::read(qsizetype most) {
    if (ended_ || finished_ || closing_) {
        return {};
    }
    QByteArray bytes(most, Qt::Uninitialized);
    const ssize_t got = ::read(socket_, bytes.data(), static_cast<size_t>(most));
    if (got > 0) {
        // The kernel falls back to delayed ACKs by itself; asked again after
        // every read, the client's next small write is never held back.
        setOption(socket_, IPPROTO_TCP, TCP_QUICKACK);
        bytes.truncate(got);
        return bytes;
    }
    if (got == 0) {
        finished_ = true;
        readNotifier_->setEnabled(false);
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        end();
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
        const ssize_t sent = ::send(socket_, pending_.constData(),
                                    static_cast<size_t>(pending_.size()), MSG_NOSIGNAL);
        if (sent > 0) {
            pending_.remove(0, sent);
        } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        } else if (!(sent < 0 && errno == EINTR)) {
            end();
            return;
        }
    }
    writeNotifier_->setEnabled(!ended_ && !pending_.isEmpty());
    if (closing_ && pending_.isEmpty()) {
        shutdown(socket_, SHUT_WR);
        // Input left unread would turn the close into a reset, which can
        // take the last reply with it before the client reads it.
        char unread[4096];
        while (::read(socket_, unread, sizeof unread) > 0) {
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
