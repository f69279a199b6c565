#include "link/port_map.h"

#include <QFileInfo>

QString portDevicePath(int portNumber, const QString& dataDir) {
    if (portNumber < kFirstPortNumber || portNumber > kLastPortNumber)
        return {};
    const QString entry = dataDir + QStringLiteral("/ports/com%1").arg(portNumber);
    // A link whose device has gone still claims the number: the port should
    // then fail to open rather than fall back to a motherboard port.
    const QFileInfo entryInfo(entry);
    if (entryInfo.exists() || entryInfo.isSymLink())
        return entry;
    if (portNumber <= 4)
        return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
    if (portNumber <= 10)
        return QStringLiteral("/dev/ttyACM%1").arg(portNumber - 5);
    return QStringLiteral("/dev/ttyUSB%1").arg(portNumber - 11);
}
