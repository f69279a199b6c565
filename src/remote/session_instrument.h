#pragma once

#include "remote/scpi_session.h"

class SupplySession;

// The supply as a script sees it: the session's state and operations.
class SessionInstrument : public ScpiInstrument {
public:
    explicit SessionInstrument(SupplySession& session) : session_(session) {}

    QString setSetpoint(const SetpointQuantity& quantity, int frameUnits) override;
    int setpoint(const SetpointQuantity& quantity) const override;
    std::optional<int> measured(const SetpointQuantity& quantity) const override;
    bool supplyAnswers() const override;
    QString setOutput(bool on) override;
    bool output() const override;
    void setTripMode(bool shutDown) override;
    bool tripMode() const override;
    bool overCurrentTripped() const override;
    bool protectionTripped() const override;
    void clearTrips() override;
    void setWatchdog(bool on) override;
    bool watchdog() const override;
    void setWatchdogDelay(int seconds) override;
    int watchdogDelay() const override;
    quint64 framesBegun() const override;
    quint64 lastWholeFrame() const override;
    bool sending() const override;
    quint64 repliesTaken() const override;
    qint64 nowMs() const override;
    void setRunCount(int passes) override;
    int runCount() const override;
    QString setRunning(bool run) override;
    bool running() const override;
    RunPosition runPosition() const override;

private:
    SupplySession& session_;
};
