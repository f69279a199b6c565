#include "link/system_serial_port.h"

#include "link/serial_line_windows.h"

// Windows names its ports itself: there are no port links to read.
std::unique_ptr<SerialPort> makeSystemSerialPort(const QString&) {
    return std::make_unique<WindowsSerialPort>();
}
