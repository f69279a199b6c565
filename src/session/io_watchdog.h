#pragma once

#include <QDateTime>

// Watches the scripts that drive the supply: while it is on and the output
// is on, a silence of every script that lasts the delay is due to switch the
// output off. A script that dies with the output on leaves it on otherwise.
class IoWatchdog {
public:
    static constexpr int kDefaultDelayS = 60;

    bool enabled() const { return enabled_; }
    int delaySeconds() const { return delayS_; }
    bool tripped() const { return tripped_; }

    // Switching it on counts as hearing from a script: it is a script that
    // asks.
    void setEnabled(bool on, const QDateTime& now) {
        enabled_ = on;
        quietSince_ = now;
    }
    void setDelaySeconds(int seconds, const QDateTime& now) {
        delayS_ = seconds;
        quietSince_ = now;
    }
    // A script sent something; also while the output is off, since only a
    // silence with the output on counts.
    void restart(const QDateTime& now) { quietSince_ = now; }
    // Whether the silence has lasted the delay, asked while it is on. A
    // clock set back starts the silence again rather than stretching it.
    bool due(const QDateTime& now) {
        if (now < quietSince_) {
            quietSince_ = now;
        }
        return quietSince_.msecsTo(now) >= qint64(delayS_) * 1000;
    }
    void trip() { tripped_ = true; }
    void clearTrip() { tripped_ = false; }

private:
    bool enabled_ = false;
    int delayS_ = kDefaultDelayS;
    bool tripped_ = false;
    QDateTime quietSince_;
};
