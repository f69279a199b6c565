#pragma once

#include "link/serial_port.h"

#include <QString>
#include <optional>

struct OpenFailureNotice {
    QString text;
    QString title;
};

// What the operator is told about a port that failed to open for a reason
// they can mend: a device the account may not open (with the group to join),
// or one another program holds. Nothing for a port with no device behind it,
// which is the normal outcome of the search for most port numbers.
std::optional<OpenFailureNotice> openFailureNotice(const OpenFailure& failure);
