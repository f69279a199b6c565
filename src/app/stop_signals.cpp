#include "app/stop_signals.h"

#include "session/supply_session.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include <memory>

void endOnStopSignals(SupplySession* session) {
    auto* stopSignals = new StopSignals(session);
    // From the first stop signal on, the time the program has left.
    const auto end = std::make_shared<QDeadlineTimer>(QDeadlineTimer::Forever);
    const auto quit = [session, stopSignals, end] {
        session->letRecordWorkerGo(int(end->remainingTime()));
        stopSignals->programFinished();
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
