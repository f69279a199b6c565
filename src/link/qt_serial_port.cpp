#include "link/qt_serial_port.h"

#include "link/port_map.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <utility>

#ifndef Q_OS_WIN
#include <cerrno>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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

#ifndef Q_OS_WIN
// The group owning a device node, by name.
QString owningGroup(const QString& path) {
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    const group* owner = ::getgrgid(info.st_gid);
    return owner ? QString::fromLocal8Bit(owner->gr_name) : QString::number(info.st_gid);
}

// The kernel makes a node for every serial port a driver could serve: on a PC
// ttyS0..ttyS3 exist whether or not the board has the chips. Such a node is no
// device to tell the operator about; the kernel marks it with port type 0.
bool isSerialPortWithoutHardware(const QString& path) {
    QFile type(QStringLiteral("/sys/class/tty/%1/type").arg(QFileInfo(path).fileName()));
    return type.open(QIODevice::ReadOnly) && type.readAll().trimmed() == "0";
}
#endif

// Why QSerialPort could not open the device at location. It reports a lack of
// permission and a device locked by another program alike, so the device
// node itself is asked whether this account may open it.
OpenFailure diagnoseOpenFailure(const QString& location, QSerialPort::SerialPortError error) {
    OpenFailure failure;
    failure.device = location;
#ifndef Q_OS_WIN
    if (!QFileInfo::exists(location) || error == QSerialPort::DeviceNotFoundError ||
        isSerialPortWithoutHardware(location)) {
        failure.reason = OpenFailure::Reason::Missing;
    } else if (::access(QFile::encodeName(location).constData(), R_OK | W_OK) != 0 &&
               errno == EACCES) {
        failure.reason = OpenFailure::Reason::NoPermission;
        failure.group = owningGroup(location);
    } else if (error == QSerialPort::PermissionError) {
        failure.reason = OpenFailure::Reason::InUse;
    } else {
        failure.reason = OpenFailure::Reason::Other;
    }
#else
    // Windows answers "access denied" for a port another program has open.
    if (error == QSerialPort::DeviceNotFoundError)
        failure.reason = OpenFailure::Reason::Missing;
    else if (error == QSerialPort::PermissionError)
        failure.reason = OpenFailure::Reason::InUse;
    else
        failure.reason = OpenFailure::Reason::Other;
#endif
    return failure;
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

QtSerialPort::QtSerialPort(QString dataDir) : dataDir_(std::move(dataDir)) {
    port_.setReadBufferSize(kMaxPendingRead);
    QObject::connect(&port_, &QSerialPort::errorOccurred, &port_,
                     [this](QSerialPort::SerialPortError error) { handleError(error); });
}

void QtSerialPort::setSettings(const QString& settings) {
    settings_ = parseLineSettings(settings);
}

QString QtSerialPort::devicePath(int portNumber) const {
    return portDevicePath(portNumber, dataDir_);
}

bool QtSerialPort::open(int portNumber) {
    close();
    lastFailure_ = {};
    const QString device = devicePath(portNumber);
    if (device.isEmpty()) {
        lastFailure_.reason = OpenFailure::Reason::Missing;
        return false;
    }

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
    if (!port_.open(QIODevice::ReadWrite)) {
        lastFailure_ = diagnoseOpenFailure(location, port_.error());
        return false;
    }
    return true;
}

void QtSerialPort::close() {
    if (port_.isOpen())
        port_.close();
    readFailurePending_ = false;
}

bool QtSerialPort::isOpen() const {
    return port_.isOpen();
}

std::optional<QByteArray> QtSerialPort::readAll() {
    if (std::exchange(readFailurePending_, false))
        return std::nullopt;
    if (!port_.isOpen())
        return QByteArray();
    return port_.readAll();
}

bool QtSerialPort::write(char c) {
    if (!port_.isOpen())
        return false;
#ifndef Q_OS_WIN
    // 200 characters a second: handed straight to the device while nothing
    // waits before it, each costs one system call, instead of a buffer, a
    // write notifier and a second wake-up of the event loop. A device that
    // cannot take it now, or has failed, is left to QSerialPort below, which
    // keeps the order and reports the failure.
    if (port_.bytesToWrite() == 0 && ::write(port_.handle(), &c, 1) == 1)
        return true;
#endif
    if (port_.bytesToWrite() >= kMaxPendingWrite)
        return false;
    return port_.write(&c, 1) == 1 && port_.isOpen();
}

void QtSerialPort::drain(int ms) {
    const QDeadlineTimer deadline(ms);
    // flush() hands over what the device takes at once; waiting is only for
    // a line that is slower than that.
    while (port_.isOpen() && port_.bytesToWrite() > 0 && port_.flush()) {
    }
    while (port_.isOpen() && port_.bytesToWrite() > 0 && !deadline.hasExpired() &&
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
    readFailurePending_ = true;
}
