#include "session/supply_session.h"

#include "link/frame.h"
#include "link/port_name.h"
#include "link/serial_port.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "record/log_text.h"
#include "setting/design_text.h"
#include "setting/setpoint.h"

#include <algorithm>
#include <utility>

#include <exception>

namespace {

// Also what a line that hung up gives: the port lets go of the device and
// the next read fails.
const DesignText kReadError{QStringLiteral("读串口数据错误"),
                            QStringLiteral("The serial port could not be read.")};

// Reads in a row that bring nothing, or nothing usable, before the link on a
// port counts as lost.
constexpr int kLossAfterReads = 10;

} // namespace

// One tick of the poll cycle, every 100 ms. Each step is guarded on its own so
// that a fault in one never costs the steps after it: the frame is still
// composed, the link still supervised and the readouts still refreshed. A step
// that fails is reported with the read-error box; in a tick in which the port
// search tried to open a port, failures pass silently.
void SupplySession::pollTick() {
    bool choiceTried = false;
    const auto step = [&](auto&& run) {
        try {
            run();
        } catch (const std::exception&) {
            reportTickFailure(choiceTried);
        }
    };
    if (output_ == OutputState::Closed) {
        return;
    }
    step([&] { emit ticked(); });
    if (!state.portOpened) {
        step([&] { choiceTried = searchPort(); });
    }
    step([&] { advanceDividers(); });
    step([&] { setpointStep(); });
    step([&] { ioWatchdogCheck(); });
    step([&] { composeFrame(); });
    // A read or display tick ends with its tick even when a step inside it
    // failed, so the next tick does not count as one again.
    if (state.portOpened && state.readTick) {
        step([&] { readSection(); });
        state.readTick = false;
    }
    if (state.displayTick) {
        step([&] { displayUpdate(); });
        state.displayTick = false;
    }
}

void SupplySession::reportTickFailure(bool quiet) {
    if (!quiet) {
        platform_.dialogs->message(kReadError.text(state.englishUi), QString());
    }
}

void SupplySession::advanceDividers() {
    if (state.voltageEditIdle < 100) {
        ++state.voltageEditIdle;
    }
    if (state.currentEditIdle < 100) {
        ++state.currentEditIdle;
    }
    if (state.displayDivider >= 9) {
        state.displayTick = true;
        state.displayDivider = 0;
    } else {
        ++state.displayDivider;
    }
    if (state.readDivider >= 9) {
        state.readTick = true;
        state.readDivider = 0;
    } else {
        ++state.readDivider;
    }
}

void SupplySession::composeFrame() {
    const bool tripMode = state.tripMode;
    // In shut-down mode the over-current trip is tested here, so a trip turns
    // this very frame's output letter to "N".
    if (tripMode) {
        overCurrentTrip();
    }
    state.frameText = ::composeFrame(frameCentivolts_, frameMilliamps_, tripMode, outputOn());
}

// Reads every waiting character, checks the link and sorts the read. A read
// that fails, or a fault while it is sorted, counts as a read that brought
// nothing, so a port that always fails still ends in a declared loss.
void SupplySession::readSection() {
    QByteArray read;
    try {
        const std::optional<QByteArray> taken = platform_.serialPort->readAll();
        if (taken) {
            read = *taken;
        } else {
            platform_.dialogs->message(kReadError.text(state.englishUi), QString());
        }
    } catch (const std::exception&) {
        reportTickFailure(false);
    }
    reopenSupervisedPort();

    declareLossIfOverdue();
    if (state.readsSinceReply < SessionState::kNoReplyYet) {
        ++state.readsSinceReply;
    }

    if (read.isEmpty()) {
        ++state.emptyReadCount;
        return;
    }
    try {
        sortRead(read);
    } catch (const std::exception&) {
        reportTickFailure(false);
        ++state.emptyReadCount;
    }
}

// The counts are those of earlier reads; this read is counted after.
void SupplySession::declareLossIfOverdue() {
    const bool silent = state.emptyReadCount > kLossAfterReads;
    const bool garbled = state.badReplyCount > kLossAfterReads;
    if (!silent && !garbled) {
        return;
    }
    state.portOpened = false;
    portOutcomes_[state.portNumber] = silent ? PortOutcome::Silent : PortOutcome::Garbled;
    const QString port = QString::number(state.portNumber);
    if (silent) {
        emit diagnosticLine(QStringLiteral("COM") + port + QStringLiteral("无应答"));
    }
    if (garbled) {
        emit diagnosticLine(QStringLiteral("COM") + port + QStringLiteral("超时"));
    }
    // A lost link is down whatever the port: the output and a run wait for
    // the next accepted reply.
    const bool supplyWasUp = state.linkUp;
    state.linkUp = false;
    if (state.portNumber <= 1) {
        state.portFailed.fill(false);
    } else {
        state.portFailed[state.portNumber] = true;
    }
    tellWhyPortsAreClosed();
    emit diagnosticLine(QStringLiteral("数据为空"));
    state.voltageDigits = QStringLiteral("0000");
    state.currentDigits = QStringLiteral("0000");
    emit changed();
    if (outputOn() && linkLossPolicy_ == LinkLossPolicy::SwitchOff) {
        stopAtLoss();
    } else if (supplyWasUp) {
        tellSupplyLost();
    }
}

// The status bar (or, without a window, the error output) hears of a supply
// that stopped answering while the output stays as it was.
void SupplySession::tellSupplyLost() {
    const QString when = timeOfDayText(platform_.clock->now().time());
    const QString where = portWithDevice(state.portNumber, supervisedPath_, u"%1 (%2)");
    emit notice(outputOn() ? QStringLiteral("%1 %2 上的电源失去应答，输出保持打开，正在寻找电源。\n"
                                            "%1 The supply on %2 stopped answering; the "
                                            "output is held on; searching for the supply.")
                                 .arg(when, where)
                           : QStringLiteral("%1 %2 上的电源失去应答，正在寻找电源。\n"
                                            "%1 The supply on %2 stopped answering; "
                                            "searching for the supply.")
                                 .arg(when, where));
    lossTold_ = true;
}

// A supply that someone made safe (its own switch, a pulled cable) must not
// come back on by itself when it answers again: the output goes off here,
// the log is saved up to the loss, and the operator is told once.
void SupplySession::stopAtLoss() {
    const QDateTime now = platform_.clock->now();
    const QString when = timeOfDayText(now.time());
    const QString setpoints = QStringLiteral("%1 V / %2 A")
                                  .arg(shortestDecimalText(frameCentivolts_ / 100.0),
                                       shortestDecimalText(frameMilliamps_ / 1000.0));
    stop(LogEnd::LinkLost);
    lossTold_ = true;
    QString text = QStringLiteral("%1 电源失去连接，输出已关闭（%2）；电源本身可能仍在输出。\n"
                                  "%1 The supply was lost; the output was switched off (%2). The "
                                  "supply itself may still be on.")
                       .arg(when, setpoints);
    if (!runEndNotice_.isEmpty()) {
        text += QLatin1Char('\n') + runEndNotice_;
    }
    emit notice(text);
}

void SupplySession::sortRead(const QByteArray& read) {
    state.emptyReadCount = 0;
    const QString text = receivedText(read);
    emit diagnosticLine(text);
    const ReplyExtraction reply = extractReply(text);
    switch (reply.outcome) {
    case ReplyOutcome::NoTag:
        emit diagnosticLine(QStringLiteral("数据错误"));
        ++state.badReplyCount;
        break;
    case ReplyOutcome::TooShort:
    case ReplyOutcome::NoValidBlock:
        ++state.badReplyCount;
        break;
    case ReplyOutcome::Accepted:
        acceptReply(reply.block);
        break;
    }
}

void SupplySession::acceptReply(const QString& block) {
    emit diagnosticLine(block);
    // While the output is on, only the supply it was switched on at is
    // measured: a second supply the search found after a loss is not it.
    if (outputOn() && supervisedPath_ != supplyPath_) {
        emit diagnosticLine(QStringLiteral("另一台电源 / another supply"));
        ++state.badReplyCount;
        return;
    }
    if (outputOn()) {
        supplyAnswering_ = true;
    }
    const bool found = !state.linkUp;
    ++repliesTaken_;
    const ReplyReading reading = decodeReply(block);
    state.currentDigits = reading.currentDigits;
    state.voltageDigits = reading.voltageDigits;
    state.badReplyCount = 0;
    state.linkUp = true;
    state.readsSinceReply = 0;
    state.overCurrent = reading.overCurrent;
    withdrawOpenFailureNotices();
    if (found) {
        tellSupplyAnswers();
    }
}

// A supply answers on a port where none did: a loss told before is replaced.
void SupplySession::tellSupplyAnswers() {
    const QString when = timeOfDayText(platform_.clock->now().time());
    const QString where = portWithDevice(state.portNumber, supervisedPath_, u"%1 (%2)");
    if (std::exchange(lossTold_, false)) {
        emit notice(outputOn() ? QStringLiteral("%1 电源在 %2 上重新应答，输出打开。\n"
                                                "%1 The supply answers again on %2; the output "
                                                "is on.")
                                     .arg(when, where)
                               : QStringLiteral("%1 电源在 %2 上重新应答，输出关闭。\n"
                                                "%1 The supply answers again on %2; the output "
                                                "is off.")
                                     .arg(when, where));
    }
    emit supplyFound(
        QStringLiteral("%1 电源在 %2 上应答。\n%1 The supply answers on %2.").arg(when, where));
    emit changed();
}
