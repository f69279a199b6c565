#include "link/qt_serial_port.h"

#include "link/port_map.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <utility>

namespace {

// Characters the event loop has not yet handed to the device. The window sends
// 200 a second and a 9600-baud line takes 960, so this only fills when nobody
// drains the other end; beyond it characters are dropped, as a full transmit
// buffer drops them, instead of memory growing for as long as that lasts.
constexpr qint64 kMaxPendingWrite = 1024;

// Characters held between two reads, a second apart. The supply sends well
// under 1000 a second; a flood beyond this waits in the device instead of
// growing memory.
constexpr qint64 kMaxPendingRead = 64 * 1024;

std::optional<QSerialPort::Parity> parityFromLetter(QStringView letter) {
    if (letter.compare(u"N", Qt::CaseInsensitive) == 0)
        return QSerialPort::NoParity;
    if (letter.compare(u"E", Qt::CaseInsensitive) == 0)
        return QSerialPort::EvenParity;
    if (letter.compare(u"O", Qt::CaseInsensitive) == 0)
        return QSerialPort::OddParity;
    return std::nullopt;
}

std::optional<QSerialPort::StopBits> stopBitsFromText(QStringView text) {
    if (text == u"1")
        return QSerialPort::OneStop;
    if (text == u"1.5")
        return QSerialPort::OneAndHalfStop;
    if (text == u"2")
        return QSerialPort::TwoStop;
    return std::nullopt;
}

} // namespace

LineSettings parseLineSettings(QStringView settings) {
    LineSettings parsed;
    const QList<QStringView> fields = settings.split(u',');

    bool ok = false;
    const qint32 baudRate = fields.value(0).trimmed().toInt(&ok);
    if (ok && baudRate > 0)
        parsed.baudRate = baudRate;

    if (const auto parity = parityFromLetter(fields.value(1).trimmed()))
        parsed.parity = *parity;

    const int dataBits = fields.value(2).trimmed().toInt(&ok);
    if (ok && dataBits >= 5 && dataBits <= 8)
        parsed.dataBits = static_cast<QSerialPort::DataBits>(dataBits);

    if (const auto stopBits = stopBitsFromText(fields.value(3).trimmed()))
        parsed.stopBits = *stopBits;

    return parsed;
}

QtSerialPort::QtSerialPort(QString programDir) : programDir_(std::move(programDir)) {
    port_.setReadBufferSize(kMaxPendingRead);
    QObject::connect(&port_, &QSerialPort::errorOccurred, &port_,
                     [this](QSerialPort::SerialPortError error) { handleError(error); });
}

void QtSerialPort::setSettings(const QString& settings) {
    settings_ = parseLineSettings(settings);
}

bool QtSerialPort::open(int portNumber) {
    close();
    const QString device = portDevicePath(portNumber, programDir_);
    if (device.isEmpty())
        return false;

    QString location = device;
#ifndef Q_OS_WIN
    // QSerialPort names its lock file after the path it is given. Through the
    // link's target, every way of reaching a device meets the same lock, so a
    // second program cannot slip in by another name. A dangling link resolves
    // to nothing and fails below as a missing device.
    const QString target = QFileInfo(device).canonicalFilePath();
    if (!target.isEmpty())
        location = target;
#endif
    port_.setPortName(location);
    port_.setBaudRate(settings_.baudRate);
    port_.setParity(settings_.parity);
    port_.setDataBits(settings_.dataBits);
    port_.setStopBits(settings_.stopBits);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite))
        return false;
    open_ = true;
    return true;
}

void QtSerialPort::close() {
    if (port_.isOpen())
        port_.close();
    open_ = false;
    released_ = false;
    readFailurePending_ = false;
}

bool QtSerialPort::isOpen() const {
    return open_;
}

std::optional<QByteArray> QtSerialPort::readAll() {
    if (!open_ || std::exchange(readFailurePending_, false))
        return std::nullopt;
    if (released_)
        return QByteArray();
    return port_.readAll();
}

void QtSerialPort::write(char c) {
    if (!open_ || released_ || port_.bytesToWrite() >= kMaxPendingWrite)
        return;
    port_.write(&c, 1);
}

void QtSerialPort::drain(int ms) {
    const QDeadlineTimer deadline(ms);
    // flush() hands over what the device takes at once; waiting is only for
    // a line that is slower than that.
    while (open_ && !released_ && port_.bytesToWrite() > 0 && port_.flush()) {
    }
    while (open_ && !released_ && port_.bytesToWrite() > 0 && !deadline.hasExpired() &&
           port_.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) {
    }
}

void QtSerialPort::handleError(QSerialPort::SerialPortError error) {
    // Errors while opening arrive before the port counts as open and are
    // answered by open() itself; NotOpenError and TimeoutError say nothing
    // about the device.
    if (!port_.isOpen() || error == QSerialPort::NoError || error == QSerialPort::NotOpenError ||
        error == QSerialPort::TimeoutError)
        return;
    port_.close();
    released_ = true;
    readFailurePending_ = true;
}
