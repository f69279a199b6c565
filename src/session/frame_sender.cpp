#include "session/supply_session.h"

#include "link/frame.h"
#include "link/port_map.h"
#include "link/serial_port.h"
#include "platform/clock.h"

#include <algorithm>

// The sender and the ports it writes to. Whatever a device took last is
// what it does: a supply that took a frame switching its output on stays on
// until it takes a whole frame that says off, whichever port it is on and
// whatever became of the program's link to it.

namespace {

// Time for the frame at the sender's pace before a close: a whole frame
// takes 80 ms and may have to wait for the one under way to end.
constexpr int kClosingFrameMs = 400;
// Time left for a slow line to take the last characters.
constexpr int kClosingDrainMs = 100;

} // namespace

bool SupplySession::openPort(int portNumber) {
    if (!platform_.serialPort->open(portNumber)) {
        return false;
    }
    openPath_ = platform_.serialPort->devicePath(portNumber);
    ++openings_;
    return true;
}

// A port the session lets go of; the supply there must answer again before
// it is driven again.
void SupplySession::closePort() {
    if (platform_.serialPort->isOpen()) {
        if (openPath_ == supplyPath_) {
            supplyAnswering_ = false;
        }
        platform_.serialPort->close();
    }
    letGoOfPort_ = false;
}

bool SupplySession::sending() const {
    return platform_.serialPort->isOpen();
}

// Empty while no port is open, a port that failed included.
QString SupplySession::openPath() const {
    return platform_.serialPort->isOpen() ? openPath_ : QString();
}

// The number that leads to the device now; 0 when none does.
int SupplySession::portNumberOf(const QString& path) const {
    for (int port = kLastPortNumber; port >= kFirstPortNumber; --port) {
        if (platform_.serialPort->devicePath(port) == path) {
            return port;
        }
    }
    return 0;
}

// The output is switched on only on the port whose supply answered in this
// on-period; any other port the search opens meanwhile gets off frames.
bool SupplySession::mayDriveOpenPort() const {
    return outputOn() && supplyAnswering_ && !supplyPath_.isEmpty() && openPath() == supplyPath_;
}

// A port whose supply may be on is let go of only after its whole off frame,
// but for the port of an output held through a loss, which must not get one.
bool SupplySession::mayLetGoOfOpenPort() const {
    const QString path = openPath();
    return !offFrameOwedBy_.contains(path) || (outputOn() && path == supplyPath_);
}

// Part of a frame has gone out on the open port: a device takes a frame cut
// short as a broken one.
bool SupplySession::frameUnderWay() const {
    return platform_.serialPort->isOpen() && frameOpening_ == openings_ &&
           state.sendPosition < frameOnLine_.size();
}

// Sends the next character of the frame, every 5 ms. The position turns
// whether or not a port is open and is never reset. A frame composed while
// another is on the line waits for that one's last character: the supply
// must never see the head of one frame with the tail of the next, which
// would command a voltage or limit that nobody set. A port opened mid-frame
// gets its first character at the next frame's start.
void SupplySession::sendTick() {
    SerialPort* port = platform_.serialPort;
    if (state.sendPosition >= kFrameLength) {
        state.sendPosition = 1;
    } else {
        ++state.sendPosition;
    }
    if (state.sendPosition == 1) {
        // Between two frames: the search's port may be let go of now.
        if (letGoOfPort_ && mayLetGoOfOpenPort()) {
            closePort();
        }
        frameOnLine_ = port->isOpen() ? state.frameText : QString();
        frameOpening_ = openings_;
        if (frameOnLine_.endsWith(QLatin1Char('O')) && !mayDriveOpenPort()) {
            // The supply held on through a loss, found again at its own
            // path, gets nothing until it answers: an off frame would end
            // the hold. Any other port gets an off frame.
            if (outputOn() && openPath() == supplyPath_) {
                frameOnLine_.clear();
            } else {
                frameOnLine_.back() = QLatin1Char('N');
            }
        }
        if (!frameOnLine_.isEmpty()) {
            frameNumberOnLine_ = ++framesBegun_;
        }
    }
    if (!port->isOpen() || frameOpening_ != openings_ || state.sendPosition > frameOnLine_.size()) {
        return;
    }
    const QString path = openPath_;
    const bool offFrame = frameOnLine_.endsWith(QLatin1Char('N'));
    // The supply may be on from the first character of a frame that says so
    // until the last character of a whole frame that says off; a character
    // the device did not take counts for nothing.
    if (!offFrame && state.sendPosition == 1) {
        offFrameOwedBy_.insert(path);
    }
    if (!port->write(frameOnLine_.at(state.sendPosition - 1).toLatin1())) {
        return;
    }
    if (state.sendPosition == kFrameLength) {
        lastWholeFrame_ = frameNumberOnLine_;
    }
    if (offFrame && state.sendPosition == kFrameLength) {
        offFrameOwedBy_.remove(path);
    }
}

// Every port that may have left a supply on gets a whole off frame, the one
// open now first; a port that failed or was let go of is opened again for
// it, wherever its device now answers to. This runs in a close, outside any
// tick, so it sleeps between characters instead of running the event loop;
// past the deadline the remaining characters go at once. The deadline is the
// clock's, so a close on a fake clock takes no real time.
void SupplySession::sendOffFramesBeforeClosing() {
    letGoOfPort_ = false;
    const QDateTime frameDeadline = platform_.clock->now().addMSecs(kClosingFrameMs);
    while (frameUnderWay()) {
        if (platform_.clock->now() < frameDeadline) {
            platform_.clock->sleepMs(5);
        }
        sendTick();
    }
    state.frameText = ::composeFrame(frameCentivolts_, frameMilliamps_, state.tripMode, false);
    QStringList owing = offFrameOwedBy_.values();
    const QString open = openPath();
    std::stable_partition(owing.begin(), owing.end(),
                          [&open](const QString& path) { return path == open; });
    for (const QString& path : std::as_const(owing)) {
        // A port that fails under the off frame is opened once more for it.
        for (int attempt = 0; attempt < 2 && offFrameOwedBy_.contains(path); ++attempt) {
            if (openPath() != path) {
                closePort();
                const int portNumber = portNumberOf(path);
                if (portNumber == 0 || !openPort(portNumber)) {
                    break;
                }
            }
            sendWholeOffFrame(platform_.clock->now().addMSecs(kClosingFrameMs));
        }
    }
}

// Goes on sending until a whole off frame has gone out on the open port from
// its first character to its last, or the port fails.
void SupplySession::sendWholeOffFrame(const QDateTime& deadline) {
    SerialPort* port = platform_.serialPort;
    const QString path = openPath_;
    const auto msLeft = [&] {
        return std::max<qint64>(0, platform_.clock->now().msecsTo(deadline));
    };
    // An off frame may already be on the line; one more whole frame after
    // it costs 80 ms and leaves nothing to chance.
    bool fromFirst = false;
    while (port->isOpen() &&
           !(fromFirst && state.sendPosition == kFrameLength && !offFrameOwedBy_.contains(path))) {
        if (msLeft() > 0) {
            platform_.clock->sleepMs(5);
        }
        sendTick();
        fromFirst = fromFirst || (state.sendPosition == 1 && frameOpening_ == openings_);
        port->drain(static_cast<int>(msLeft()));
    }
    port->drain(kClosingDrainMs);
}

// A port that failed while supervised is tried again at its own path: an
// adapter that hiccuped is back at once, and the supply behind it is still
// the one that answered.
void SupplySession::reopenSupervisedPort() {
    if (platform_.serialPort->isOpen() || supervisedPath_.isEmpty()) {
        return;
    }
    const int portNumber = portNumberOf(supervisedPath_);
    if (portNumber != 0) {
        openPort(portNumber);
    }
}
