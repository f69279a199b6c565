#include "session/supply_session.h"

#include "link/frame.h"
#include "platform/dialogs.h"

// Every switch-off comes here: output and run end, the off frame goes out from
// the next frame boundary on, and the measurement log is handed over to be
// saved as a record file. Nothing here waits for the disk, so the supply
// hears of the stop first whatever the log's length.
void SupplySession::stop() {
    if (!outputOn()) {
        return;
    }
    // A stop ends the run too: a run end noticed later in the same tick has
    // nothing left to stop, and must not save the log a second time.
    state.runEndHandled = true;
    setOutputState(OutputState::Off);
    state.frameText = ::composeFrame(frameCentivolts_, frameMilliamps_, state.tripMode, false);
    appendLog(QStringLiteral("\r\n"));
    state.rowIndex = 0;
    state.secondsLeft = 0;
    saveLogAsRecord();
}

// In shut-down mode, a reply that reported over-current while the output is
// on switches the output off.
void SupplySession::overCurrentTrip() {
    if (outputOn() && state.overCurrent) {
        stop();
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
