#include "session/supply_session.h"

#include "link/frame.h"
#include "link/serial_port.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "record/log_text.h"
#include "setting/design_text.h"
#include "setting/setpoint.h"

#include <algorithm>

#include <exception>

namespace {

// Also what a line that hung up gives: the port lets go of the device and
// the next read fails.
const DesignText kReadError{QStringLiteral("读串口数据错误"),
                            QStringLiteral("The serial port could not be read.")};

// Reads in a row that bring nothing, or nothing usable, before the link on a
// port counts as lost.
constexpr int kLossAfterReads = 10;
// Time for the frame at the sender's pace before a close: a whole frame
// takes 80 ms and may have to wait for the one under way to end.
constexpr int kClosingFrameMs = 400;
// Time left for a slow line to take the last characters.
constexpr int kClosingDrainMs = 100;

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

// Sends the next character of the frame, every 5 ms. The position turns
// whether or not a port is open and is never reset. A frame composed while
// another is on the line waits for that one's last character: the supply
// must never see the head of one frame with the tail of the next, which
// would command a voltage or limit that nobody set. A port that opens
// mid-frame gets its first character at the next frame's start.
void SupplySession::sendTick() {
    SerialPort* port = platform_.serialPort;
    if (state.sendPosition >= kFrameLength) {
        state.sendPosition = 1;
    } else {
        ++state.sendPosition;
    }
    if (state.sendPosition == 1) {
        frameOnLine_ = port->isOpen() ? state.frameText : QString();
    }
    if (!port->isOpen() || state.sendPosition > frameOnLine_.size()) {
        return;
    }
    port->write(frameOnLine_.at(state.sendPosition - 1).toLatin1());
    // The supply may be on from the first character of a frame that says
    // so until the last character of a whole frame that says off.
    const bool offFrame = frameOnLine_.endsWith(QLatin1Char('N'));
    if (!offFrame && state.sendPosition == 1) {
        offFrameOwed_ = true;
    } else if (offFrame && state.sendPosition == kFrameLength) {
        offFrameOwed_ = false;
    }
}

// Goes on sending until a whole off frame has gone out from its first
// character to its last. This runs in a close, outside any tick, so it
// sleeps between characters instead of running the event loop; past the
// deadline the remaining characters go at once. The deadline is the
// clock's, so a close on a fake clock takes no real time.
void SupplySession::sendWholeFrameBeforeClosing() {
    SerialPort* port = platform_.serialPort;
    // Between a declared loss and the search that opens a port again, the
    // last port is closed; the supply behind it may still be on.
    if (!port->isOpen() && (state.portNumber == 0 || !port->open(state.portNumber))) {
        return;
    }
    state.frameText = ::composeFrame(frameCentivolts_, frameMilliamps_, state.tripMode, false);
    const QDateTime deadline = platform_.clock->now().addMSecs(kClosingFrameMs);
    const auto msLeft = [&] {
        return std::max<qint64>(0, platform_.clock->now().msecsTo(deadline));
    };
    // An off frame may already be on the line; one more whole frame after
    // it costs 80 ms and leaves nothing to chance.
    bool fromFirst = false;
    while (!(fromFirst && state.sendPosition == kFrameLength && !offFrameOwed_)) {
        if (msLeft() > 0) {
            platform_.clock->sleepMs(5);
        }
        sendTick();
        fromFirst = fromFirst || state.sendPosition == 1;
        port->drain(static_cast<int>(msLeft()));
    }
    port->drain(kClosingDrainMs);
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
    const QString port = QString::number(state.portNumber);
    if (silent) {
        emit diagnosticLine(QStringLiteral("COM") + port + QStringLiteral("无应答"));
    }
    if (garbled) {
        emit diagnosticLine(QStringLiteral("COM") + port + QStringLiteral("超时"));
    }
    // A lost link is down whatever the port: the output and a run wait for
    // the next accepted reply.
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
    }
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
    appendLog(QStringLiteral("\r\n") + linkLossLogLine(when));
    stop();
    emit notice(QStringLiteral("%1 电源失去连接，输出已关闭（%2）；电源本身可能仍在输出。\n"
                               "%1 The supply was lost; the output was switched off (%2). The "
                               "supply itself may still be on.")
                    .arg(when, setpoints));
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
    const ReplyReading reading = decodeReply(block);
    state.currentDigits = reading.currentDigits;
    state.voltageDigits = reading.voltageDigits;
    state.badReplyCount = 0;
    state.linkUp = true;
    state.readsSinceReply = 0;
    state.overCurrent = reading.overCurrent;
    withdrawOpenFailureNotices();
}
