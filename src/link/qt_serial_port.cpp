#include "link/qt_serial_port.h"

#include "link/port_map.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <utility>

#include <cerrno>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

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

QSerialPort::Parity qtParity(LineSettings::Parity parity) {
    switch (parity) {
    case LineSettings::Parity::None:
        break;
    case LineSettings::Parity::Even:
        return QSerialPort::EvenParity;
    case LineSettings::Parity::Odd:
        return QSerialPort::OddParity;
    }
    return QSerialPort::NoParity;
}

QSerialPort::StopBits qtStopBits(LineSettings::StopBits stopBits) {
    switch (stopBits) {
    case LineSettings::StopBits::One:
        break;
    case LineSettings::StopBits::OneAndHalf:
        return QSerialPort::OneAndHalfStop;
    case LineSettings::StopBits::Two:
        return QSerialPort::TwoStop;
    }
    return QSerialPort::OneStop;
}

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

// Why QSerialPort could not open the device at location. It reports a lack of
// permission and a device locked by another program alike, so the device
// node itself is asked whether this account may open it.
OpenFailure diagnoseOpenFailure(const QString& location, QSerialPort::SerialPortError error) {
    OpenFailure failure;
    failure.device = location;
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
    return failure;
}

} // namespace

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
    // QSerialPort names its lock file after the path it is given. Through the
    // link's target, every way of reaching a device meets the same lock, so a
    // second program cannot slip in by another name. A dangling link resolves
    // to nothing and fails below as a missing device.
    const QString target = QFileInfo(device).canonicalFilePath();
    if (!target.isEmpty())
        location = target;
    port_.setPortName(location);
    port_.setBaudRate(settings_.baudRate);
    port_.setParity(qtParity(settings_.parity));
    port_.setDataBits(static_cast<QSerialPort::DataBits>(settings_.dataBits));
    port_.setStopBits(qtStopBits(settings_.stopBits));
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
    // 200 characters a second: handed straight to the device while nothing
    // waits before it, each costs one system call, instead of a buffer, a
    // write notifier and a second wake-up of the event loop. A device that
    // cannot take it now, or has failed, is left to QSerialPort below, which
    // keeps the order and reports the failure.
    if (port_.bytesToWrite() == 0 && ::write(port_.handle(), &c, 1) == 1)
        return true;
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
