#include "remote/socket_calls.h"

// Winsock first: the others build on it.
#include <winsock2.h>

#include <mstcpip.h>
#include <ws2tcpip.h>

namespace socket_calls {
namespace {

SOCKET handle(qintptr socket) {
    return static_cast<SOCKET>(socket);
}

Transfer outcomeOf(int moved) {
    if (moved > 0) {
        return {Outcome::Moved, static_cast<qsizetype>(moved)};
    }
    if (moved == 0) {
        return {Outcome::Finished};
    }
    return {WSAGetLastError() == WSAEWOULDBLOCK ? Outcome::WouldBlock : Outcome::Failed};
}

int chunk(qsizetype count) {
    constexpr qsizetype kMostPerCall = 1 << 30;
    return static_cast<int>(qMin(count, kMostPerCall));
}

} // namespace

void prepare(qintptr socket) {
    u_long nonBlocking = 1;
    ioctlsocket(handle(socket), FIONBIO, &nonBlocking);
    const BOOL on = TRUE;
    setsockopt(handle(socket), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
               sizeof on);
    // Windows has no acknowledgement per read; an acknowledgement for every
    // segment, set once, does the same. Older systems refuse it and keep
    // their delayed ACKs, which only slows a client that leaves Nagle on.
    DWORD everySegment = 1;
    DWORD returned = 0;
    WSAIoctl(handle(socket), SIO_TCP_SET_ACK_FREQUENCY, &everySegment, sizeof everySegment, nullptr,
             0, &returned, nullptr, nullptr);
}

// Set once by prepare().
void acknowledgeAtOnce(qintptr) {}

Transfer receive(qintptr socket, char* bytes, qsizetype most) {
    return outcomeOf(::recv(handle(socket), bytes, chunk(most), 0));
}

Transfer send(qintptr socket, const char* bytes, qsizetype count) {
    const int sent = ::send(handle(socket), bytes, chunk(count), 0);
    return sent == 0 ? Transfer{Outcome::Failed} : outcomeOf(sent);
}

void shutdownSending(qintptr socket) {
    ::shutdown(handle(socket), SD_SEND);
}

void close(qintptr socket) {
    ::closesocket(handle(socket));
}

} // namespace socket_calls
