#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Why the latest open() of a serial line failed.
struct OpenFailure {
    enum class Reason {
        None,
        // No device behind the port, or one that does not answer as a serial
        // line: the usual case for most of the 16 ports.
        Missing,
        // The device is there but this account may not open it.
        NoPermission,
        // Another program holds the device.
        InUse,
        Other,
    };
    Reason reason = Reason::None;
    // The device node itself, a port link already followed.
    QString device;
    // The group owning the device node (NoPermission only).
    QString group;
};

// The one serial line to the supply, addressed by port number 1..16 as the
// window's serial control was; one port is open at a time. Tests substitute
// a fake.
//
// A device that fails (a read or write error, a USB adapter pulled, a
// pseudo-terminal hung up) closes the port at once: isOpen() is false from
// then on, the next readAll() reports the failure, and nothing written
// after it counts as written.
class SerialPort {
public:
    virtual ~SerialPort() = default;

    // Line settings as "baud,parity,data,stop", e.g. "9600,N,8,1"; they apply
    // to every port opened afterwards.
    virtual void setSettings(const QString& settings) = 0;
    // The device path behind a port number (a port link is not followed),
    // which names the device whatever number leads to it; empty for none.
    virtual QString devicePath(int portNumber) const = 0;
    // Opens the port with that number; false when it is missing or in use.
    virtual bool open(int portNumber) = 0;
    // Why the latest open() failed; Reason::None after one that succeeded.
    virtual OpenFailure lastOpenFailure() const = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // Everything that has arrived since the last read, removed from the
    // receive buffer; no value when the read failed, or once after the
    // device failed. A port that is not open reads nothing.
    virtual std::optional<QByteArray> readAll() = 0;
    // False when the character did not go to the device: the port is not
    // open, or the device failed (which closes the port).
    virtual bool write(char c) = 0;
    // Waits at most ms for every character written so far to leave for the
    // line, so they are not lost when the port closes for good.
    virtual void drain(int ms) = 0;
};
