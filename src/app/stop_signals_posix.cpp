#include "app/stop_signals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

// [0] is written by the handler, [1] read on the window's thread.
int signalSockets[2] = {-1, -1};

// The handler only writes a byte to a socket pair, which is all it may
// safely do.
void onStopSignal(int) {
    const int savedErrno = errno;
    const char byte = 1;
    // Non-blocking: with the socket full, the signals still unread say enough.
    [[maybe_unused]] const ssize_t written = ::write(signalSockets[0], &byte, 1);
    errno = savedErrno;
}

} // namespace

struct StopSignals::Listener {
    QSocketNotifier* notifier = nullptr;
    // Those a handler was installed for.
    std::vector<int> handled;
};

StopSignals::StopSignals(QObject* parent) : QObject(parent), listener_(new Listener) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, signalSockets) != 0) {
        return;
    }
    listener_->notifier = new QSocketNotifier(signalSockets[1], QSocketNotifier::Read, this);
    connect(listener_->notifier, &QSocketNotifier::activated, this, [this] {
        char bytes[64];
        while (::read(signalSockets[1], bytes, sizeof bytes) > 0) {
        }
        emit received();
    });

    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // System calls the handler interrupts are resumed, so no read or write
    // of the program fails for it.
    action.sa_flags = SA_RESTART;
    for (const int signal : kStopSignals) {
        struct sigaction previous {};
        ::sigaction(signal, nullptr, &previous);
        // "nohup velkor &" and a shell's background job start the program
        // with SIGHUP or SIGINT ignored, on purpose; that stays so.
        if (signal != SIGTERM && previous.sa_handler == SIG_IGN) {
            continue;
        }
        ::sigaction(signal, &action, nullptr);
        listener_->handled.push_back(signal);
    }
}

StopSignals::~StopSignals() {
    if (listener_->notifier == nullptr) {
        return;
    }
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    for (const int signal : listener_->handled) {
        ::sigaction(signal, &action, nullptr);
    }
    ::close(signalSockets[0]);
    ::close(signalSockets[1]);
    signalSockets[0] = signalSockets[1] = -1;
}

// A POSIX signal handler never holds the process.
void StopSignals::programFinished() {}
