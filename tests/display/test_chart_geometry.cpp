#include "window/chart_geometry.h"

#include <QtTest>

namespace {

// Layout factors of the screens the window is tried on.
const float k1024x = 1024.0f / 1440.0f;
const float k768y = 768.0f / 900.0f;
const float k1920x = 1920.0f / 1440.0f;
const float k1080y = 1080.0f / 900.0f;

bool near(float actual, double expected) {
    return qAbs(actual - expected) < 0.01;
}

QByteArray point(ChartPoint p) {
    return QByteArray::number(p.x) + ", " + QByteArray::number(p.y);
}

} // namespace

class ChartGeometryTest : public QObject {
    Q_OBJECT
private slots:
    void valueHeight_data();
    void valueHeight();
    void columnX_data();
    void columnX();
    void gridLines_data();
    void gridLines();
    void texts_data();
    void texts();
    void axisNumbersHaveABlankOnEachSide_data();
    void axisNumbersHaveABlankOnEachSide();
};

// Chart values are reply digits / 10: volts x 10, amperes x 100.
void ChartGeometryTest::valueHeight_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<float>("scaleY");
    QTest::addColumn<double>("expected");
    QTest::newRow("12.34 V") << 123.4 << 1.0f << 2006.4;
    QTest::newRow("1.234 A, same height") << 123.4 << 1.0f << 2006.4;
    QTest::newRow("0000 on the zero line") << 0.0 << 1.0f << 2500.0;
    QTest::newRow("5.1 A between the 5 A line and the grid top") << 510.0 << 1.0f << 460.0;
    QTest::newRow("31 V") << 310.0 << 1.0f << 1260.0;
    QTest::newRow("12.34 V at 768 lines") << 123.4 << k768y << 2006.4 * 768 / 900;
    QTest::newRow("12.34 V at 1080 lines") << 123.4 << k1080y << 2006.4 * 1.2;
}

void ChartGeometryTest::valueHeight() {
    QFETCH(double, value);
    QFETCH(float, scaleY);
    QFETCH(double, expected);
    const float y = chartValueY(value, scaleY);
    QVERIFY2(near(y, expected), QByteArray::number(y));
}

void ChartGeometryTest::columnX_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<float>("scaleX");
    QTest::addColumn<double>("expected");
    QTest::newRow("column 0") << 0 << 1.0f << 700.0;
    QTest::newRow("column 1") << 1 << 1.0f << 780.0;
    QTest::newRow("last column drawn") << 99 << 1.0f << 8620.0;
    QTest::newRow("sweep full") << 100 << 1.0f << 8700.0;
    QTest::newRow("last column at 1024") << 99 << k1024x << 8620.0 * 1024 / 1440;
    QTest::newRow("last column at 1920") << 99 << k1920x << 8620.0 * 1920 / 1440;
}

void ChartGeometryTest::columnX() {
    QFETCH(int, column);
    QFETCH(float, scaleX);
    QFETCH(double, expected);
    const float x = chartColumnX(column, scaleX);
    QVERIFY2(near(x, expected), QByteArray::number(x));
}

void ChartGeometryTest::gridLines_data() {
    QTest::addColumn<bool>("horizontal");
    QTest::addColumn<int>("at");
    QTest::addColumn<float>("scaleX");
    QTest::addColumn<float>("scaleY");
    QTest::addColumn<QRectF>("expected"); // from (x, y) to (right, bottom)
    QTest::newRow("zero line") << true << 0 << 1.0f << 1.0f << QRectF(600, 2500, 8400, 0);
    QTest::newRow("10 V / 1 A") << true << 10 << 1.0f << 1.0f << QRectF(600, 2100, 8400, 0);
    QTest::newRow("top line") << true << 50 << 1.0f << 1.0f << QRectF(600, 500, 8400, 0);
    QTest::newRow("top line at 1920 x 1080")
        << true << 50 << k1920x << k1080y << QRectF(800, 600, 11200, 0);
    QTest::newRow("column 0") << false << 0 << 1.0f << 1.0f << QRectF(700, 2600, 0, -2200);
    QTest::newRow("column 50") << false << 50 << 1.0f << 1.0f << QRectF(4700, 2600, 0, -2200);
    QTest::newRow("column 100") << false << 100 << 1.0f << 1.0f << QRectF(8700, 2600, 0, -2200);
    QTest::newRow("column 100 at 1024 x 768")
        << false << 100 << k1024x << k768y
        << QRectF(8700.0 * 1024 / 1440, 2600.0 * 768 / 900, 0, -2200.0 * 768 / 900);
}

void ChartGeometryTest::gridLines() {
    QFETCH(bool, horizontal);
    QFETCH(int, at);
    QFETCH(float, scaleX);
    QFETCH(float, scaleY);
    QFETCH(QRectF, expected);
    const ChartLine line = horizontal ? chartHorizontalGridLine(at, scaleX, scaleY)
                                      : chartVerticalGridLine(at, scaleX, scaleY);
    const QByteArray seen = point(line.from) + " to " + point(line.to);
    QVERIFY2(near(line.from.x, expected.left()), seen);
    QVERIFY2(near(line.from.y, expected.top()), seen);
    QVERIFY2(near(line.to.x, expected.left() + expected.width()), seen);
    QVERIFY2(near(line.to.y, expected.top() + expected.height()), seen);
}

void ChartGeometryTest::texts_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("at");
    QTest::addColumn<float>("scaleX");
    QTest::addColumn<float>("scaleY");
    QTest::addColumn<QPointF>("expected");
    QTest::newRow("value 0") << "value" << 0 << 1.0f << 1.0f << QPointF(200, 2300);
    QTest::newRow("value 50") << "value" << 50 << 1.0f << 1.0f << QPointF(200, 300);
    QTest::newRow("value 50 at 1920 x 1080")
        << "value" << 50 << k1920x << k1080y << QPointF(200.0 * 4 / 3, 360);
    QTest::newRow("column 0") << "column" << 0 << 1.0f << 1.0f << QPointF(600, 2800);
    QTest::newRow("column 100") << "column" << 100 << 1.0f << 1.0f << QPointF(8600, 2800);
    QTest::newRow("column 100 at 1024 x 768")
        << "column" << 100 << k1024x << k768y << QPointF(8600.0 * 1024 / 1440, 2800.0 * 768 / 900);
    QTest::newRow("unit letter") << "unit" << 0 << 1.0f << 1.0f << QPointF(200, 2700);
    QTest::newRow("unit letter at 1920 x 1080")
        << "unit" << 0 << k1920x << k1080y << QPointF(200.0 * 4 / 3, 3240);
}

void ChartGeometryTest::texts() {
    QFETCH(QString, text);
    QFETCH(int, at);
    QFETCH(float, scaleX);
    QFETCH(float, scaleY);
    QFETCH(QPointF, expected);
    const ChartPoint p = text == QLatin1String("value")    ? chartValueNumberAt(at, scaleX, scaleY)
                         : text == QLatin1String("column") ? chartColumnNumberAt(at, scaleX, scaleY)
                                                           : chartUnitLetterAt(scaleX, scaleY);
    QVERIFY2(near(p.x, expected.x()) && near(p.y, expected.y()), point(p));
}

void ChartGeometryTest::axisNumbersHaveABlankOnEachSide_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("0") << 0 << " 0 ";
    QTest::newRow("5") << 5 << " 5 ";
    QTest::newRow("50") << 50 << " 50 ";
    QTest::newRow("100") << 100 << " 100 ";
}

void ChartGeometryTest::axisNumbersHaveABlankOnEachSide() {
    QFETCH(int, value);
    QFETCH(QString, expected);
    QCOMPARE(chartAxisNumber(value), expected);
}

QTEST_APPLESS_MAIN(ChartGeometryTest)
#include "test_chart_geometry.moc"
