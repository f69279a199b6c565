#include "setting/setpoint.h"

#include <QLocale>
#include <QtTest>

#include <cmath>
#include <limits>

class SetpointTextTest : public QObject {
    Q_OBJECT
private slots:
    void acceptableTexts_data();
    void acceptableTexts();
    void leadingNumberOfTexts_data();
    void leadingNumberOfTexts();
    void scaledValuesRoundHalfToEven_data();
    void scaledValuesRoundHalfToEven();
    void roundingSaturatesToSixteenBits();
    void sliderTexts_data();
    void sliderTexts();
    void everySliderPositionMakesAnAcceptableTextOfItsValue();
};

void SetpointTextTest::acceptableTexts_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<bool>("rejected");

    const QString v = QStringLiteral("V");
    const QString a = QStringLiteral("A");
    QTest::newRow("12V") << "12V" << v << false;
    QTest::newRow("12.34V") << "12.34V" << v << false;
    QTest::newRow(".5V") << ".5V" << v << false;
    QTest::newRow("5.V") << "5.V" << v << false;
    QTest::newRow("V alone") << "V" << v << false;
    QTest::newRow("empty") << "" << v << false;
    QTest::newRow("31.00V") << "31.00V" << v << false;
    QTest::newRow("99.99V passes, the range is checked later") << "99.99V" << v << false;
    QTest::newRow("five digits") << "12345V" << v << false;
    QTest::newRow("00.00V") << "00.00V" << v << false;
    QTest::newRow("5.100A") << "5.100A" << a << false;
    QTest::newRow("0.001A") << "0.001A" << a << false;

    QTest::newRow("seven characters") << "12.345V" << v << true;
    QTest::newRow("two points") << "1.2.3V" << v << true;
    QTest::newRow("unit not last") << "12V3" << v << true;
    QTest::newRow("minus sign") << "-1V" << v << true;
    QTest::newRow("blank before the unit") << "12 V" << v << true;
    QTest::newRow("lower-case v before V") << "12vV" << v << true;
    QTest::newRow("lower-case unit only") << "12v" << v << true;
    QTest::newRow("no unit") << "12" << v << true;
    QTest::newRow("two units") << "1V2V" << v << true;
    QTest::newRow("unit first") << "V12" << v << true;
    QTest::newRow("point alone twice") << "..V" << v << true;
    QTest::newRow("other unit") << "1.5V" << a << true;
    QTest::newRow("both units") << "1.5VA" << a << true;
    QTest::newRow("lower-case a") << "1.5a" << a << true;
    QTest::newRow("comma as point") << "12,5V" << v << true;
    QTest::newRow("full-width digits") << QString::fromUtf8("１２V") << v << true;
    QTest::newRow("exponent") << "1e1V" << v << true;
}

void SetpointTextTest::acceptableTexts() {
    QFETCH(QString, text);
    QFETCH(QString, unit);
    QFETCH(bool, rejected);
    QCOMPARE(isRefusedEntryText(text, unit.at(0)), rejected);
}

void SetpointTextTest::leadingNumberOfTexts_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");

    QTest::newRow("12.34V") << "12.34V" << 12.34;
    QTest::newRow(".5V") << ".5V" << 0.5;
    QTest::newRow("point before the unit") << "5.V" << 5.0;
    QTest::newRow("unit alone") << "V" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("point alone") << ".V" << 0.0;
    QTest::newRow("leading zeros") << "0012A" << 12.0;
    QTest::newRow("second point ends the number") << "1.2.3V" << 1.2;
    QTest::newRow("letter ends the number") << "12V3" << 12.0;
    QTest::newRow("blank ends the number") << "12 5" << 12.0;
    QTest::newRow("no leading digits") << "abc7" << 0.0;
    QTest::newRow("digits of a reply") << "1234" << 1234.0;
    QTest::newRow("full-width digits are no digits") << QString::fromUtf8("１２V") << 0.0;
}

void SetpointTextTest::leadingNumberOfTexts() {
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(leadingNumber(text), value);
}

// The rounding applies to the scaled double as the conversion computes it,
// so the cases go through the text.
void SetpointTextTest::scaledValuesRoundHalfToEven_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("factor");
    QTest::addColumn<int>("expected");

    QTest::newRow("0.005V") << "0.005V" << 100.0 << 0;
    QTest::newRow("0.015V") << "0.015V" << 100.0 << 2;
    QTest::newRow("0.025V") << "0.025V" << 100.0 << 2;
    QTest::newRow("0.035V") << "0.035V" << 100.0 << 4;
    QTest::newRow("12.344V") << "12.344V" << 100.0 << 1234;
    QTest::newRow("12.346V") << "12.346V" << 100.0 << 1235;
    QTest::newRow(".0015A") << ".0015A" << 1000.0 << 2;
    QTest::newRow(".0025A") << ".0025A" << 1000.0 << 2;
    QTest::newRow("5.100A") << "5.100A" << 1000.0 << 5100;
    QTest::newRow("row 30.996 V") << "30.996" << 100.0 << 3100;
    QTest::newRow("row 5.0996 A") << "5.0996" << 1000.0 << 5100;
}

void SetpointTextTest::scaledValuesRoundHalfToEven() {
    QFETCH(QString, text);
    QFETCH(double, factor);
    QFETCH(int, expected);
    QCOMPARE(toInt16HalfEven(leadingNumber(text) * factor), qint16(expected));
}

void SetpointTextTest::roundingSaturatesToSixteenBits() {
    QCOMPARE(roundHalfEven(2.5), 2.0);
    QCOMPARE(roundHalfEven(3.5), 4.0);
    QCOMPARE(roundHalfEven(-2.5), -2.0);
    QCOMPARE(roundHalfEven(-1.5), -2.0);
    QCOMPARE(roundHalfEven(-0.4), 0.0);
    QCOMPARE(toInt16HalfEven(32767.4), qint16(32767));
    QCOMPARE(toInt16HalfEven(1e9), std::numeric_limits<qint16>::max());
    QCOMPARE(toInt16HalfEven(-1e9), std::numeric_limits<qint16>::min());
    QCOMPARE(toInt16HalfEven(std::numeric_limits<double>::infinity()),
             std::numeric_limits<qint16>::max());
    QCOMPARE(toInt16HalfEven(std::nan("")), qint16(0));
}

void SetpointTextTest::sliderTexts_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("1234 / 100") << 1234 / 100.0 << "12.34";
    QTest::newRow("1250 / 100") << 1250 / 100.0 << "12.5";
    QTest::newRow("1200 / 100") << 1200 / 100.0 << "12";
    QTest::newRow("5 / 100") << 5 / 100.0 << "0.05";
    QTest::newRow("0") << 0.0 << "0";
    QTest::newRow("3100 / 100") << 3100 / 100.0 << "31";
    QTest::newRow("1 / 1000") << 1 / 1000.0 << "0.001";
    QTest::newRow("1500 / 1000") << 1500 / 1000.0 << "1.5";
    QTest::newRow("5099 / 1000") << 5099 / 1000.0 << "5.099";
}

void SetpointTextTest::sliderTexts() {
    QFETCH(double, value);
    QFETCH(QString, text);
    QCOMPARE(shortestDecimalText(value), text);
    // The point stays "." whatever the locale says.
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString german = shortestDecimalText(value);
    QLocale::setDefault(before);
    QCOMPARE(german, text);
}

// Whatever position a slider is in, its text is taken by the entry rules and
// gives back exactly that position as the setpoint.
void SetpointTextTest::everySliderPositionMakesAnAcceptableTextOfItsValue() {
    const struct {
        int maximum;
        double divisor;
        QChar unit;
    } sliders[] = {{3100, 100.0, QLatin1Char('V')}, {5100, 1000.0, QLatin1Char('A')}};
    for (const auto& slider : sliders) {
        for (int position = 0; position <= slider.maximum; ++position) {
            const QString text = shortestDecimalText(position / slider.divisor) + slider.unit;
            QVERIFY2(!isRefusedEntryText(text, slider.unit), qPrintable(text));
            QCOMPARE(toInt16HalfEven(leadingNumber(text) * slider.divisor), qint16(position));
        }
    }
}

QTEST_GUILESS_MAIN(SetpointTextTest)
#include "test_setpoint_text.moc"
