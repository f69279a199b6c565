#pragma once

#include "link/serial_port.h"

#include <QString>

#include <memory>

// The serial line of the system the program runs on; port links, where the
// system has them, are read from dataDir.
std::unique_ptr<SerialPort> makeSystemSerialPort(const QString& dataDir);
