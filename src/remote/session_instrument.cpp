#include "remote/session_instrument.h"

#include "link/frame.h"
#include "session/supply_session.h"
#include "setting/setpoint_quantity.h"

namespace {

bool isVoltage(const SetpointQuantity& quantity) {
    return quantity.unit == kVoltageQuantity.unit;
}

QString textOf(const Refused& refusal) {
    return refusal ? refusal->text : QString();
}

} // namespace

QString SessionInstrument::setSetpoint(const SetpointQuantity& quantity, qint16 setpoint) {
    return textOf(session_.setSetpoint(quantity, setpoint));
}

qint16 SessionInstrument::setpoint(const SetpointQuantity& quantity) const {
    const SessionState& state = session_.state;
    if (isVoltage(quantity)) {
        return qint16(session_.running() ? state.rowCentivolts : state.voltageSetpointCentivolts);
    }
    return qint16(session_.running() ? state.rowMilliamps : state.currentSetpointMilliamps);
}

// A live reading only: none while the supply does not answer, nor while the
// last reply is too old to stand for now, nor when a field is not four
// digits within the range.
std::optional<qint16> SessionInstrument::measured(const SetpointQuantity& quantity) const {
    const SessionState& state = session_.state;
    const QString& digits = isVoltage(quantity) ? state.voltageDigits : state.currentDigits;
    if (!state.linkUp || !state.readingFresh() || !isDigitField(digits, quantity.frameLimit)) {
        return std::nullopt;
    }
    return static_cast<qint16>(digits.toInt());
}

QString SessionInstrument::setOutput(bool on) {
    return textOf(session_.switchOutput(on));
}

bool SessionInstrument::output() const {
    return session_.outputOn();
}

void SessionInstrument::setTripMode(bool shutDown) {
    session_.setTripMode(shutDown);
}

bool SessionInstrument::tripMode() const {
    return session_.state.tripMode;
}

bool SessionInstrument::tripped() const {
    return session_.overCurrentTripped();
}

void SessionInstrument::clearTrip() {
    session_.clearOverCurrentTrip();
}

void SessionInstrument::setRunCount(qint16 passes) {
    session_.setRunCount(passes);
}

qint16 SessionInstrument::runCount() const {
    return qint16(session_.runCount());
}

QString SessionInstrument::setRunning(bool run) {
    return textOf(session_.switchRun(run));
}

bool SessionInstrument::running() const {
    return session_.running();
}
