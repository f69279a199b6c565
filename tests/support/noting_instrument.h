#pragma once

#include "remote/scpi_session.h"
#include "setting/setpoint_quantity.h"

#include <QStringList>

// An instrument that notes each change asked of it.
class NotingInstrument : public ScpiInstrument {
public:
    QStringList calls;
    bool linked = true;
    // Why switching on or starting a run is refused; empty accepts.
    QString refusal;
    int volts = 1200;
    int amperes = 500;
    bool on = false;
    bool shutDown = false;
    int passes = 0;
    bool run = false;
    RunPosition position;
    bool guarded = false;
    int guardDelay = 60;
    // A port open, with frames going out and replies coming back as passed()
    // says; without one, nothing waits for a frame.
    bool portOpen = false;
    quint64 frames = 0;
    quint64 replies = 0;
    qint64 ms = 0;

    // Time passes for the supply: a frame goes out whole, unless not
    // `framed`, and a supply that answers sends a reply.
    void passed(qint64 elapsedMs, bool framed = true) {
        ms += elapsedMs;
        frames += framed ? 1 : 0;
        if (linked) {
            ++replies;
        }
    }

    QString setSetpoint(const SetpointQuantity& quantity, int setpoint) override {
        calls << QStringLiteral("%1 %2").arg(quantity.unit).arg(setpoint);
        if (run) {
            return QStringLiteral("Stop the run first");
        }
        (quantity.unit == kVoltageQuantity.unit ? volts : amperes) = setpoint;
        return {};
    }
    int setpoint(const SetpointQuantity& quantity) const override {
        return quantity.unit == kVoltageQuantity.unit ? volts : amperes;
    }
    std::optional<int> measured(const SetpointQuantity& quantity) const override {
        if (!linked) {
            return std::nullopt;
        }
        return quantity.unit == kVoltageQuantity.unit ? 1249 : 498;
    }
    bool supplyAnswers() const override { return linked; }
    QString setOutput(bool wanted) override {
        calls << QStringLiteral("output %1").arg(wanted);
        if (wanted && !refusal.isEmpty()) {
            return refusal;
        }
        on = wanted;
        return {};
    }
    bool output() const override { return on; }
    void setTripMode(bool wanted) override {
        calls << QStringLiteral("trip %1").arg(wanted);
        shutDown = wanted;
    }
    bool tripMode() const override { return shutDown; }
    bool overCurrentTripped() const override { return false; }
    bool protectionTripped() const override { return true; }
    void clearTrips() override { calls << QStringLiteral("clear"); }
    void setWatchdog(bool wanted) override {
        calls << QStringLiteral("watchdog %1").arg(wanted);
        guarded = wanted;
    }
    bool watchdog() const override { return guarded; }
    void setWatchdogDelay(int seconds) override {
        calls << QStringLiteral("delay %1").arg(seconds);
        guardDelay = seconds;
    }
    int watchdogDelay() const override { return guardDelay; }
    quint64 framesBegun() const override { return frames; }
    quint64 lastWholeFrame() const override { return frames; }
    bool sending() const override { return portOpen; }
    quint64 repliesTaken() const override { return replies; }
    qint64 nowMs() const override { return ms; }
    void setRunCount(int wanted) override {
        calls << QStringLiteral("count %1").arg(wanted);
        passes = wanted;
    }
    int runCount() const override { return passes; }
    QString setRunning(bool wanted) override {
        calls << QStringLiteral("run %1").arg(wanted);
        if (wanted && !refusal.isEmpty()) {
            return refusal;
        }
        run = wanted;
        return {};
    }
    bool running() const override { return run; }
    RunPosition runPosition() const override { return position; }
};
