#include "sequence/step_table.h"

#include <QtTest>

namespace {

using Rows = QVector<QVariantList>;

// A loaded copy as the run start builds it: five columns by position, the
// rows' (voltage, current, hold time) in columns 1 to 3, a spare row at the end.
StepTable tableOf(const Rows& rows) {
    StepTable table(5, QVector<QVariant>(rows.size() + 1));
    for (int row = 0; row < rows.size(); ++row) {
        table[0][row] = row + 1;
        for (int column = 0; column < rows[row].size(); ++column) {
            table[column + 1][row] = rows[row][column];
        }
    }
    return table;
}

const QVariant kEmpty;

} // namespace

class StepTableChecksTest : public QObject {
    Q_OBJECT
private slots:
    void firstRefusedCellIsReported_data();
    void firstRefusedCellIsReported();
    void acceptedTables_data();
    void acceptedTables();
    void emptyTableIsRefused();
    void cellNumbers_data();
    void cellNumbers();
};

void StepTableChecksTest::firstRefusedCellIsReported_data() {
    QTest::addColumn<Rows>("rows");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("prompt");
    QTest::addColumn<QString>("title");

    const QString voltage = QStringLiteral("列数据错误；请输入4位不大于31的正数");
    const QString current = QStringLiteral("列数据错误；请输入4位不大于5.1的正数");
    const QString hold = QStringLiteral("列数据错误；时间（S）请输入不大于32767的秒数\n"
                                        "Row %1, column 3: the hold time must be a number of "
                                        "seconds not above 32767.");
    const QString voltageTitle = QStringLiteral("电压数据错误");
    const QString currentTitle = QStringLiteral("电流数据错误");
    const QString holdTitle = QStringLiteral("时间数据错误");

    QTest::newRow("row 2 voltage 31.5") << Rows{{5, 1, 3}, {31.5, 1, 3}} << 1 << 1
                                        << QStringLiteral("第2行第1") + voltage << voltageTitle;
    QTest::newRow("row 1 current -0.1")
        << Rows{{5, -0.1, 3}} << 0 << 2 << QStringLiteral("第1行第2") + current << currentTitle;
    QTest::newRow("current of row 1 before voltage of row 3")
        << Rows{{5, 6, 3}, {5, 1, 3}, {40, 1, 3}} << 0 << 2 << QStringLiteral("第1行第2") + current
        << currentTitle;
    QTest::newRow("voltage before current in a row")
        << Rows{{1, 1, 1}, {1, 1, 1}, {32, 9, 3}} << 2 << 1 << QStringLiteral("第3行第1") + voltage
        << voltageTitle;
    QTest::newRow("negative voltage")
        << Rows{{-0.01, 1, 3}} << 0 << 1 << QStringLiteral("第1行第1") + voltage << voltageTitle;
    QTest::newRow("current just above 5.1")
        << Rows{{5, 5.1001, 3}} << 0 << 2 << QStringLiteral("第1行第2") + current << currentTitle;
    QTest::newRow("row 12 in the prompt")
        << (Rows(11, {1, 1, 1}) << QVariantList{31.01, 1, 1}) << 11 << 1
        << QStringLiteral("第12行第1") + voltage << voltageTitle;
    QTest::newRow("text in a voltage cell") << Rows{{QStringLiteral("abc"), 1, 3}} << 0 << 1
                                            << QStringLiteral("第1行第1") + voltage << voltageTitle;
    QTest::newRow("nan in a voltage cell") << Rows{{QStringLiteral("nan"), 1, 3}} << 0 << 1
                                           << QStringLiteral("第1行第1") + voltage << voltageTitle;
    QTest::newRow("text in a current cell") << Rows{{5, QStringLiteral("1A"), 3}} << 0 << 2
                                            << QStringLiteral("第1行第2") + current << currentTitle;
    QTest::newRow("text in a hold time cell")
        << Rows{{5, 1, 3}, {5, 1, QStringLiteral("3s")}} << 1 << 3
        << QStringLiteral("第2行第3") + hold.arg(2) << holdTitle;
    QTest::newRow("blank voltage cell") << Rows{{5, 1, 3}, {kEmpty, 1, 3}} << 1 << 1
                                        << QStringLiteral("第2行第1") + voltage << voltageTitle;
    QTest::newRow("blank current cell") << Rows{{5, QStringLiteral(" "), 3}} << 0 << 2
                                        << QStringLiteral("第1行第2") + current << currentTitle;
    QTest::newRow("blank hold time cell") << Rows{{5, 1, QString()}} << 0 << 3
                                          << QStringLiteral("第1行第3") + hold.arg(1) << holdTitle;
    QTest::newRow("hold time above 32767 s")
        << Rows{{5, 1, 32768}} << 0 << 3 << QStringLiteral("第1行第3") + hold.arg(1) << holdTitle;
    QTest::newRow("hold time of 32767.5 s")
        << Rows{{5, 1, 32767.5}} << 0 << 3 << QStringLiteral("第1行第3") + hold.arg(1) << holdTitle;
}

void StepTableChecksTest::firstRefusedCellIsReported() {
    QFETCH(Rows, rows);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QString, prompt);
    QFETCH(QString, title);
    const StepTableVerdict verdict = checkStepTable(tableOf(rows), rows.size());
    QVERIFY(!verdict.ok);
    QCOMPARE(verdict.prompt, prompt);
    QCOMPARE(verdict.title, title);
    QCOMPARE(verdict.row, row);
    QCOMPARE(verdict.column, column);
}

void StepTableChecksTest::acceptedTables_data() {
    QTest::addColumn<Rows>("rows");
    QTest::newRow("the limits themselves") << Rows{{31, 5.1, 32767}, {0, 0, 0}};
    QTest::newRow("31 V given as text") << Rows{{QStringLiteral("31"), 1, 1}};
    QTest::newRow("hold times below one second") << Rows{{1, 1, -5}, {1, 1, -40000}, {1, 1, 0.4}};
    QTest::newRow("an unused fifth column") << Rows{{1, 1, 1, QStringLiteral("note")}};
}

void StepTableChecksTest::acceptedTables() {
    QFETCH(Rows, rows);
    const StepTableVerdict verdict = checkStepTable(tableOf(rows), rows.size());
    QVERIFY2(verdict.ok, qPrintable(verdict.prompt));
}

void StepTableChecksTest::emptyTableIsRefused() {
    const StepTableVerdict verdict = checkStepTable(tableOf({}), 0);
    QVERIFY(!verdict.ok);
    QVERIFY(verdict.prompt.contains(QStringLiteral("步骤表中没有数据")));
    QVERIFY(verdict.prompt.contains(QStringLiteral("empty")));
    QCOMPARE(verdict.row, -1);
}

void StepTableChecksTest::cellNumbers_data() {
    QTest::addColumn<QVariant>("cell");
    QTest::addColumn<double>("number");
    QTest::newRow("empty") << kEmpty << 0.0;
    QTest::newRow("empty text") << QVariant(QString()) << 0.0;
    QTest::newRow("number") << QVariant(2.5) << 2.5;
    QTest::newRow("numeric text") << QVariant(QStringLiteral("0.123")) << 0.123;
    QTest::newRow("other text") << QVariant(QStringLiteral("abc")) << 0.0;
}

void StepTableChecksTest::cellNumbers() {
    QFETCH(QVariant, cell);
    QFETCH(double, number);
    QCOMPARE(cellNumber(cell), number);
}

QTEST_MAIN(StepTableChecksTest)
#include "test_step_table_checks.moc"
