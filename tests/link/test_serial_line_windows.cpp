#include "link/serial_line_windows.h"
#include "under_wine.h"

#include <QDeadlineTimer>
#include <QTest>

#include <optional>
#include <tuple>
#include <utility>

namespace {

// No device answers to this number on the machine running the test.
constexpr int kMissingPort = 9;

constexpr QByteArrayView kFrame = "VKPPSU0500A0100W";

// The two ports of a null-modem pair, from VELKOR_TEST_LOOPBACK_PORTS ("15,16").
std::optional<std::pair<int, int>> loopbackPorts() {
    const QList<QByteArray> numbers = qgetenv("VELKOR_TEST_LOOPBACK_PORTS").split(',');
    if (numbers.size() != 2)
        return std::nullopt;
    bool firstOk = false;
    bool secondOk = false;
    const int first = numbers[0].trimmed().toInt(&firstOk);
    const int second = numbers[1].trimmed().toInt(&secondOk);
    if (!firstOk || !secondOk || first == second)
        return std::nullopt;
    return std::pair{first, second};
}

// Writes one character every 5 ms, as the session's send tick does.
bool writePaced(SerialPort& port, QByteArrayView bytes) {
    for (const char c : bytes) {
        if (!port.write(c))
            return false;
        QTest::qWait(5);
    }
    return true;
}

// What one read brings; a failed read shows as such.
QByteArray readOnce(SerialPort& port) {
    const std::optional<QByteArray> bytes = port.readAll();
    return bytes ? *bytes : QByteArrayLiteral("<read failed>");
}

// Reads until count bytes have come or two seconds passed; stops at a failed
// read.
QByteArray readFromPort(SerialPort& port, qsizetype count) {
    QByteArray received;
    const QDeadlineTimer deadline(2000);
    while (received.size() < count && !deadline.hasExpired()) {
        QTest::qWait(10);
        const std::optional<QByteArray> chunk = port.readAll();
        if (!chunk)
            break;
        received += *chunk;
    }
    return received;
}

} // namespace

class TestSerialLineWindows : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void namesPortsAsWindowsDoes();
    void framesCrossBothWaysWhole();
    void bytesArrivingInPiecesAreHandedOverOnce();
    void everyByteValueCrosses();
    void missingPortIsToldMissing();
    void numberOutsideTheRangeIsMissing();
    void portHeldByAnotherProgramIsInUse();
    void closedPortReadsNothingAndTakesNoWrites();
    void reopenedPortCarriesFramesAgain();

private:
    std::optional<WindowsSerialPort> near_;
    std::optional<WindowsSerialPort> far_;
    int nearPort_ = 0;
    int farPort_ = 0;
};

void TestSerialLineWindows::init() {
    const auto ports = loopbackPorts();
    if (!ports)
        QSKIP("Set VELKOR_TEST_LOOPBACK_PORTS to the numbers of two COM ports wired to each "
              "other, e.g. \"15,16\"; under Wine, link dosdevices/com15 and com16 to the two "
              "ends of a socat pty pair.");
    std::tie(nearPort_, farPort_) = *ports;
    near_.emplace();
    far_.emplace();
    near_->setSettings(QStringLiteral("9600,N,8,1"));
    far_->setSettings(QStringLiteral("9600,N,8,1"));
    QVERIFY2(near_->open(nearPort_), qPrintable(near_->devicePath(nearPort_)));
    QVERIFY2(far_->open(farPort_), qPrintable(far_->devicePath(farPort_)));
    QCOMPARE(near_->lastOpenFailure().reason, OpenFailure::Reason::None);
}

void TestSerialLineWindows::cleanup() {
    near_.reset();
    far_.reset();
}

void TestSerialLineWindows::namesPortsAsWindowsDoes() {
    QCOMPARE(near_->devicePath(1), QStringLiteral("COM1"));
    QCOMPARE(near_->devicePath(16), QStringLiteral("COM16"));
    QCOMPARE(near_->devicePath(0), QString());
    QCOMPARE(near_->devicePath(17), QString());
}

void TestSerialLineWindows::framesCrossBothWaysWhole() {
    QVERIFY(writePaced(*near_, kFrame));
    QCOMPARE(readFromPort(*far_, kFrame.size()), kFrame.toByteArray());

    const QByteArray reply = "VKPPSU1200A0300W";
    QVERIFY(writePaced(*far_, reply));
    far_->drain(500);
    QCOMPARE(readFromPort(*near_, reply.size()), reply);

    // Nothing crossed twice or came back on the sender's own side.
    QTest::qWait(100);
    QCOMPARE(readOnce(*near_), QByteArray());
    QCOMPARE(readOnce(*far_), QByteArray());
}

void TestSerialLineWindows::bytesArrivingInPiecesAreHandedOverOnce() {
    QVERIFY(writePaced(*near_, "VKPP"));
    near_->drain(500);
    QTest::qWait(150);
    QVERIFY(writePaced(*near_, "SU05"));
    QTest::qWait(150);
    QVERIFY(writePaced(*near_, "00A0100W"));

    QCOMPARE(readFromPort(*far_, kFrame.size()), kFrame.toByteArray());
    QTest::qWait(200);
    QCOMPARE(readOnce(*far_), QByteArray());
}

void TestSerialLineWindows::everyByteValueCrosses() {
    QByteArray bytes;
    for (int value = 0; value < 256; ++value)
        bytes.append(char(value));
    for (const char c : std::as_const(bytes))
        QVERIFY(near_->write(c));
    near_->drain(2000);
    QCOMPARE(readFromPort(*far_, bytes.size()), bytes);
}

void TestSerialLineWindows::missingPortIsToldMissing() {
    WindowsSerialPort port;
    QVERIFY(!port.open(kMissingPort));
    QVERIFY(!port.isOpen());
    QCOMPARE(port.lastOpenFailure().reason, OpenFailure::Reason::Missing);
    QCOMPARE(port.lastOpenFailure().device, QStringLiteral("COM%1").arg(kMissingPort));
    QCOMPARE(readOnce(port), QByteArray());
    QVERIFY(!port.write('V'));
}

void TestSerialLineWindows::numberOutsideTheRangeIsMissing() {
    WindowsSerialPort port;
    for (const int number : {0, 17, -1}) {
        QVERIFY(!port.open(number));
        QCOMPARE(port.lastOpenFailure().reason, OpenFailure::Reason::Missing);
    }
}

void TestSerialLineWindows::portHeldByAnotherProgramIsInUse() {
    if (runsUnderWine())
        QSKIP("Wine opens a COM port a second time even when it is held exclusively.");
    WindowsSerialPort second;
    QVERIFY(!second.open(farPort_));
    QCOMPARE(second.lastOpenFailure().reason, OpenFailure::Reason::InUse);
    QCOMPARE(second.lastOpenFailure().device, QStringLiteral("COM%1").arg(farPort_));
    // The holder is not disturbed.
    QVERIFY(writePaced(*near_, kFrame));
    QCOMPARE(readFromPort(*far_, kFrame.size()), kFrame.toByteArray());
}

void TestSerialLineWindows::closedPortReadsNothingAndTakesNoWrites() {
    QVERIFY(writePaced(*near_, kFrame));
    near_->drain(500);
    // The frame has reached the far side's buffer, unread, when it closes.
    QTest::qWait(200);
    far_->close();
    QVERIFY(!far_->isOpen());
    QCOMPARE(readOnce(*far_), QByteArray());
    QVERIFY(!far_->write('V'));

    near_->close();
    QVERIFY(!near_->write('V'));
    QCOMPARE(readOnce(*near_), QByteArray());
    near_->drain(100);
    QVERIFY(!near_->isOpen());
}

void TestSerialLineWindows::reopenedPortCarriesFramesAgain() {
    for (int round = 0; round < 3; ++round) {
        far_->close();
        QVERIFY(far_->open(farPort_));
        QVERIFY(writePaced(*near_, kFrame));
        QCOMPARE(readFromPort(*far_, kFrame.size()), kFrame.toByteArray());
        QVERIFY(writePaced(*far_, kFrame));
        QCOMPARE(readFromPort(*near_, kFrame.size()), kFrame.toByteArray());
    }
    // Opening the port that is open starts it afresh instead of failing.
    QVERIFY(near_->open(nearPort_));
    QVERIFY(writePaced(*far_, kFrame));
    QCOMPARE(readFromPort(*near_, kFrame.size()), kFrame.toByteArray());
}

QTEST_GUILESS_MAIN(TestSerialLineWindows)
#include "test_serial_line_windows.moc"
