#include "link/port_name.h"

#include <QTest>

class TestPortName : public QObject {
    Q_OBJECT

private slots:
    void namesPortAndDevice_data();
    void namesPortAndDevice();
};

void TestPortName::namesPortAndDevice_data() {
    QTest::addColumn<int>("portNumber");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("form");
    QTest::addColumn<QString>("shown");

    QTest::newRow("a Linux device") << 16 << "/dev/ttyUSB5"
                                    << "%1 → %2"
                                    << "COM16 → /dev/ttyUSB5";
    QTest::newRow("a port link") << 3 << "/opt/velkor/ports/com3"
                                 << "%1 (%2)"
                                 << "COM3 (/opt/velkor/ports/com3)";
    QTest::newRow("a Windows port") << 16 << "COM16"
                                    << "%1 → %2"
                                    << "COM16";
    QTest::newRow("a Windows port in a list") << 4 << "COM4"
                                              << "%1 %2"
                                              << "COM4";
    QTest::newRow("another port's name") << 4 << "COM14"
                                         << "%1 (%2)"
                                         << "COM4 (COM14)";
    QTest::newRow("a name that only begins alike") << 1 << "COM10"
                                                   << "%1 %2"
                                                   << "COM1 COM10";
}

void TestPortName::namesPortAndDevice() {
    QFETCH(int, portNumber);
    QFETCH(QString, device);
    QFETCH(QString, form);
    QFETCH(QString, shown);

    QCOMPARE(portWithDevice(portNumber, device, form), shown);
}

QTEST_APPLESS_MAIN(TestPortName)
#include "test_port_name.moc"
