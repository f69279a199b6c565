#include "link/port_map.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestPortMap : public QObject {
    Q_OBJECT

private slots:
    void mapsWithoutLinks_data();
    void mapsWithoutLinks();
#ifndef Q_OS_WIN
    void linkedEntryWins();
    void danglingLinkStillClaimsItsNumber();
#endif
};

void TestPortMap::mapsWithoutLinks_data() {
    QTest::addColumn<int>("portNumber");
    QTest::addColumn<QString>("device");

    QTest::newRow("0 is no port") << 0 << QString();
    QTest::newRow("17 is no port") << 17 << QString();
    QTest::newRow("negative is no port") << -3 << QString();
#ifdef Q_OS_WIN
    QTest::newRow("1") << 1 << "COM1";
    QTest::newRow("9") << 9 << "COM9";
    QTest::newRow("16") << 16 << "COM16";
#else
    QTest::newRow("1, first motherboard port") << 1 << "/dev/ttyS0";
    QTest::newRow("4, last motherboard port") << 4 << "/dev/ttyS3";
    QTest::newRow("5, first ACM") << 5 << "/dev/ttyACM0";
    QTest::newRow("10, last ACM") << 10 << "/dev/ttyACM5";
    QTest::newRow("11, first USB adapter") << 11 << "/dev/ttyUSB0";
    QTest::newRow("16, last USB adapter") << 16 << "/dev/ttyUSB5";
#endif
}

void TestPortMap::mapsWithoutLinks() {
    QFETCH(int, portNumber);
    QFETCH(QString, device);
    QTemporaryDir programDir;
    QVERIFY(programDir.isValid());
    QVERIFY(QDir(programDir.path()).mkdir("ports"));

    QCOMPARE(portDevicePath(portNumber, programDir.path()), device);
}

#ifndef Q_OS_WIN
void TestPortMap::linkedEntryWins() {
    QTemporaryDir programDir;
    QVERIFY(programDir.isValid());
    const QString ports = programDir.filePath("ports");
    QVERIFY(QDir().mkdir(ports));
    const QString device = programDir.filePath("device");
    QFile deviceFile(device);
    QVERIFY(deviceFile.open(QIODevice::WriteOnly));
    QVERIFY(QFile::link(device, ports + "/com3"));
    QVERIFY(QFile::link(device, ports + "/com13"));

    QCOMPARE(portDevicePath(3, programDir.path()), ports + "/com3");
    QCOMPARE(portDevicePath(13, programDir.path()), ports + "/com13");
    // Neighbours and prefixes of the linked numbers keep their devices.
    QCOMPARE(portDevicePath(1, programDir.path()), "/dev/ttyS0");
    QCOMPARE(portDevicePath(4, programDir.path()), "/dev/ttyS3");
    QCOMPARE(portDevicePath(12, programDir.path()), "/dev/ttyUSB1");
}

void TestPortMap::danglingLinkStillClaimsItsNumber() {
    QTemporaryDir programDir;
    QVERIFY(programDir.isValid());
    const QString ports = programDir.filePath("ports");
    QVERIFY(QDir().mkdir(ports));
    QVERIFY(QFile::link(programDir.filePath("unplugged"), ports + "/com5"));

    QCOMPARE(portDevicePath(5, programDir.path()), ports + "/com5");
}
#endif

QTEST_APPLESS_MAIN(TestPortMap)
#include "test_port_map.moc"
