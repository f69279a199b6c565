#pragma once

#include <QEventLoop>
#include <QList>
#include <QTimer>

#include <algorithm>
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

inline double percentile(QList<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values.at(
        std::min<qsizetype>(values.size() - 1, static_cast<qsizetype>(p * values.size())));
}
