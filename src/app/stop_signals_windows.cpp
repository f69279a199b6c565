#include "app/stop_signals.h"

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

const wchar_t kSessionWindowClass[] = L"VelkorSessionEnd";

// Made once and kept to the end of the process: a console handler on the
// system's thread may still hold them when the listener goes.
// Set by the console handler; the window's thread waits on it (auto-reset).
HANDLE stopRequested = nullptr;
// Set when the program has finished, so a handler that waits returns.
HANDLE programFinished = nullptr;

// Runs on a thread the system makes for it. A process started with Ctrl+C
// ignored (a new process group) is not called for it: that stays so.
BOOL WINAPI onConsoleControl(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        SetEvent(stopRequested);
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        SetEvent(stopRequested);
        WaitForSingleObject(programFinished, kEndWaitMs);
        return TRUE;
    default:
        return FALSE;
    }
}

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
        // signal and the time it needs to end, here.
        if (wParam != FALSE) {
            if (auto* stopSignals =
                    reinterpret_cast<StopSignals*>(GetWindowLongPtrW(window, GWLP_USERDATA))) {
                emit stopSignals->received();
                QEventLoop untilQuit;
                QTimer::singleShot(kEndWaitMs, &untilQuit, &QEventLoop::quit);
                // The program's quit ends this loop too.
                untilQuit.exec();
            }
        }
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

HWND createSessionWindow(StopSignals* stopSignals) {
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
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(stopSignals));
    }
    return window;
}

} // namespace

struct StopSignals::Listener {
    QWinEventNotifier* notifier = nullptr;
    HWND sessionWindow = nullptr;
    bool consoleHandled = false;
};

StopSignals::StopSignals(QObject* parent) : QObject(parent), listener_(new Listener) {
    if (stopRequested == nullptr) {
        stopRequested = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        programFinished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    if (stopRequested != nullptr && programFinished != nullptr) {
        ResetEvent(stopRequested);
        ResetEvent(programFinished);
        listener_->notifier = new QWinEventNotifier(stopRequested, this);
        connect(listener_->notifier, &QWinEventNotifier::activated, this, &StopSignals::received);
        listener_->consoleHandled = SetConsoleCtrlHandler(onConsoleControl, TRUE) != FALSE;
    }
    listener_->sessionWindow = createSessionWindow(this);
}

StopSignals::~StopSignals() {
    if (listener_->sessionWindow != nullptr) {
        DestroyWindow(listener_->sessionWindow);
    }
    if (listener_->consoleHandled) {
        SetConsoleCtrlHandler(onConsoleControl, FALSE);
    }
    if (programFinished != nullptr) {
        SetEvent(programFinished);
    }
}
