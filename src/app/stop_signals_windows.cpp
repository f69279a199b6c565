#include "app/stop_signals.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWinEventNotifier>

#include <windows.h>

namespace {

// After a closed console, a logout or a shutdown the system ends the
// process once the handler returns, and within about 5 s whatever it does.
// The program's end after a stop signal fits in that (see
// kStopSignalRecordWaitMs); waiting longer would only be cut short.
constexpr DWORD kEndWaitMs = 4500;

constexpr int kWakeIntervalMs = 50;

const wchar_t kSessionWindowClass[] = L"VelkorSessionEnd";

// Made once and kept to the end of the process: a console handler on the
// system's thread may still hold them when the listener goes.
// Set by the console handler; the window's thread waits on it (auto-reset).
HANDLE stopRequestedEvent = nullptr;
// Set when the program has finished, so a handler that waits returns.
HANDLE programFinishedEvent = nullptr;

// Runs on a thread the system makes for it. A process started with Ctrl+C
// ignored (a new process group) is not called for it: that stays so.
BOOL WINAPI onConsoleControl(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        SetEvent(stopRequestedEvent);
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        SetEvent(stopRequestedEvent);
        WaitForSingleObject(programFinishedEvent, kEndWaitMs);
        return TRUE;
    default:
        return FALSE;
    }
}

// What the hidden window knows of the program.
struct SessionEnd {
    StopSignals* stopSignals = nullptr;
    bool programFinished = false;
};

// The end of the session comes to top-level windows only, and a program
// that uses them hears of a logout or shutdown only so: not as a console
// event. A program without a window of its own (the offscreen one) gets
// this hidden one; Qt's event dispatcher on its thread delivers to it.
LRESULT CALLBACK onSessionMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_QUERYENDSESSION:
        return TRUE;
    case WM_ENDSESSION:
        // The process ends when this returns: the program gets its stop
        // signal and the time it needs to end, here. Qt's own window may
        // have had this message first and quit the event loop already (a
        // quit on which an event loop returns at once), so events are
        // processed by hand until the program says it has finished.
        if (wParam != FALSE) {
            if (auto* sessionEnd =
                    reinterpret_cast<SessionEnd*>(GetWindowLongPtrW(window, GWLP_USERDATA))) {
                emit sessionEnd->stopSignals->received();
                const QDeadlineTimer deadline(kEndWaitMs);
                // An event at least this often, so the deadline is seen.
                QTimer wake;
                wake.start(kWakeIntervalMs);
                while (!sessionEnd->programFinished && !deadline.hasExpired()) {
                    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
                }
            }
        }
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

HWND createSessionWindow(SessionEnd* sessionEnd) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = onSessionMessage;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kSessionWindowClass;
    // A second instance finds the class registered already.
    RegisterClassExW(&windowClass);
    // Top-level, never shown: a message-only window hears no session end.
    const HWND window =
        CreateWindowExW(WS_EX_TOOLWINDOW, kSessionWindowClass, L"Velkor", WS_OVERLAPPED, 0, 0, 0, 0,
                        nullptr, nullptr, instance, nullptr);
    if (window != nullptr) {
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(sessionEnd));
    }
    return window;
}

} // namespace

struct StopSignals::Listener {
    QWinEventNotifier* notifier = nullptr;
    SessionEnd sessionEnd;
    HWND sessionWindow = nullptr;
    bool consoleHandled = false;
};

StopSignals::StopSignals(QObject* parent) : QObject(parent), listener_(new Listener) {
    if (stopRequestedEvent == nullptr) {
        stopRequestedEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        programFinishedEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    if (stopRequestedEvent != nullptr && programFinishedEvent != nullptr) {
        ResetEvent(stopRequestedEvent);
        ResetEvent(programFinishedEvent);
        listener_->notifier = new QWinEventNotifier(stopRequestedEvent, this);
        connect(listener_->notifier, &QWinEventNotifier::activated, this, &StopSignals::received);
        listener_->consoleHandled = SetConsoleCtrlHandler(onConsoleControl, TRUE) != FALSE;
    }
    listener_->sessionEnd.stopSignals = this;
    listener_->sessionWindow = createSessionWindow(&listener_->sessionEnd);
}

StopSignals::~StopSignals() {
    if (listener_->sessionWindow != nullptr) {
        DestroyWindow(listener_->sessionWindow);
    }
    if (listener_->consoleHandled) {
        SetConsoleCtrlHandler(onConsoleControl, FALSE);
    }
    if (programFinishedEvent != nullptr) {
        SetEvent(programFinishedEvent);
    }
}

void StopSignals::programFinished() {
    listener_->sessionEnd.programFinished = true;
}
