#include "sequence/step_csv.h"

#include <QStringEncoder>
#include <QtTest>

namespace {

QByteArray encoded(const QString& text, StepCsvEncoding encoding) {
    switch (encoding) {
    case StepCsvEncoding::Utf8:
        return text.toUtf8();
    case StepCsvEncoding::Utf8WithBom:
        return "\xEF\xBB\xBF" + text.toUtf8();
    case StepCsvEncoding::Utf16LittleEndian:
        return "\xFF\xFE" + QByteArray(QStringEncoder(QStringConverter::Utf16LE).encode(text));
    case StepCsvEncoding::Utf16BigEndian:
        return "\xFE\xFF" + QByteArray(QStringEncoder(QStringConverter::Utf16BE).encode(text));
    }
    return {};
}

// Reads a file in pieces of a few bytes, as the grid does in its slices.
StepCsvReading readInPieces(const QByteArray& bytes) {
    StepCsvReader reader(bytes);
    while (!reader.read(7)) {
    }
    return reader.reading();
}

} // namespace

class StepCsvTest : public QObject {
    Q_OBJECT
private slots:
    void encodingsAndSeparators_data();
    void encodingsAndSeparators();
};

void StepCsvTest::encodingsAndSeparators_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<StepCsvEncoding>("encoding");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QVector<StepRow>>("rows");
    // What a refusal names besides how the file was read; empty when the
    // steps are taken.
    QTest::addColumn<QString>("named");
    const QVector<StepRow> steps{{12.5, 1.0, 60.0}, {0.0, 0.5, 0.0}};
    const QChar comma = QLatin1Char(',');
    const QChar semicolon = QLatin1Char(';');
    const QChar tab = QLatin1Char('\t');
    struct Text {
        const char* name;
        QString text;
        QChar separator;
        QVector<StepRow> rows;
        QString named;
    };
    // The header's "一ਅ一" puts a line feed's two bytes across two
    // characters in either byte order of UTF-16.
    const QList<Text> texts = {
        {"commas, as exported",
         "voltage_V,current_A,hold_time_s\r\n12.5,1,60\r\n0,.5,0\r\n",
         comma,
         steps,
         {}},
        {"semicolons, decimal commas, a header",
         "电压一ਅ一;电流（A）;时间（S）\r\n12,5;1;60\r\n0;0,5;0\r\n",
         semicolon,
         steps,
         {}},
        {"semicolons, points, a blank line", "12.5;1;60\n\n0;.5;0\n", semicolon, steps, {}},
        {"semicolons, quoted, no last line end",
         "\"12,5\";\"1\";60\n0;0,5;0",
         semicolon,
         steps,
         {}},
        {"semicolons, empty cells after the third and empty rows, as Excel saves",
         "U;I;t;;\r\n12,5;1;60;;\r\n;;;;\r\n0;0,5;0;;\r\n",
         semicolon,
         steps,
         {}},
        {"tabs, decimal commas, a header, as Unicode text",
         "电压\t电流\t时间\r\n12,5\t1\t60\r\n0\t0,5\t0\r\n",
         tab,
         steps,
         {}},
        {"tabs before semicolons, quoted tabs",
         "U;V\tI;A\t\"t\ts\"\n12.5\t1\t60\t\n0\t.5\t0\n",
         tab,
         steps,
         {}},
        {"tabs, an empty cell within the three",
         "12,5\t1\t60\n0\t0,5\t\t\n",
         tab,
         {},
         "Line 2, cell 3 is empty"},
        {"tabs, a fourth cell", "12,5\t1\t60\t7\n", tab, {}, "Line 1 has 4 cells"},
        {"commas, text in a cell", "12.5,1,60\n0,x,0\n", comma, {}, "Line 2, cell 2 (“x”)"},
        {"semicolons, two commas in a number",
         "12,5;1;60\n0;1,2,5;0\n",
         semicolon,
         {},
         "Line 2, cell 2 (“1,2,5”)"},
        {"commas, decimal commas", "12,5,1,60\n", comma, {}, "Line 1 has 4 cells"},
        {"semicolons, a voltage above the limit",
         "12,5;1;60\n31,5;1;60\n",
         semicolon,
         {},
         "Line 2, cell 1 (“31,5”)"},
    };
    for (const StepCsvEncoding encoding :
         {StepCsvEncoding::Utf8, StepCsvEncoding::Utf8WithBom, StepCsvEncoding::Utf16LittleEndian,
          StepCsvEncoding::Utf16BigEndian}) {
        for (const Text& text : texts) {
            QTest::addRow("%s, %d", text.name, int(encoding))
                << encoded(text.text, encoding) << encoding << text.separator << text.rows
                << text.named;
        }
    }
}

void StepCsvTest::encodingsAndSeparators() {
    QFETCH(QByteArray, file);
    QFETCH(StepCsvEncoding, encoding);
    QFETCH(QChar, separator);
    QFETCH(QVector<StepRow>, rows);
    QFETCH(QString, named);
    const StepCsvReading reading = readInPieces(file);
    QCOMPARE(reading.encoding, encoding);
    QCOMPARE(reading.separator, separator);
    QCOMPARE(reading.rows, rows);
    if (named.isEmpty()) {
        QCOMPARE(reading.problem, QString());
        return;
    }
    // A refusal says how the file was read, so a file that was not what it
    // was taken for shows why.
    QVERIFY2(reading.problem.contains(named), qPrintable(reading.problem));
    const QString read = QStringLiteral("Read as %1, cells separated by %2")
                             .arg(QStringList{"UTF-8", "UTF-8 (BOM)", "UTF-16 LE (BOM)",
                                              "UTF-16 BE (BOM)"}[int(encoding)],
                                  separator == QLatin1Char('\t')  ? "tabs"
                                  : separator == QLatin1Char(';') ? "semicolons"
                                                                  : "commas");
    QVERIFY2(reading.problem.contains(read), qPrintable(reading.problem));
}

QTEST_MAIN(StepCsvTest)
#include "test_step_csv.moc"
