#pragma once

#include "remote/scpi_session.h"

class MainWindow;

// The supply as a script sees it: the window's state and the operations its
// controls call.
class WindowInstrument : public ScpiInstrument {
public:
    explicit WindowInstrument(MainWindow& window) : window_(window) {}

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
    MainWindow& window_;
};
