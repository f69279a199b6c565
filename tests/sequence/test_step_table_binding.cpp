#include "fakes.h"
#include "sequence/step_table_store.h"
#include "step_table_file.h"
#include "window/step_grid.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSqlTableModel>
#include <QTableView>
#include <QtTest>

namespace {

QByteArray fileDigest(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

} // namespace

class StepTableBindingTest : public QObject {
    Q_OBJECT
private slots:
    void missingFileIsCreatedWithTheEmptyTable();
    void existingTableIsShownInKeyOrderAndKept();
    void unusableFilesAreReportedAndKept_data();
    void unusableFilesAreReportedAndKept();
};

void StepTableBindingTest::missingFileIsCreatedWithTheEmptyTable() {
    WindowOnFakes f;
    MainWindow& w = f.build();
    QVERIFY(f.dialogs.shown.isEmpty());
    QVERIFY(w.session().stepTableReady());
    const QString path = f.programDir() + QStringLiteral("/db1.sqlite");
    QVERIFY(QFile::exists(path));

    const QSqlRecord record = w.session().stepTableModel()->record();
    QCOMPARE(record.count(), 4);
    QCOMPARE(record.fieldName(0), QStringLiteral("ID"));
    QCOMPARE(record.fieldName(1), QStringLiteral("电压（V）"));
    QCOMPARE(record.fieldName(2), QStringLiteral("电流（A）"));
    QCOMPARE(record.fieldName(3), QStringLiteral("时间（S）"));
    QCOMPARE(w.session().stepTableModel()->rowCount(), 0);
    QCOMPARE(w.session().stepTableModel()->editStrategy(), QSqlTableModel::OnRowChange);

    QTableView* view = w.stepGrid->table();
    QVERIFY(view->isColumnHidden(0));
    QCOMPARE(view->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("电压（V）"));
    QCOMPARE(view->model()->headerData(3, Qt::Horizontal).toString(), QStringLiteral("时间（S）"));
    QCOMPARE(view->columnWidth(1), 67);
    QCOMPARE(view->columnWidth(2), 67);
    QCOMPARE(view->columnWidth(3), 59);
}

void StepTableBindingTest::existingTableIsShownInKeyOrderAndKept() {
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/db1.sqlite");
    QVERIFY(
        execOnStepFile(dir.path(), {kCreateStepTable,
                                    QStringLiteral("INSERT INTO VK7100PPS1 VALUES (7, 10, 2, 2)"),
                                    QStringLiteral("INSERT INTO VK7100PPS1 VALUES (3, 5, 1, 3)")}));
    const QByteArray before = fileDigest(path);

    WindowOnFakes f;
    QVERIFY(QFile::copy(path, f.programDir() + QStringLiteral("/db1.sqlite")));
    MainWindow& w = f.build();
    QVERIFY(f.dialogs.shown.isEmpty());
    QVERIFY(w.session().stepTableReady());
    QCOMPARE(w.session().stepTableModel()->rowCount(), 2);
    QCOMPARE(
        w.session().stepTableModel()->data(w.session().stepTableModel()->index(0, 1)).toDouble(),
        5.0);
    QCOMPARE(
        w.session().stepTableModel()->data(w.session().stepTableModel()->index(1, 1)).toDouble(),
        10.0);
    w.close();
    f.window.reset();
    QCOMPARE(fileDigest(f.programDir() + QStringLiteral("/db1.sqlite")), before);
}

void StepTableBindingTest::unusableFilesAreReportedAndKept_data() {
    QTest::addColumn<QStringList>("statements");
    QTest::addColumn<QByteArray>("rawBytes");
    QTest::newRow("not a database")
        << QStringList() << QByteArray("Standard Jet DB\0\x01\x02 definitely not sqlite", 40);
    QTest::newRow("table missing")
        << QStringList{QStringLiteral("CREATE TABLE other (ID INTEGER PRIMARY KEY)")}
        << QByteArray();
    QTest::newRow("too few columns")
        << QStringList{QStringLiteral("CREATE TABLE VK7100PPS1 (ID INTEGER PRIMARY KEY, v REAL)")}
        << QByteArray();
}

void StepTableBindingTest::unusableFilesAreReportedAndKept() {
    QFETCH(QStringList, statements);
    QFETCH(QByteArray, rawBytes);
    WindowOnFakes f;
    const QString path = f.programDir() + QStringLiteral("/db1.sqlite");
    if (!rawBytes.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(rawBytes);
    } else {
        QVERIFY(execOnStepFile(f.programDir(), statements));
    }
    const QByteArray before = fileDigest(path);

    MainWindow& w = f.build();
    QCOMPARE(f.dialogs.shown.size(), 1);
    QVERIFY(f.dialogs.shown.first().text.contains(path));
    QVERIFY(!w.session().stepTableReady());
    QCOMPARE(w.voltageEntry->text(), QStringLiteral("0V"));
    QCOMPARE(w.runCountList->count(), 101);
    w.close();
    f.window.reset();
    QCOMPARE(fileDigest(path), before);
}

QTEST_MAIN(StepTableBindingTest)
#include "test_step_table_binding.moc"
