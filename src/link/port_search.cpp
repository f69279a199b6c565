#include "app/form1.h"

#include "app/diagnostic_pane.h"
#include "link/open_failure_notice.h"
#include "link/port_map.h"
#include "link/serial_port.h"
#include "platform/dialogs.h"

qint16 Form1::COM_SCAN(qint16& count) {
    count = 0;
    for (int port = kFirstPortNumber; port <= kLastPortNumber; ++port) {
        if (MSComm1->open(port)) {
            ++count;
            state.portAvailable[port] = true;
            Picture2->printLine(QStringLiteral("COM：   ") + QString::number(port) +
                                QStringLiteral("可用"));
        } else {
            tellWhyPortIsClosed(MSComm1->lastOpenFailure());
        }
        if (MSComm1->isOpen()) {
            MSComm1->close();
        }
    }
    return count;
}

// A device the operator can make usable (a missing permission, another
// program holding it) is explained once per program run; the search itself
// goes on as before and takes the device as soon as it opens.
void Form1::tellWhyPortIsClosed(const OpenFailure& failure) {
    const std::optional<OpenFailureNotice> notice = openFailureNotice(failure);
    if (!notice || explainedDevices_.contains(failure.device)) {
        return;
    }
    explainedDevices_.insert(failure.device);
    platform_.dialogs->message(notice->text, notice->title);
}

// Runs in every tick while no port is supervised: probes all ports, then opens
// the highest usable one on which the link has not been lost.
bool Form1::searchPort() {
    if (MSComm1->isOpen()) {
        MSComm1->close();
    }
    state.portAvailable.fill(false);
    qint16 count = 0;
    COM_SCAN(count);
    state.availableCount = count;
    Picture2->printLine(QStringLiteral("您计算机上总共有：   ") + QString::number(count) +
                        QStringLiteral("个COM端口可用"));

    bool choiceTried = false;
    for (int port = kLastPortNumber; port >= kFirstPortNumber; --port) {
        if (!state.portAvailable[port] || state.portFailed[port]) {
            continue;
        }
        choiceTried = true;
        if (!MSComm1->open(port)) {
            MSComm1->close();
            continue;
        }
        Picture2->printLine(QStringLiteral("COM：   ") + QString::number(port) +
                            QStringLiteral("已打开"));
        state.portOpened = true;
        state.portNumber = static_cast<qint16>(port);
        state.readDivider = 0;
        state.readTick = false;
        state.emptyReadCount = 0;
        state.badReplyCount = 0;
        return true;
    }
    // Every usable port has lost its link once: forget the marks, so that a
    // supply that comes back (an adapter pulled and put back) is found again
    // by the next search instead of never.
    if (!choiceTried && count > 0) {
        state.portFailed.fill(false);
    }
    return choiceTried;
}
