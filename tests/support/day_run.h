#pragma once

#include "fakes.h"

#include <functional>

// A day at the bench in compressed time: a window on fakes, its supply
// answering every read, a two-step sequence running endlessly with the output
// on, the clock advancing 100 ms per poll tick and the sender ticking twenty
// times per poll tick, as the real timers do, with the events that pile up
// meanwhile handled once a second.
class DayRun {
public:
    static constexpr qint64 kTicksPerDay = 864000;

    // Builds the window with its step table and starts the run.
    bool start();
    // Drives this many poll ticks; the callback, if any, runs after each.
    void run(qint64 ticks, const std::function<void(qint64)>& afterTick = {});
    // Ends the run with the run button; returns the record file written.
    QString stop();

    WindowOnFakes fakes;
    MainWindow* window = nullptr;
};
