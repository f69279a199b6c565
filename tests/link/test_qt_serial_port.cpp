#include "link/qt_serial_port.h"
#include "pty_supply.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace {

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Reads from the port until count bytes have come or two seconds passed.
QByteArray readFromPort(QtSerialPort& port, qsizetype count) {
    QByteArray received;
    QDeadlineTimer deadline(2000);
    while (received.size() < count && !deadline.hasExpired()) {
        QTest::qWait(10);
        const std::optional<QByteArray> chunk = port.readAll();
        if (!chunk)
            break;
        received += *chunk;
    }
    return received;
}

QByteArray everyByteValue() {
    QByteArray bytes;
    for (int value = 0; value < 256; ++value)
        bytes.append(char(value));
    return bytes;
}

} // namespace

class TestQtSerialPort : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void appliesSettingsToTheDevice_data();
    void appliesSettingsToTheDevice();

    void carriesEveryByteBothWays();
    void openFailsForMissingDevice_data();
    void openFailsForMissingDevice();
    void deviceInUseDoesNotOpenTwice();
    void deviceInUseDoesNotOpenFromAnotherProcess();
    void deviceWithoutPermissionIsToldApart();
    void readFailsWhenNeverOpened();
    void hungUpDeviceIsReleasedWithoutSpinning();
    void pendingWritesStayBoundedWhenNobodyReads();
    void floodBetweenReadsStaysBounded();

private:
    bool linkPort(int portNumber, const QString& target) const;

    std::optional<QTemporaryDir> programDir_;
};

void TestQtSerialPort::init() {
    programDir_.emplace();
    QVERIFY(programDir_->isValid());
    QVERIFY(QDir(programDir_->path()).mkdir("ports"));
}

void TestQtSerialPort::cleanup() {
    programDir_.reset();
}

bool TestQtSerialPort::linkPort(int portNumber, const QString& target) const {
    return QFile::link(target,
                       programDir_->filePath(QStringLiteral("ports/com%1").arg(portNumber)));
}

void TestQtSerialPort::appliesSettingsToTheDevice_data() {
    QTest::addColumn<QString>("settings");
    QTest::addColumn<speed_t>("speed");
    QTest::addColumn<bool>("twoStopBits");

    QTest::newRow("the supply's line") << "9600,N,8,1" << speed_t(B9600) << false;
    QTest::newRow("odd parity, 7 bits, 2 stops") << "4800,O,7,2" << speed_t(B4800) << true;
    QTest::newRow("even parity, 5 bits") << "19200,E,5,1" << speed_t(B19200) << false;
}

// The settings as the device took them, read through a descriptor opened
// before the port claimed the line for itself. A pseudo-terminal keeps its
// characters at 8 bits without parity whatever it is told, so only the speed
// and the stop bits show.
void TestQtSerialPort::appliesSettingsToTheDevice() {
    QFETCH(QString, settings);
    QFETCH(speed_t, speed);
    QFETCH(bool, twoStopBits);
    PtySupply supply;
    QVERIFY(supply.isValid());
    QVERIFY(linkPort(3, supply.devicePath()));
    const int line =
        ::open(QFile::encodeName(supply.devicePath()).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(line >= 0);
    QtSerialPort port(programDir_->path());
    port.setSettings(settings);
    const bool opened = port.open(3);
    termios taken{};
    const bool read = ::tcgetattr(line, &taken) == 0;
    ::close(line);
    QVERIFY(opened);
    QVERIFY(read);

    QCOMPARE(cfgetospeed(&taken), speed);
    QCOMPARE(cfgetispeed(&taken), speed);
    QCOMPARE((taken.c_cflag & CSTOPB) != 0, twoStopBits);
}

void TestQtSerialPort::carriesEveryByteBothWays() {
    PtySupply supply;
    QVERIFY(supply.isValid());
    QVERIFY(linkPort(3, supply.devicePath()));
    QtSerialPort port(programDir_->path());
    port.setSettings("9600,N,8,1");

    QVERIFY(port.open(3));
    QVERIFY(port.isOpen());

    // Every byte value, so line editing, flow-control characters or
    // translated line ends would show.
    QVERIFY(supply.send(everyByteValue()));
    QCOMPARE(readFromPort(port, 256), everyByteValue());

    for (const char byte : everyByteValue())
        port.write(byte);
    QCOMPARE(supply.receive(256), everyByteValue());

    port.close();
    QVERIFY(!port.isOpen());
}

void TestQtSerialPort::openFailsForMissingDevice_data() {
    QTest::addColumn<int>("portNumber");

    QTest::newRow("number 0") << 0;
    QTest::newRow("number 17") << 17;
    QTest::newRow("link to a device that is gone") << 3;
}

void TestQtSerialPort::openFailsForMissingDevice() {
    QFETCH(int, portNumber);
    QVERIFY(linkPort(3, programDir_->filePath("unplugged")));
    QtSerialPort port(programDir_->path());

    QVERIFY(!port.open(portNumber));
    QCOMPARE(port.lastOpenFailure().reason, OpenFailure::Reason::Missing);
    QVERIFY(!port.isOpen());
    QCOMPARE(port.readAll(), std::optional<QByteArray>(QByteArray()));
}

void TestQtSerialPort::deviceInUseDoesNotOpenTwice() {
    PtySupply supply;
    QVERIFY(supply.isValid());
    QVERIFY(linkPort(3, supply.devicePath()));
    QVERIFY(linkPort(7, supply.devicePath()));
    QtSerialPort first(programDir_->path());
    QtSerialPort second(programDir_->path());
    QVERIFY(first.open(3));

    QVERIFY(!second.open(3));
    QVERIFY(!second.open(7));
    QVERIFY(!second.isOpen());
    // Named as the device itself, whichever link led to it.
    QCOMPARE(second.lastOpenFailure().reason, OpenFailure::Reason::InUse);
    QCOMPARE(second.lastOpenFailure().device, supply.devicePath());

    first.close();
    QVERIFY(second.open(7));
    QCOMPARE(second.lastOpenFailure().reason, OpenFailure::Reason::None);
}

// A device node this account may not open. The tests run as root here, whom
// no permission bits stop, so the open is tried in a child that has dropped to
// the unprivileged "nobody" account; run as anyone else, the node's bits are
// simply taken away.
void TestQtSerialPort::deviceWithoutPermissionIsToldApart() {
    PtySupply supply;
    QVERIFY(supply.isValid());
    QVERIFY(linkPort(3, supply.devicePath()));
    const QByteArray node = QFile::encodeName(supply.devicePath());
    QCOMPARE(::chmod(node.constData(), 0), 0);
    struct stat info {};
    QCOMPARE(::stat(node.constData(), &info), 0);
    const group* owner = ::getgrgid(info.st_gid);
    QVERIFY(owner);
    // The child must be able to reach the port link.
    QCOMPARE(::chmod(QFile::encodeName(programDir_->path()).constData(), 0755), 0);

    int report[2];
    QCOMPARE(::pipe(report), 0);
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        ::close(report[0]);
        constexpr uid_t kNobody = 65534;
        if (::getuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
            _exit(2);
        QtSerialPort port(programDir_->path());
        const bool opened = port.open(3);
        const OpenFailure failure = port.lastOpenFailure();
        const QByteArray line = QByteArray::number(int(failure.reason)) + ' ' +
                                failure.group.toUtf8() + ' ' + failure.device.toUtf8();
        const bool sent = ::write(report[1], line.constData(), size_t(line.size())) == line.size();
        _exit(opened || !sent ? 1 : 0);
    }
    ::close(report[1]);
    QByteArray line;
    char buffer[256];
    for (ssize_t got; (got = ::read(report[0], buffer, sizeof buffer)) > 0;)
        line.append(buffer, got);
    ::close(report[0]);
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
    QCOMPARE(line, QByteArray::number(int(OpenFailure::Reason::NoPermission)) + ' ' +
                       owner->gr_name + ' ' + node);
}

void TestQtSerialPort::deviceInUseDoesNotOpenFromAnotherProcess() {
    PtySupply supply;
    QVERIFY(supply.isValid());
    QVERIFY(linkPort(3, supply.devicePath()));
    QVERIFY(linkPort(7, supply.devicePath()));
    QtSerialPort port(programDir_->path());
    QVERIFY(port.open(3));

    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        // Through another link, so only a lock on the device itself stops it.
        QtSerialPort other(programDir_->path());
        _exit(other.open(7) ? 1 : 0);
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
}

void TestQtSerialPort::readFailsWhenNeverOpened() {
    QtSerialPort port(programDir_->path());
    QVERIFY(!port.isOpen());
    QCOMPARE(port.readAll(), std::optional<QByteArray>(QByteArray()));
    QVERIFY(!port.write('V'));
}

void TestQtSerialPort::hungUpDeviceIsReleasedWithoutSpinning() {
    auto supply = std::make_unique<PtySupply>();
    QVERIFY(supply->isValid());
    QVERIFY(linkPort(3, supply->devicePath()));
    QtSerialPort port(programDir_->path());
    QVERIFY(port.open(3));
    QVERIFY(supply->send("VKPPSU1199A0498W"));
    QCOMPARE(readFromPort(port, 16), QByteArray("VKPPSU1199A0498W"));

    supply->hangUp();
    const double cpuBefore = processCpuSeconds();
    QTest::qWait(1000);
    const double cpuSeconds = processCpuSeconds() - cpuBefore;
    qInfo("CPU over 1 s after the hang-up: %.3f s", cpuSeconds);
    QVERIFY2(cpuSeconds < 0.3, qPrintable(QString::number(cpuSeconds)));

    // Closed at once: one failed read, and nothing counts as written.
    QVERIFY(!port.isOpen());
    QVERIFY(!port.readAll().has_value());
    for (int read = 0; read < 3; ++read) {
        QCOMPARE(port.readAll(), std::optional<QByteArray>(QByteArray()));
    }
    QVERIFY(!port.write('V'));
    QVERIFY(!port.isOpen());

    // The same port object serves a new device as if nothing had happened.
    supply = std::make_unique<PtySupply>();
    QVERIFY(supply->isValid());
    QVERIFY(QFile::remove(programDir_->filePath("ports/com3")));
    QVERIFY(linkPort(3, supply->devicePath()));
    QVERIFY(port.open(3));
    QVERIFY(supply->send("VKPPSU1198A0497B"));
    QCOMPARE(readFromPort(port, 16), QByteArray("VKPPSU1198A0497B"));
    for (const char byte : QByteArray("VKPPSU1200H0500O"))
        port.write(byte);
    QCOMPARE(supply->receive(16), QByteArray("VKPPSU1200H0500O"));
}

void TestQtSerialPort::pendingWritesStayBoundedWhenNobodyReads() {
    PtySupply supply;
    QVERIFY(supply.isValid());
    QVERIFY(linkPort(3, supply.devicePath()));
    QtSerialPort port(programDir_->path());
    QVERIFY(port.open(3));

    constexpr int written = 1'000'000;
    for (int count = 0; count < written; ++count) {
        port.write('x');
        if (count % 1000 == 0)
            QCoreApplication::processEvents();
    }
    const QByteArray backlog = supply.receive(written, 300);
    QVERIFY2(backlog.size() < written / 4, qPrintable(QString::number(backlog.size())));

    // Once drained, the line carries new characters again, and only those.
    for (const char byte : QByteArray("VKPPSU1200H0500O"))
        port.write(byte);
    QCOMPARE(supply.receive(16), QByteArray("VKPPSU1200H0500O"));
}

void TestQtSerialPort::floodBetweenReadsStaysBounded() {
    PtySupply supply;
    QVERIFY(supply.isValid());
    QVERIFY(linkPort(3, supply.devicePath()));
    QtSerialPort port(programDir_->path());
    QVERIFY(port.open(3));

    // Far more than a second's worth, offered while the owner does not read.
    const QByteArray chunk(4096, 'z');
    qsizetype offered = 0;
    for (int round = 0; round < 2000; ++round) {
        offered += supply.write(chunk);
        QCoreApplication::processEvents();
    }
    const std::optional<QByteArray> read = port.readAll();
    QVERIFY(read.has_value());
    QVERIFY2(read->size() <= 64 * 1024, qPrintable(QString::number(read->size())));
    QVERIFY(read->size() > 0);
    QVERIFY(offered >= read->size());
}

QTEST_GUILESS_MAIN(TestQtSerialPort)
#include "test_qt_serial_port.moc"
