#pragma once

#include "link/serial_port.h"

#include <QList>
#include <QString>

// What a port did when the search tried it, for telling the operator why no
// supply answers.
enum class PortOutcome {
    Absent,       // no device behind the number
    NoPermission, // this account may not open the device
    Busy,         // another program holds it
    Failed,       // it did not open, for another reason
    Opens,        // it opens, and waits its turn to be listened to
    Listening,    // listened to now; no reply block yet
    Silent,       // listened to until the link was lost: nothing came
    Garbled,      // listened to until the link was lost: no reply block came
};

struct PortTried {
    int portNumber = 0;
    QString devicePath;
    PortOutcome outcome = PortOutcome::Absent;
};

PortOutcome portOutcomeOf(const OpenFailure& failure);

// The ports tried, one per line in Chinese, then the same in English; the
// ports with no device are only counted.
QString portsTriedText(const QList<PortTried>& ports);
