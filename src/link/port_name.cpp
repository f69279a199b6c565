#include "link/port_name.h"

QString portName(int portNumber) {
    return QStringLiteral("COM%1").arg(portNumber);
}

QString portWithDevice(int portNumber, const QString& device, QStringView form) {
    const QString name = portName(portNumber);
    if (device == name)
        return name;
    return form.toString().arg(name, device);
}
