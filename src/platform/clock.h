#pragma once

#include <QDateTime>

class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    // Waits this long outside the event loop: the pace of the last frames
    // at a close, when no timer runs any more.
    virtual void sleepMs(int ms) = 0;
};
