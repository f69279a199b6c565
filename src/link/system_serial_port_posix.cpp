#include "link/system_serial_port.h"

#include "link/qt_serial_port.h"

std::unique_ptr<SerialPort> makeSystemSerialPort(const QString& dataDir) {
    return std::make_unique<QtSerialPort>(dataDir);
}
