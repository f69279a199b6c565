#pragma once

#include <QStringView>

// How characters are framed on the serial line, independent of the library
// that drives the device.
struct LineSettings {
    enum class Parity { None, Even, Odd };
    enum class StopBits { One, OneAndHalf, Two };

    int baudRate = 9600;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;
};

// Reads "baud,parity,data,stop" such as "9600,N,8,1" or "4800,E,7,2"; parity
// is N, E or O, data bits 5 to 8, stop bits 1, 1.5 or 2. A field it cannot
// read keeps its value from 9600,N,8,1.
LineSettings parseLineSettings(QStringView settings);
