#include "app/session_end.h"

#include "app/main_window.h"

#include <QGuiApplication>
#include <QSessionManager>

#include <cstdlib>

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
    guarded->endWithoutDisplay();
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
        std::atexit(endWithoutDisplay);
        std::at_quick_exit(endWithoutDisplay);
        previousHandler = qInstallMessageHandler(onMessage);
    }
    guarded = window;
    QObject::connect(window, &QObject::destroyed, [] { guarded = nullptr; });

    QObject::connect(
        qApp, &QGuiApplication::commitDataRequest, window, [window](QSessionManager& manager) {
            // A close that would lose a log is refused; then the
            // logout is too, where the session lets us say so.
            if (!window->close() && !window->closeWaitsForRecord() && manager.allowsInteraction()) {
                manager.cancel();
            }
        });
}
