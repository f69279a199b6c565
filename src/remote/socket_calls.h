#pragma once

#include <QtGlobal>

// The calls the SCPI connection makes on its bare TCP socket, each the same
// on every system; a socket is known by the handle Qt gives it (a file
// descriptor, or a Winsock SOCKET).
namespace socket_calls {

enum class Outcome {
    Moved,      // bytes went or came
    WouldBlock, // nothing now; the notifier says when
    Finished,   // a read found the other end done sending
    Failed      // reset, or gone
};

struct Transfer {
    Outcome outcome;
    qsizetype bytes = 0;
};

// Non-blocking, and small writes sent at once (no Nagle).
void prepare(qintptr socket);
// Asked after every read: the other end's next small write is never held
// back by a delayed acknowledgement.
void acknowledgeAtOnce(qintptr socket);
Transfer receive(qintptr socket, char* bytes, qsizetype most);
// A peer that is gone fails the send; it never ends the program.
Transfer send(qintptr socket, const char* bytes, qsizetype count);
// The other end reads to the end of what was sent, then learns no more comes.
void shutdownSending(qintptr socket);
void close(qintptr socket);

} // namespace socket_calls
