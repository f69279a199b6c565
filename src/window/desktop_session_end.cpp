#include "window/desktop_session_end.h"

#include "app/stop_signals.h"
#include "platform/process_exit.h"
#include "window/main_window.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QSessionManager>
#include <QTimer>

#include <cstdio>
#include <memory>

namespace {

// Cleared when the window goes, so an ordinary end of the program (after the
// window's own close) does nothing more here.
MainWindow* guarded = nullptr;
QtMessageHandler previousHandler = nullptr;

void endWithoutDisplay() {
    // Once, however many ways the end is announced.
    static bool ended = false;
    if (guarded == nullptr || ended) {
        return;
    }
    ended = true;
    guarded->session().endWithoutDisplay();
}

void onMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        endWithoutDisplay();
    }
    if (previousHandler != nullptr) {
        previousHandler(type, context, text);
    } else {
        qt_message_output(type, context, text);
    }
}

} // namespace

void endWithSession(MainWindow* window) {
    static bool hooked = false;
    if (!hooked) {
        hooked = true;
        callAtProcessExit(endWithoutDisplay);
        previousHandler = qInstallMessageHandler(onMessage);
    }
    guarded = window;
    QObject::connect(window, &QObject::destroyed, [] { guarded = nullptr; });

    QObject::connect(qApp, &QGuiApplication::commitDataRequest, window,
                     [window](QSessionManager& manager) {
                         SupplySession& session = window->session();
                         // A logout the program may not cancel goes on, and the process
                         // ends with it.
                         if (!manager.allowsInteraction()) {
                             session.holdClosingUntilExit();
                         }
                         session.setCloseReason(LogEnd::Logout);
                         if (window->close()) {
                             return;
                         }
                         // Waiting for its record: the logout goes on meanwhile.
                         if (session.outputState() == OutputState::Closing) {
                             session.holdClosingUntilExit();
                             return;
                         }
                         // A close that would lose a log is refused, and the logout
                         // with it: the operator stays in the program.
                         manager.cancel();
                     });
}

void endOnStopSignals(MainWindow* window) {
    auto* stopSignals = new StopSignals(window);
    // From the first stop signal on, the time the program has left.
    const auto end = std::make_shared<QDeadlineTimer>(QDeadlineTimer::Forever);
    // A close may wait for its record to be saved; the program ends when the
    // window has closed, whenever that is, and after a stop signal without
    // waiting on the record worker beyond the signal's wait.
    QObject::connect(window, &MainWindow::closed, window, [window, stopSignals, end] {
        if (!end->isForever()) {
            window->session().letRecordWorkerGo(int(end->remainingTime()));
        }
        stopSignals->programFinished();
        QCoreApplication::quit();
    });
    QObject::connect(stopSignals, &StopSignals::received, window, [window, end] {
        if (end->isForever()) {
            *end = QDeadlineTimer(kStopSignalRecordWaitMs);
        }
        window->session().holdClosingUntilExit();
        window->session().setCloseReason(LogEnd::StopSignal);
        if (window->close()) {
            return;
        }
        // Refused, or waiting for the record: either way the end comes
        // after the wait, with or without it.
        QTimer::singleShot(kStopSignalRecordWaitMs, window, [window] {
            if (window->session().outputState() == OutputState::Closed) {
                return;
            }
            const QString message = window->session().closeLeavingJournals();
            if (!message.isEmpty()) {
                std::fprintf(stderr, "Velkor: %s\n", qPrintable(message));
            }
            window->close();
        });
    });
}
