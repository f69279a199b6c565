#include "session/supply_session.h"

#include "link/open_failure_notice.h"
#include "link/port_map.h"
#include "link/port_name.h"
#include "link/serial_port.h"
#include "platform/dialogs.h"

#include <QFileInfo>

#include <algorithm>
#include <utility>

// Probes ports 1..16, marks those that open and returns how many did.
int SupplySession::probePorts() {
    int count = 0;
    for (int port = kFirstPortNumber; port <= kLastPortNumber; ++port) {
        const PortOutcome before = portOutcomes_.value(port, PortOutcome::Absent);
        if (platform_.serialPort->open(port)) {
            ++count;
            state.portAvailable[port] = true;
            emit diagnosticLine(QStringLiteral("COM：   ") + QString::number(port) +
                                QStringLiteral("可用"));
            // A port the link was lost on keeps saying why until it is
            // listened to again.
            const bool lost = before == PortOutcome::Silent || before == PortOutcome::Garbled;
            portOutcomes_[port] = lost ? before : PortOutcome::Opens;
        } else {
            noteWhyPortIsClosed(platform_.serialPort->lastOpenFailure());
            portOutcomes_[port] = portOutcomeOf(platform_.serialPort->lastOpenFailure());
        }
        if (platform_.serialPort->isOpen()) {
            platform_.serialPort->close();
        }
    }
    return count;
}

// A device the operator can make usable (a missing permission, another
// program holding it) is only worth a word when no supply answers: with two
// supplies on one PC, the other program's device is busy by right and this
// program finds its own on another port. So the failures of a search wait
// until the search opens nothing or the port it chose is lost.
void SupplySession::noteWhyPortIsClosed(const OpenFailure& failure) {
    if (openFailureNotice(failure)) {
        searchFailures_.append(failure);
    }
}

// Each device is explained once per program run; the search itself goes on
// as before and takes the device as soon as it opens.
void SupplySession::tellWhyPortsAreClosed() {
    for (const OpenFailure& failure : std::as_const(searchFailures_)) {
        if (explainedDevices_.contains(failure.device)) {
            continue;
        }
        explainedDevices_.insert(failure.device);
        const OpenFailureNotice notice = *openFailureNotice(failure);
        platform_.dialogs->message(notice.text, notice.title);
        openNotices_.append(notice);
    }
    searchFailures_.clear();
}

// A supply answers: whatever a notice asked the operator to mend no longer
// stands between them and the supply, and a loss of this link later is no
// reason to tell of devices met before it came up.
void SupplySession::withdrawOpenFailureNotices() {
    searchFailures_.clear();
    for (const OpenFailureNotice& notice : std::as_const(openNotices_)) {
        platform_.dialogs->closeMessage(notice.text, notice.title);
    }
    openNotices_.clear();
}

// Runs in every tick while no port is supervised: probes all ports, then opens
// the highest usable one on which the link has not been lost.
bool SupplySession::searchPort() {
    // A port is let go of at a frame's end, and one whose supply may be on
    // only after a whole off frame (or, while the output is held through a
    // loss, the frame under way): the sender closes it, and the search runs
    // in the tick after.
    if (frameUnderWay() || !mayLetGoOfOpenPort()) {
        letGoOfPort_ = true;
        return false;
    }
    closePort();
    state.portAvailable.fill(false);
    searchFailures_.clear();
    const int count = probePorts();
    state.availableCount = count;
    emit diagnosticLine(QStringLiteral("您计算机上总共有：   ") + QString::number(count) +
                        QStringLiteral("个COM端口可用"));

    bool choiceTried = false;
    for (int port = kLastPortNumber; port >= kFirstPortNumber; --port) {
        if (!state.portAvailable[port] || state.portFailed[port]) {
            continue;
        }
        choiceTried = true;
        if (!openPort(port)) {
            platform_.serialPort->close();
            portOutcomes_[port] = portOutcomeOf(platform_.serialPort->lastOpenFailure());
            continue;
        }
        supervisedPath_ = openPath_;
        portOutcomes_[port] = PortOutcome::Listening;
        // Whatever answered before, no supply has answered on this port yet:
        // the output and a run wait for one that does.
        if (std::exchange(state.linkUp, false)) {
            emit changed();
        }
        emit diagnosticLine(QStringLiteral("COM：   ") + QString::number(port) +
                            QStringLiteral("已打开"));
        state.portOpened = true;
        state.portNumber = port;
        state.readDivider = 0;
        state.readTick = false;
        state.emptyReadCount = 0;
        state.badReplyCount = 0;
        return true;
    }
    tellWhyPortsAreClosed();
    // Every usable port has lost its link once: forget the marks, so that a
    // supply that comes back (an adapter pulled and put back) is found again
    // by the next search instead of never.
    if (!choiceTried && count > 0) {
        state.portFailed.fill(false);
    }
    return choiceTried;
}

QList<PortTried> SupplySession::portsTried() const {
    QList<PortTried> ports;
    for (auto entry = portOutcomes_.constBegin(); entry != portOutcomes_.constEnd(); ++entry) {
        ports.append({entry.key(), platform_.serialPort->devicePath(entry.key()), entry.value()});
    }
    std::sort(ports.begin(), ports.end(),
              [](const PortTried& a, const PortTried& b) { return a.portNumber > b.portNumber; });
    return ports;
}

QString SupplySession::portInUseText(bool english) const {
    if (!state.portOpened) {
        return english ? QStringLiteral("searching for the supply")
                       : QStringLiteral("正在寻找电源");
    }
    // A port link (ports/comN) is shown by the device it leads to.
    const QFileInfo path(supervisedPath_);
    const QString target = path.isSymLink() ? path.canonicalFilePath() : QString();
    return portWithDevice(state.portNumber, target.isEmpty() ? supervisedPath_ : target,
                          u"%1 → %2");
}
