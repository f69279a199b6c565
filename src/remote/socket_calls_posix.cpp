#include "remote/socket_calls.h"

#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace socket_calls {
namespace {

void setOption(qintptr socket, int level, int option) {
    const int on = 1;
    setsockopt(static_cast<int>(socket), level, option, &on, sizeof on);
}

Transfer outcomeOf(ssize_t moved) {
    if (moved > 0) {
        return {Outcome::Moved, static_cast<qsizetype>(moved)};
    }
    if (moved == 0) {
        return {Outcome::Finished};
    }
    return {errno == EAGAIN || errno == EWOULDBLOCK ? Outcome::WouldBlock : Outcome::Failed};
}

} // namespace

void prepare(qintptr socket) {
    const int fd = static_cast<int>(socket);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    setOption(socket, IPPROTO_TCP, TCP_NODELAY);
}

// The kernel falls back to delayed ACKs by itself, so this holds only until
// the next read.
void acknowledgeAtOnce(qintptr socket) {
    setOption(socket, IPPROTO_TCP, TCP_QUICKACK);
}

Transfer receive(qintptr socket, char* bytes, qsizetype most) {
    ssize_t got = 0;
    do {
        got = ::read(static_cast<int>(socket), bytes, static_cast<size_t>(most));
    } while (got < 0 && errno == EINTR);
    return outcomeOf(got);
}

Transfer send(qintptr socket, const char* bytes, qsizetype count) {
    ssize_t sent = 0;
    do {
        sent = ::send(static_cast<int>(socket), bytes, static_cast<size_t>(count), MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    // Nothing sent of something is no end of the input: the peer is gone.
    return sent == 0 ? Transfer{Outcome::Failed} : outcomeOf(sent);
}

void shutdownSending(qintptr socket) {
    ::shutdown(static_cast<int>(socket), SHUT_WR);
}

void close(qintptr socket) {
    ::close(static_cast<int>(socket));
}

} // namespace socket_calls
