#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <ctime>

// Milliseconds of CLOCK_MONOTONIC, the clock of the simulated supply's log.
inline qint64 monotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<qint64>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Runs the event loop as the program does. QTest::qWait would sleep between
// its rounds and starve the 5 ms sender.
inline void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until done() holds; false when timeoutMs passed first.
template <typename Done> bool waitFor(Done done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs) {
            return false;
        }
        runFor(20);
    }
    return true;
}
