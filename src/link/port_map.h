#pragma once

#include <QString>

inline constexpr int kFirstPortNumber = 1;
inline constexpr int kLastPortNumber = 16;

// The device behind port number 1..16, or an empty text for any other number.
// On Windows it is COM1..COM16. Elsewhere an entry <dataDir>/ports/comN (a
// link to a device) wins; without one, 1-4 are /dev/ttyS0..3, 5-10
// /dev/ttyACM0..5 and 11-16 /dev/ttyUSB0..5, so the search, which tries the
// highest number first, prefers a USB adapter to a motherboard port.
QString portDevicePath(int portNumber, const QString& dataDir);
