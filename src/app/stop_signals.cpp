#include "app/stop_signals.h"

#include "session/supply_session.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

// [0] is written by the handler, [1] read on the window's thread.
int signalSockets[2] = {-1, -1};

void onStopSignal(int) {
    const int savedErrno = errno;
    const char byte = 1;
    // Non-blocking: with the socket full, the signals still unread say enough.
    [[maybe_unused]] const ssize_t written = ::write(signalSockets[0], &byte, 1);
    errno = savedErrno;
}

} // namespace

StopSignals::StopSignals(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, signalSockets) != 0) {
        return;
    }
    notifier_ = new QSocketNotifier(signalSockets[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &StopSignals::drain);

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
        handled_.push_back(signal);
    }
}

StopSignals::~StopSignals() {
    if (notifier_ == nullptr) {
        return;
    }
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    for (const int signal : handled_) {
        ::sigaction(signal, &action, nullptr);
    }
    ::close(signalSockets[0]);
    ::close(signalSockets[1]);
    signalSockets[0] = signalSockets[1] = -1;
}

void StopSignals::drain() {
    char bytes[64];
    while (::read(signalSockets[1], bytes, sizeof bytes) > 0) {
    }
    emit received();
}

void endOnStopSignals(SupplySession* session) {
    auto* stopSignals = new StopSignals(session);
    // From the first stop signal on, the time the program has left.
    const auto end = std::make_shared<QDeadlineTimer>(QDeadlineTimer::Forever);
    const auto quit = [session, end] {
        session->letRecordWorkerGo(int(end->remainingTime()));
        QCoreApplication::quit();
    };
    const auto endLeavingJournals = [session, quit] {
        session->closeLeavingJournals();
        quit();
    };
    const auto close = [session, quit, endLeavingJournals] {
        switch (session->requestClose()) {
        case SupplySession::CloseAnswer::Closed:
            quit();
            break;
        case SupplySession::CloseAnswer::Refused:
            endLeavingJournals();
            break;
        case SupplySession::CloseAnswer::Waits:
            break;
        }
    };
    QObject::connect(
        stopSignals, &StopSignals::received, session, [session, end, close, endLeavingJournals] {
            if (end->isForever()) {
                *end = QDeadlineTimer(kStopSignalRecordWaitMs);
            }
            session->holdClosingUntilExit();
            session->setCloseReason(LogEnd::StopSignal);
            close();
            if (session->outputState() != OutputState::Closed) {
                QTimer::singleShot(kStopSignalRecordWaitMs, session, endLeavingJournals);
            }
        });
    QObject::connect(session, &SupplySession::closeWaitOver, session, close);
}
