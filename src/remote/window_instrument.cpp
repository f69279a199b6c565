#include "remote/window_instrument.h"

#include "app/main_window.h"
#include "link/frame.h"
#include "setting/setpoint_quantity.h"

#include <QComboBox>

namespace {

bool isVoltage(const SetpointQuantity& quantity) {
    return quantity.unit == kVoltageQuantity.unit;
}

} // namespace

QString WindowInstrument::setSetpoint(const SetpointQuantity& quantity, qint16 setpoint) {
    return window_.remoteSetpoint(quantity, setpoint);
}

qint16 WindowInstrument::setpoint(const SetpointQuantity& quantity) const {
    const SessionState& state = window_.state;
    if (isVoltage(quantity)) {
        return state.runActive ? state.rowVoltage : state.voltageSetpoint;
    }
    return state.runActive ? state.rowCurrent : state.currentSetpoint;
}

// What the readouts show; a field that is not four digits within the range
// is no reading.
std::optional<qint16> WindowInstrument::measured(const SetpointQuantity& quantity) const {
    const SessionState& state = window_.state;
    const QString& digits = isVoltage(quantity) ? state.voltageDigits : state.currentDigits;
    if (!state.linkUp || !isDigitField(digits, quantity.frameLimit)) {
        return std::nullopt;
    }
    return static_cast<qint16>(digits.toInt());
}

QString WindowInstrument::setOutput(bool on) {
    return window_.remoteOutput(on);
}

bool WindowInstrument::output() const {
    return window_.state.outputOn;
}

// The mode list's second entry is the shut-down.
void WindowInstrument::setTripMode(bool shutDown) {
    window_.overCurrentModeList->setCurrentIndex(shutDown ? 1 : 0);
    window_.overCurrentModeChosen();
}

bool WindowInstrument::tripMode() const {
    return window_.state.tripMode;
}

bool WindowInstrument::tripped() const {
    return window_.overCurrentTripped();
}

void WindowInstrument::clearTrip() {
    window_.clearOverCurrentTrip();
}

// The run-count list holds "x" (until stopped) and then 1..100 in order.
void WindowInstrument::setRunCount(qint16 passes) {
    window_.runCountList->setCurrentIndex(passes);
    window_.runCountChosen();
}

qint16 WindowInstrument::runCount() const {
    return static_cast<qint16>(window_.runCountList->currentIndex());
}

QString WindowInstrument::setRunning(bool run) {
    return window_.remoteRun(run);
}

bool WindowInstrument::running() const {
    return window_.state.runActive;
}
