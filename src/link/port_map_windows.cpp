#include "link/port_map.h"

// Windows names its serial ports itself; which device a number leads to is
// set in the Device Manager, so there is no table of links to read.
QString portDevicePath(int portNumber, const QString&) {
    if (portNumber < kFirstPortNumber || portNumber > kLastPortNumber)
        return {};
    return QStringLiteral("COM%1").arg(portNumber);
}
