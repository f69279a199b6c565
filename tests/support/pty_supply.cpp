#include "pty_supply.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

PtySupply::PtySupply() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        hangUp();
        return;
    }
    const char* name = ::ptsname(master_);
    if (name == nullptr) {
        hangUp();
        return;
    }
    devicePath_ = QFile::decodeName(name);
}

PtySupply::~PtySupply() {
    hangUp();
}

bool PtySupply::linkAsPort(const QString& dir, int port) {
    line_ = ::open(QFile::encodeName(devicePath_).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios settings{};
    if (line_ < 0 || ::tcgetattr(line_, &settings) != 0) {
        return false;
    }
    ::cfmakeraw(&settings);
    return ::tcsetattr(line_, TCSANOW, &settings) == 0 &&
           QFile::link(devicePath_, dir + QStringLiteral("/ports/com%1").arg(port));
}

qint64 PtySupply::write(const QByteArray& bytes) {
    const ssize_t written = ::write(master_, bytes.constData(), size_t(bytes.size()));
    return written > 0 ? written : 0;
}

QByteArray PtySupply::take() {
    QByteArray received;
    char buffer[4096];
    ssize_t count = 0;
    while ((count = ::read(master_, buffer, sizeof buffer)) > 0) {
        received.append(buffer, count);
    }
    return received;
}

QByteArray PtySupply::receive(qsizetype count, int quietMs) {
    QByteArray received;
    QDeadlineTimer quiet(quietMs);
    while (received.size() < count && !quiet.hasExpired()) {
        QCoreApplication::processEvents();
        pollfd readable{master_, POLLIN, 0};
        if (::poll(&readable, 1, 5) <= 0) {
            continue;
        }
        const QByteArray got = take();
        if (!got.isEmpty()) {
            received += got;
            quiet.setRemainingTime(quietMs);
        }
    }
    return received;
}

void PtySupply::hangUp() {
    for (int* fd : {&line_, &master_}) {
        if (*fd >= 0) {
            ::close(*fd);
        }
        *fd = -1;
    }
}
