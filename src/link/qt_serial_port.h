#pragma once

#include "link/line_settings.h"
#include "link/serial_port.h"

#include <QSerialPort>
#include <QString>

// The serial line on a QSerialPort, with port numbers mapped to devices as
// portDevicePath does. Everything happens on the caller's thread; received
// bytes and pending writes move while the event loop runs.
//
// A device that goes away while open (USB adapter pulled, pseudo-terminal hung
// up) is released at once: left open, QSerialPort reports the failure hundreds
// of thousands of times a second and burns a whole core. The port is closed
// from then on; the owner sees one failed read and writes that fail.
class QtSerialPort final : public SerialPort {
public:
    explicit QtSerialPort(QString dataDir);

    void setSettings(const QString& settings) override;
    QString devicePath(int portNumber) const override;
    bool open(int portNumber) override;
    OpenFailure lastOpenFailure() const override { return lastFailure_; }
    void close() override;
    bool isOpen() const override;
    std::optional<QByteArray> readAll() override;
    bool write(char c) override;
    void drain(int ms) override;

private:
    void handleError(QSerialPort::SerialPortError error);

    QString dataDir_;
    LineSettings settings_;
    OpenFailure lastFailure_;
    QSerialPort port_;
    // The device failed since the last read.
    bool readFailurePending_ = false;
};
