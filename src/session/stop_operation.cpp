#include "session/supply_session.h"

#include "link/frame.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "record/log_text.h"
#include "setting/setpoint_quantity.h"

// Every switch-off comes here: output and run end, the off frame goes out from
// the next frame boundary on, and the measurement log is handed over to be
// saved as a record file. Nothing here waits for the disk, so the supply
// hears of the stop first whatever the log's length.
void SupplySession::stop(LogEnd why) {
    if (!outputOn()) {
        return;
    }
    const bool wasRunning = running();
    const RunPosition at = runPosition();
    if (wasRunning && why == LogEnd::SwitchedOff) {
        why = LogEnd::RunStopped;
    }
    // A stop ends the run too: a run end noticed later in the same tick has
    // nothing left to stop, and must not save the log a second time.
    state.runEndHandled = true;
    setOutputState(OutputState::Off);
    state.frameText = ::composeFrame(frameCentivolts_, frameMilliamps_, state.tripMode, false);
    const RunShape run = samples_.run;
    // The reply that reported over-current says what the load drew.
    const bool tripReading = why == LogEnd::OverCurrentTrip && state.readingLive();
    endLog(why, at,
           tripReading ? voltageReadoutText(state.voltageDigits) + QLatin1Char(' ') +
                             currentReadoutText(state.currentDigits)
                       : QString());
    state.rowIndex = 0;
    state.secondsLeft = 0;
    state.passNumber = 0;
    runEndNotice_.clear();
    if (!wasRunning) {
        return;
    }
    // The sliders show the manual setpoints again.
    emit setpointShown(kVoltageQuantity.unit, state.voltageSetpointCentivolts);
    emit setpointShown(kCurrentQuantity.unit, state.currentSetpointMilliamps);
    runEndNotice_ = runEndNotice(timeOfDayText(platform_.clock->now().time()), why, run, at);
    // A loss and a watchdog trip say so in notices of their own, with the run.
    if (!runEndNotice_.isEmpty() && why != LogEnd::LinkLost && why != LogEnd::WatchdogTrip) {
        emit notice(runEndNotice_);
    }
}

// The log's last line says why it ended; the log is then saved as a record.
void SupplySession::endLog(LogEnd why, const RunPosition& at, const QString& readings) {
    const QString when = timeOfDayText(platform_.clock->now().time());
    appendLog(QStringLiteral("\r\n") + logEndLine(when, why, samples_.run, at, readings));
    appendLog(QStringLiteral("\r\n"));
    samples_.end = why;
    saveLogAsRecord();
}

RunPosition SupplySession::runPosition() const {
    return running() ? stepInForce_ : RunPosition{};
}

RunProgress SupplySession::runProgress() const {
    if (!running()) {
        return {};
    }
    // The step ends at the display tick at which one second is left; the
    // display divider counts the poll ticks since the last display tick. A
    // step whose countdown is over waits a tick for the next to go out.
    const bool stepOver = stepInForce_.step != state.rowIndex + 1;
    const int tenthsLeft =
        stepOver ? 0 : qMax(0, (state.secondsLeft - 1) * 10 + (10 - state.displayDivider));
    return {samples_.run, runPosition(), tenthsLeft};
}

// In shut-down mode, a reply that reported over-current while the output is
// on switches the output off.
void SupplySession::overCurrentTrip() {
    if (outputOn() && state.overCurrent) {
        stop(LogEnd::OverCurrentTrip);
        overCurrentTripped_ = true;
        emit changed();
        platform_.dialogs->message(QStringLiteral("电源报告过流，输出已关闭。\n"
                                                  "The supply reported over-current; the output "
                                                  "was switched off."),
                                   QStringLiteral("Velkor"));
    }
}

void SupplySession::setOutputState(OutputState next) {
    if (output_ == next) {
        return;
    }
    output_ = next;
    emit changed();
}
