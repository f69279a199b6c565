#include "remote/session_instrument.h"

#include "link/frame.h"
#include "session/supply_session.h"
#include "setting/setpoint_quantity.h"

namespace {

bool isVoltage(const SetpointQuantity& quantity) {
    return quantity.unit == kVoltageQuantity.unit;
}

// What a script reads: the English, whatever the window's language.
QString textOf(const Refused& refusal) {
    if (!refusal) {
        return {};
    }
    return refusal->english.isEmpty() ? refusal->text : refusal->english;
}

} // namespace

// A script's change goes into the next frame at once: *OPC? waits for it.
QString SessionInstrument::setSetpoint(const SetpointQuantity& quantity, int frameUnits) {
    const QString refusal = textOf(session_.setSetpoint(quantity, frameUnits));
    session_.composeFrameNow();
    return refusal;
}

int SessionInstrument::setpoint(const SetpointQuantity& quantity) const {
    const SessionState& state = session_.state;
    if (isVoltage(quantity)) {
        return session_.running() ? state.rowCentivolts : state.voltageSetpointCentivolts;
    }
    return session_.running() ? state.rowMilliamps : state.currentSetpointMilliamps;
}

// A live reading only: none while the supply does not answer, nor while the
// last reply is too old to stand for now, nor when a field is not four
// digits within the range.
std::optional<int> SessionInstrument::measured(const SetpointQuantity& quantity) const {
    const SessionState& state = session_.state;
    const QString& digits = isVoltage(quantity) ? state.voltageDigits : state.currentDigits;
    if (!state.linkUp || !state.readingFresh() || !isDigitField(digits, quantity.frameLimit)) {
        return std::nullopt;
    }
    return digits.toInt();
}

bool SessionInstrument::supplyAnswers() const {
    return session_.state.linkUp && session_.state.readingFresh();
}

QString SessionInstrument::setOutput(bool on) {
    const QString refusal = textOf(session_.switchOutput(on));
    session_.composeFrameNow();
    return refusal;
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

bool SessionInstrument::overCurrentTripped() const {
    return session_.overCurrentTripped();
}

bool SessionInstrument::protectionTripped() const {
    return session_.overCurrentTripped() || session_.ioWatchdog().tripped();
}

void SessionInstrument::clearTrips() {
    session_.clearOverCurrentTrip();
    session_.clearIoWatchdogTrip();
}

void SessionInstrument::setWatchdog(bool on) {
    session_.setIoWatchdog(on);
}

bool SessionInstrument::watchdog() const {
    return session_.ioWatchdog().enabled();
}

void SessionInstrument::setWatchdogDelay(int seconds) {
    session_.setIoWatchdogDelay(seconds);
}

int SessionInstrument::watchdogDelay() const {
    return session_.ioWatchdog().delaySeconds();
}

quint64 SessionInstrument::framesBegun() const {
    return session_.framesBegun();
}

quint64 SessionInstrument::lastWholeFrame() const {
    return session_.lastWholeFrame();
}

bool SessionInstrument::sending() const {
    return session_.sending();
}

quint64 SessionInstrument::repliesTaken() const {
    return session_.repliesTaken();
}

qint64 SessionInstrument::nowMs() const {
    return session_.nowMs();
}

void SessionInstrument::setRunCount(int passes) {
    session_.setRunCount(passes);
}

int SessionInstrument::runCount() const {
    return session_.runCount();
}

QString SessionInstrument::setRunning(bool run) {
    const QString refusal = textOf(session_.switchRun(run));
    session_.composeFrameNow();
    return refusal;
}

bool SessionInstrument::running() const {
    return session_.running();
}

RunPosition SessionInstrument::runPosition() const {
    return session_.runProgress().at;
}
