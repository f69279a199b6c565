#include "app/main_window.h"

#include "app/diagnostic_pane.h"
#include "link/frame.h"
#include "link/serial_port.h"
#include "platform/dialogs.h"

#include <QDeadlineTimer>
#include <QThread>

#include <exception>

namespace {

const QString kReadError = QStringLiteral("读串口数据错误");

// Reads in a row that bring nothing, or nothing usable, before the link on a
// port counts as lost.
constexpr qint16 kLossAfterReads = 10;
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
void MainWindow::pollTick() {
    bool choiceTried = false;
    const auto step = [&](auto&& run) {
        try {
            run();
        } catch (const std::exception&) {
            reportTickFailure(choiceTried);
        }
    };
    step([&] { screenCheck(); });
    if (!state.portOpened) {
        step([&] { choiceTried = searchPort(); });
    }
    step([&] { advanceDividers(); });
    step([&] { setpointStep(); });
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

void MainWindow::reportTickFailure(bool quiet) {
    if (!quiet) {
        platform_.dialogs->message(kReadError, QString());
    }
}

// Sends the next character of the frame, every 5 ms. The position turns
// whether or not a port is open and is never reset. A frame composed while
// another is on the line waits for that one's last character: the supply
// must never see the head of one frame with the tail of the next, which
// would command a voltage or limit that nobody set. A port that opens
// mid-frame gets its first character at the next frame's start.
void MainWindow::sendTick() {
    if (state.sendPosition >= kFrameLength) {
        state.sendPosition = 1;
    } else {
        ++state.sendPosition;
    }
    if (state.sendPosition == 1) {
        frameOnLine_ = serialPort->isOpen() ? state.frameText : QString();
    }
    if (serialPort->isOpen() && state.sendPosition <= frameOnLine_.size()) {
        serialPort->write(frameOnLine_.at(state.sendPosition - 1).toLatin1());
    }
}

// Goes on sending from where the sender is until the frame has gone out
// once from its first character to its last. This runs in the close, outside
// any tick, so it sleeps between characters instead of running the event
// loop; past the deadline the remaining characters go at once.
void MainWindow::sendWholeFrameBeforeClosing() {
    if (!serialPort->isOpen()) {
        return;
    }
    const QDeadlineTimer deadline(kClosingFrameMs);
    bool fromFirst = false;
    while (!(fromFirst && state.sendPosition == kFrameLength)) {
        if (!deadline.hasExpired()) {
            QThread::msleep(5);
        }
        sendTick();
        fromFirst = fromFirst || state.sendPosition == 1;
        serialPort->drain(static_cast<int>(deadline.remainingTime()));
    }
    serialPort->drain(kClosingDrainMs);
}

void MainWindow::advanceDividers() {
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

void MainWindow::composeFrame() {
    const bool tripMode = state.tripMode;
    // In shut-down mode the over-current trip is tested here, so a trip turns
    // this very frame's output letter to "N".
    if (tripMode) {
        overCurrentTrip();
    }
    state.frameText = ::composeFrame(frameVoltage_, frameCurrent_, tripMode, state.outputOn);
}

// Reads every waiting character, checks the link and sorts the read. A read
// that fails, or a fault while it is sorted, counts as a read that brought
// nothing, so a port that always fails still ends in a declared loss.
void MainWindow::readSection() {
    QByteArray read;
    try {
        const std::optional<QByteArray> taken = serialPort->readAll();
        if (taken) {
            read = *taken;
        } else {
            platform_.dialogs->message(kReadError, QString());
        }
    } catch (const std::exception&) {
        reportTickFailure(false);
    }

    declareLossIfOverdue();

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
void MainWindow::declareLossIfOverdue() {
    const bool silent = state.emptyReadCount > kLossAfterReads;
    const bool garbled = state.badReplyCount > kLossAfterReads;
    if (!silent && !garbled) {
        return;
    }
    state.portOpened = false;
    const QString port = QString::number(state.portNumber);
    if (silent) {
        diagnosticPane->printLine(QStringLiteral("COM") + port + QStringLiteral("无应答"));
    }
    if (garbled) {
        diagnosticPane->printLine(QStringLiteral("COM") + port + QStringLiteral("超时"));
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
    diagnosticPane->printLine(QStringLiteral("数据为空"));
    state.voltageDigits = QStringLiteral("0000");
    state.currentDigits = QStringLiteral("0000");
}

void MainWindow::sortRead(const QByteArray& read) {
    state.emptyReadCount = 0;
    const QString text = receivedText(read);
    diagnosticPane->printLine(text);
    const ReplyExtraction reply = extractReply(text);
    switch (reply.outcome) {
    case ReplyOutcome::NoTag:
        diagnosticPane->printLine(QStringLiteral("数据错误"));
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

void MainWindow::acceptReply(const QString& block) {
    diagnosticPane->printLine(block);
    const ReplyReading reading = decodeReply(block);
    state.currentDigits = reading.currentDigits;
    state.voltageDigits = reading.voltageDigits;
    state.badReplyCount = 0;
    state.linkUp = true;
    state.overCurrent = reading.overCurrent;
    withdrawOpenFailureNotices();
}
