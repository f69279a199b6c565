#pragma once

#include "remote/scpi_session.h"

class SupplySession;

// The supply as a script sees it: the session's state and operations.
class SessionInstrument : public ScpiInstrument {
public:
    explicit SessionInstrument(SupplySession& session) : session_(session) {}

    QString setSetpoint(const SetpointQuantity& quantity, qint16 setpoint) override;
    qint16 setpoint(const SetpointQuantity& quantity) const override;
    std::optional<qint16> measured(const SetpointQuantity& quantity) const override;
    QString setOutput(bool on) override;
    bool output() const override;
    void setTripMode(bool shutDown) override;
    bool tripMode() const override;
    bool tripped() const override;
    void clearTrip() override;
    void setRunCount(qint16 passes) override;
    qint16 runCount() const override;
    QString setRunning(bool run) override;
    bool running() const override;

private:
    SupplySession& session_;
};
