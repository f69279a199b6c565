#include "link/line_settings.h"

#include <QTest>

using Parity = LineSettings::Parity;
using StopBits = LineSettings::StopBits;

Q_DECLARE_METATYPE(LineSettings::Parity)
Q_DECLARE_METATYPE(LineSettings::StopBits)

class TestLineSettings : public QObject {
    Q_OBJECT

private slots:
    void parses_data();
    void parses();
};

void TestLineSettings::parses_data() {
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("baudRate");
    QTest::addColumn<Parity>("parity");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<StopBits>("stopBits");

    QTest::newRow("the supply's line")
        << "9600,N,8,1" << 9600 << Parity::None << 8 << StopBits::One;
    QTest::newRow("even parity, 7 bits, 2 stops")
        << "19200,E,7,2" << 19200 << Parity::Even << 7 << StopBits::Two;
    QTest::newRow("odd parity in lower case, 1.5 stops")
        << "4800,o,5,1.5" << 4800 << Parity::Odd << 5 << StopBits::OneAndHalf;
    QTest::newRow("blanks around fields")
        << " 2400 , e , 6 , 2 " << 2400 << Parity::Even << 6 << StopBits::Two;
    QTest::newRow("empty") << "" << 9600 << Parity::None << 8 << StopBits::One;
    QTest::newRow("baud only") << "115200" << 115200 << Parity::None << 8 << StopBits::One;
    QTest::newRow("nothing readable") << "fast,Q,9,3" << 9600 << Parity::None << 8 << StopBits::One;
    QTest::newRow("zero baud") << "0,E,7,2" << 9600 << Parity::Even << 7 << StopBits::Two;
    QTest::newRow("negative baud") << "-9600,N,8,1" << 9600 << Parity::None << 8 << StopBits::One;
    QTest::newRow("four data bits") << "9600,N,4,1" << 9600 << Parity::None << 8 << StopBits::One;
    QTest::newRow("nine data bits") << "9600,O,9,1" << 9600 << Parity::Odd << 8 << StopBits::One;
    QTest::newRow("parity word") << "9600,None,8,1" << 9600 << Parity::None << 8 << StopBits::One;
    QTest::newRow("stop bits 1.0") << "9600,N,8,1.0" << 9600 << Parity::None << 8 << StopBits::One;
}

void TestLineSettings::parses() {
    QFETCH(QString, settings);
    QFETCH(int, baudRate);
    QFETCH(Parity, parity);
    QFETCH(int, dataBits);
    QFETCH(StopBits, stopBits);

    const LineSettings parsed = parseLineSettings(settings);

    QCOMPARE(parsed.baudRate, baudRate);
    QCOMPARE(parsed.parity, parity);
    QCOMPARE(parsed.dataBits, dataBits);
    QCOMPARE(parsed.stopBits, stopBits);
}

QTEST_APPLESS_MAIN(TestLineSettings)
#include "test_line_settings.moc"
