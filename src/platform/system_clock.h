#pragma once

#include "platform/clock.h"

#include <QThread>

class SystemClock : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    void sleepMs(int ms) override { QThread::msleep(ms); }
};
