#pragma once

#include <QString>
#include <QStringView>

// "COM4": what the operator calls port number 4 on every system.
QString portName(int portNumber);

// The port's name and the device behind it, put together by form (such as
// "%1 → %2"), or the name alone where the device goes by that very name, as
// COM ports do on Windows.
QString portWithDevice(int portNumber, const QString& device, QStringView form);
