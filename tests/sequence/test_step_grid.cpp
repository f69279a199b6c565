#include "fakes.h"
#include "step_table_file.h"
#include "window/step_grid.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSqlTableModel>
#include <QTableView>
#include <QtTest>

namespace {

using Rows = QVector<QVariantList>;

// A shown, active window on fakes whose step table starts with the given rows.
struct GridWindow {
    WindowOnFakes f;
    MainWindow* w = nullptr;
    QTableView* table = nullptr;

    explicit GridWindow(const Rows& rows) {
        if (!rows.isEmpty() && !writeStepFile(f.programDir(), rows)) {
            qFatal("cannot write the step table");
        }
        w = &f.build();
        table = w->stepGrid->table();
        w->show();
        if (!QTest::qWaitForWindowActive(w)) {
            qFatal("the window did not become active");
        }
    }
    Rows file() const { return readStepFile(f.programDir()); }
    int gridRows() const { return table->model()->rowCount(); }
    QString shown(int row, int column) const {
        return table->model()->index(row, column).data().toString();
    }
    QString rowHeading(int row) const {
        return table->model()->headerData(row, Qt::Vertical).toString();
    }
    bool editable(int row, int column) const {
        return table->model()->flags(table->model()->index(row, column)) & Qt::ItemIsEditable;
    }
    void goTo(int row, int column) {
        table->setFocus();
        table->setCurrentIndex(table->model()->index(row, column));
    }
};

// Keys as the operator types them: each goes to whatever has the focus.
void type(const QString& text) {
    for (const QChar c : text) {
        QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
    }
}

void press(Qt::Key key) {
    QTest::keyClick(QApplication::focusWidget(), key);
}

// A file of the test's program directory with these bytes; its path.
QString writeFile(const GridWindow& g, const QString& name, const QByteArray& bytes) {
    const QString path = g.f.programDir() + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        qFatal("cannot write %s", qPrintable(path));
    }
    return path;
}

// Runs the event loop until the grid's import or export has ended.
bool transferEnds(const GridWindow& g) {
    return QTest::qWaitFor([&g] { return !g.w->stepGrid->isTransferring(); }, 30000);
}

// Steps as CSV in the form an export writes, with the rows they are.
struct StepFile {
    QByteArray bytes = "voltage_V,current_A,hold_time_s\r\n";
    Rows rows;
};

StepFile manySteps(int count) {
    StepFile file;
    for (int i = 0; i < count; ++i) {
        file.bytes += QStringLiteral("%1.25,%2.5,%3\r\n").arg(i % 31).arg(i % 5).arg(i).toUtf8();
        file.rows.append({i % 31 + 0.25, i % 5 + 0.5, double(i)});
    }
    return file;
}

QVariantList volts(const Rows& rows) {
    QVariantList column;
    for (const QVariantList& row : rows) {
        column << row[0];
    }
    return column;
}

} // namespace

class StepGridTest : public QObject {
    Q_OBJECT
private slots:
    void typedNumbersAreStoredAsTyped_data();
    void typedNumbersAreStoredAsTyped();
    void onlyNumbersCanBeTypedAndACellCanBeEmptied();
    void editIsSavedWhenTheOperatorLeavesTheRow_data();
    void editIsSavedWhenTheOperatorLeavesTheRow();
    void typingIntoTheEmptyRowAddsAStep();
    void passingThroughTheEmptyRowAddsNothing();
    void deleteKeyRemovesTheSelectedRows();
    void lockedGridRefusesEveryEdit();
    void entryTheTableRefusesIsReportedAndKept();
    void onlyTheThreeStepColumnsAreShown();
    void importReplacesTheTableOnlyWhenEveryLineIsGood_data();
    void importReplacesTheTableOnlyWhenEveryLineIsGood();
    void largestTableGoesThroughInSlicesWithTheGridLocked();
    void runStartedDuringAnImportKeepsItsTableAndItsLock();
    void contextMenuSpeaksTheLanguageAndExportWritesTheTable();
};

void StepGridTest::typedNumbersAreStoredAsTyped_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("stored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("current of three decimals") << 2 << "0.123" << 0.123 << "0.123";
    QTest::newRow("voltage of three decimals") << 1 << "12.345" << 12.345 << "12.345";
    QTest::newRow("an hour") << 3 << "3600" << 3600.0 << "3600";
    QTest::newRow("half seconds") << 3 << "2.5" << 2.5 << "2.5";
    QTest::newRow("no leading zero") << 1 << ".5" << 0.5 << "0.5";
    QTest::newRow("negative") << 3 << "-1" << -1.0 << "-1";
}

void StepGridTest::typedNumbersAreStoredAsTyped() {
    QFETCH(int, column);
    QFETCH(QString, typed);
    QFETCH(double, stored);
    QFETCH(QString, shown);
    GridWindow g({{5, 1, 3}, {10, 2, 2}});
    // Shown with "." whatever the operator's locale says.
    g.table->setLocale(QLocale(QLocale::German));
    g.goTo(0, column);
    type(typed);
    press(Qt::Key_Down);
    QCOMPARE(g.file()[0][column - 1].toDouble(), stored);
    QCOMPARE(g.shown(0, column), shown);
    QCOMPARE(g.file()[1], (QVariantList{10.0, 2.0, 2.0}));
}

void StepGridTest::onlyNumbersCanBeTypedAndACellCanBeEmptied() {
    GridWindow g({{5, 1, 3}});
    g.goTo(0, 1);
    type(QStringLiteral("1a2V.5.x"));
    press(Qt::Key_Tab);
    QCOMPARE(g.shown(0, 1), QStringLiteral("12.5"));
    // An edit with nothing left in it empties the cell.
    g.goTo(0, 2);
    press(Qt::Key_F2);
    press(Qt::Key_End);
    press(Qt::Key_Backspace);
    press(Qt::Key_Down);
    QCOMPARE(g.file(), (Rows{{12.5, QVariant(), 3.0}}));
    QVERIFY(g.f.dialogs.shown.isEmpty());
}

void StepGridTest::editIsSavedWhenTheOperatorLeavesTheRow_data() {
    QTest::addColumn<QString>("leaving");
    QTest::newRow("row below") << "row below";
    QTest::newRow("row above") << "row above";
    QTest::newRow("another control") << "another control";
    QTest::newRow("window closed") << "window closed";
}

void StepGridTest::editIsSavedWhenTheOperatorLeavesTheRow() {
    QFETCH(QString, leaving);
    GridWindow g({{1, 1, 1}, {2, 1, 1}, {3, 1, 1}});
    g.goTo(1, 1);
    type(QStringLiteral("6"));
    // Along the row first, and a change of mind in the next cell: the row
    // is still the same and keeps its edit.
    press(Qt::Key_Tab);
    type(QStringLiteral("9"));
    press(Qt::Key_Escape);
    if (leaving == QStringLiteral("row below")) {
        press(Qt::Key_Down);
    } else if (leaving == QStringLiteral("row above")) {
        press(Qt::Key_Up);
    } else if (leaving == QStringLiteral("another control")) {
        g.w->runCountList->setFocus();
    } else {
        g.w->close();
    }
    QCOMPARE(g.file(), (Rows{{1.0, 1.0, 1.0}, {6.0, 1.0, 1.0}, {3.0, 1.0, 1.0}}));
}

void StepGridTest::typingIntoTheEmptyRowAddsAStep() {
    GridWindow g({{5, 1, 3}});
    QCOMPARE(g.gridRows(), 2);
    QCOMPARE(g.rowHeading(1), QStringLiteral("*"));
    QVERIFY(g.shown(1, 1).isEmpty());

    g.goTo(1, 1);
    type(QStringLiteral("7.5"));
    press(Qt::Key_Tab);
    // The step just begun keeps the cursor; a new empty row is below it.
    QCOMPARE(g.table->currentIndex().row(), 1);
    QCOMPARE(g.gridRows(), 3);
    QCOMPARE(g.rowHeading(2), QStringLiteral("*"));
    type(QStringLiteral("0.25"));
    press(Qt::Key_Tab);
    type(QStringLiteral("4"));
    press(Qt::Key_Down);
    QCOMPARE(g.file(), (Rows{{5.0, 1.0, 3.0}, {7.5, 0.25, 4.0}}));

    // Only a voltage: the other cells stay empty.
    g.goTo(2, 1);
    type(QStringLiteral("9"));
    press(Qt::Key_Up);
    QCOMPARE(g.file(), (Rows{{5.0, 1.0, 3.0}, {7.5, 0.25, 4.0}, {9.0, QVariant(), QVariant()}}));
    QCOMPARE(g.gridRows(), 4);
    QCOMPARE(g.shown(2, 1), QStringLiteral("9"));
    QVERIFY(g.f.dialogs.shown.isEmpty());
}

void StepGridTest::passingThroughTheEmptyRowAddsNothing() {
    GridWindow g({{5, 1, 3}});
    g.goTo(1, 1);
    press(Qt::Key_F2);
    press(Qt::Key_Tab);
    press(Qt::Key_Tab);
    press(Qt::Key_Up);
    QCOMPARE(g.gridRows(), 2);
    QCOMPARE(g.file(), (Rows{{5.0, 1.0, 3.0}}));
}

void StepGridTest::deleteKeyRemovesTheSelectedRows() {
    GridWindow g({{1, 1, 1}, {2, 1, 1}, {3, 1, 1}, {4, 1, 1}});
    g.goTo(1, 1);
    g.table->selectRow(1);
    g.table->selectionModel()->select(g.table->model()->index(3, 1),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    press(Qt::Key_Delete);
    QCOMPARE(volts(g.file()), (QVariantList{1.0, 3.0}));
    QCOMPARE(g.gridRows(), 3);
    QCOMPARE(g.shown(1, 1), QStringLiteral("3"));
    QCOMPARE(g.rowHeading(2), QStringLiteral("*"));
    QCOMPARE(g.table->currentIndex().row(), 1);

    // The empty row is no step to remove.
    g.goTo(2, 1);
    g.table->selectRow(2);
    press(Qt::Key_Delete);
    QCOMPARE(volts(g.file()), (QVariantList{1.0, 3.0}));
    QCOMPARE(g.gridRows(), 3);

    // A row being edited is saved before the rows go.
    g.goTo(0, 1);
    type(QStringLiteral("8"));
    press(Qt::Key_Tab);
    g.table->selectRow(1);
    press(Qt::Key_Delete);
    QCOMPARE(volts(g.file()), (QVariantList{8.0}));
}

void StepGridTest::lockedGridRefusesEveryEdit() {
    GridWindow g({{4, 1, 3}});
    // An entry still being typed when the lock comes is kept.
    g.goTo(0, 1);
    type(QStringLiteral("5"));
    g.w->stepGrid->setLocked(true);
    QCOMPARE(g.file(), (Rows{{5.0, 1.0, 3.0}}));
    for (int column = 1; column <= 3; ++column) {
        QVERIFY(!g.editable(0, column));
        QVERIFY(!g.editable(1, column));
        g.goTo(0, column);
        type(QStringLiteral("2"));
        press(Qt::Key_F2);
        type(QStringLiteral("2"));
        g.goTo(1, column);
        type(QStringLiteral("2"));
    }
    g.table->selectRow(0);
    press(Qt::Key_Delete);
    g.w->runCountList->setFocus();
    QCOMPARE(g.file(), (Rows{{5.0, 1.0, 3.0}}));
    QCOMPARE(g.gridRows(), 2);
    QCOMPARE(g.shown(0, 1), QStringLiteral("5"));

    g.w->stepGrid->setLocked(false);
    for (int column = 1; column <= 3; ++column) {
        QVERIFY(g.editable(0, column));
    }
    g.goTo(0, 3);
    type(QStringLiteral("2"));
    press(Qt::Key_Down);
    QCOMPARE(g.file(), (Rows{{5.0, 1.0, 2.0}}));
}

void StepGridTest::entryTheTableRefusesIsReportedAndKept() {
    GridWindow g({{5, 1, 3}});
    QVERIFY(execOnStepFile(g.f.programDir(),
                           {QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON VK7100PPS1 "
                                           "WHEN NEW.\"电压（V）\" > 100 BEGIN "
                                           "SELECT RAISE(ABORT, 'no such voltage'); END")}));
    g.goTo(0, 1);
    type(QStringLiteral("200"));
    press(Qt::Key_Down);
    QCOMPARE(g.f.dialogs.shown.size(), 1);
    QVERIFY(g.f.dialogs.shown.first().text.contains(QStringLiteral("no such voltage")));
    QCOMPARE(g.shown(0, 1), QStringLiteral("200"));
    QCOMPARE(g.file(), (Rows{{5.0, 1.0, 3.0}}));
    QVERIFY(!g.w->stepGrid->saveEdits());

    // A run cannot start from a table that differs from the grid.
    g.f.dialogs.shown.clear();
    g.w->session().state.linkUp = true;
    g.w->runButtonClicked();
    QVERIFY(!g.w->session().running());
    QVERIFY(!g.w->stepGrid->isLocked());
    QCOMPARE(g.f.dialogs.shown.size(), 1);
    QCOMPARE(g.shown(0, 1), QStringLiteral("200"));
}

void StepGridTest::onlyTheThreeStepColumnsAreShown() {
    WindowOnFakes f;
    QVERIFY(execOnStepFile(
        f.programDir(),
        {QStringLiteral("CREATE TABLE VK7100PPS1 (ID INTEGER PRIMARY KEY, \"电压（V）\" REAL, "
                        "\"电流（A）\" REAL, \"时间（S）\" REAL, note TEXT)"),
         QStringLiteral("INSERT INTO VK7100PPS1 VALUES (1, 5, 1, 3, 'bench A')")}));
    MainWindow& w = f.build();
    const QTableView* table = w.stepGrid->table();
    QStringList shown;
    for (int column = 0; column < table->model()->columnCount(); ++column) {
        if (!table->isColumnHidden(column)) {
            shown << table->model()->headerData(column, Qt::Horizontal).toString();
        }
    }
    QCOMPARE(shown, (QStringList{QStringLiteral("电压（V）"), QStringLiteral("电流（A）"),
                                 QStringLiteral("时间（S）")}));
    // A table read anew shows the same.
    QVERIFY(w.session().stepTableModel()->select());
    QCOMPARE(table->model()->columnCount(), 4);
    QVERIFY(table->isColumnHidden(0));
}

void StepGridTest::importReplacesTheTableOnlyWhenEveryLineIsGood_data() {
    QTest::addColumn<Rows>("before");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("answerYes");
    QTest::addColumn<Rows>("after");
    // What the message names; empty when there is none.
    QTest::addColumn<QString>("named");
    const Rows table{{5.0, 1.0, 3.0}};
    QTest::newRow("header, into an empty table: no question")
        << Rows{}
        << QByteArray("\xEF\xBB\xBFvoltage_V,current_A,hold_time_s\r\n12.5,1,60\r\n0,.5,0\r\n")
        << false << Rows{{12.5, 1.0, 60.0}, {0.0, 0.5, 0.0}} << QString();
    QTest::newRow("no header, quoted, a blank line: replaces when the operator agrees")
        << table << QByteArray("1,2,3\n\n\"4\",\"0.1\",-1\n") << true
        << Rows{{1.0, 2.0, 3.0}, {4.0, 0.1, -1.0}} << QString();
    QTest::newRow("the operator declines")
        << table << QByteArray("1,2,3\n") << false << table << QString();
    QTest::newRow("text in a cell") << table << QByteArray("1,2,3\n4,x,5\n") << true << table
                                    << QStringLiteral("Line 2, cell 2 (“x”)");
    QTest::newRow("a blank cell") << table << QByteArray("1,2,3\n4,,5\n") << true << table
                                  << QStringLiteral("Line 2, cell 2 is empty");
    QTest::newRow("a voltage above the limit, after a header")
        << table << QByteArray("电压（V）,电流（A）,时间（S）\r\n1,2,3\r\n40,1,1\r\n") << true
        << table << QStringLiteral("第3行第1格“40”");
    QTest::newRow("a hold time above the 16-bit counter")
        << table << QByteArray("1,1,40000\n") << true << table
        << QStringLiteral("Line 1, cell 3 (“40000”)");
    QTest::newRow("a stray unit is not a header")
        << table << QByteArray("12V,1A,5s\n") << true << table
        << QStringLiteral("Line 1, cell 1 (“12V”)");
    QTest::newRow("decimal commas and semicolons")
        << table << QByteArray("12,5;1;60\n") << true << Rows{{12.5, 1.0, 60.0}} << QString();
    QTest::newRow("a line longer than 1024 bytes")
        << table << "1,2,3\n" + QByteArray("4,1,5").leftJustified(1025, ' ') + "\n"
        << true << table << QStringLiteral("Line 2 is longer than 1024 bytes");
    // Good steps padded to one byte more than 2 MB: refused unread.
    QByteArray padded;
    while (padded.size() + 100 < 2 * 1024 * 1024) {
        padded += QByteArray("12.5,1,60").leftJustified(99, ' ') + '\n';
    }
    padded += QByteArray("12.5,1,60").leftJustified(2 * 1024 * 1024 - padded.size(), ' ') + '\n';
    QTest::newRow("larger than 2 MB")
        << table << padded << true << table
        << QStringLiteral("The file is 2097153 bytes; an import takes at most 2 MB");
}

void StepGridTest::importReplacesTheTableOnlyWhenEveryLineIsGood() {
    QFETCH(Rows, before);
    QFETCH(QByteArray, file);
    QFETCH(bool, answerYes);
    QFETCH(Rows, after);
    QFETCH(QString, named);
    GridWindow g(before);
    g.f.dialogs.fileToOpen = writeFile(g, QStringLiteral("steps.csv"), file);
    g.f.dialogs.answerYes = answerYes;

    g.w->stepGrid->importSteps();
    // The work goes on in later turns of the event loop.
    QCOMPARE(g.file(), before);
    QVERIFY(transferEnds(g));
    QCOMPARE(g.file(), after);
    QCOMPARE(g.gridRows(), after.size() + 1);
    QVERIFY(g.editable(0, 1));
    QCOMPARE(g.f.dialogs.asked.size(), named.isEmpty() && !before.isEmpty() ? 1 : 0);
    QCOMPARE(g.f.dialogs.shown.size(), named.isEmpty() ? 0 : 1);
    if (!named.isEmpty()) {
        QVERIFY2(g.f.dialogs.shown.first().text.contains(named),
                 qPrintable(g.f.dialogs.shown.first().text));
    }
}

void StepGridTest::largestTableGoesThroughInSlicesWithTheGridLocked() {
    GridWindow g({});
    // More steps than the grid fetches at once, in one statement.
    QVERIFY(execOnStepFile(
        g.f.programDir(),
        {QStringLiteral("WITH RECURSIVE step(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM step "
                        "WHERE n < 1000) INSERT INTO VK7100PPS1 (\"电压（V）\", \"电流（A）\", "
                        "\"时间（S）\") SELECT 1, 1, n FROM step")}));
    QVERIFY(g.w->session().stepTableModel()->select());
    const StepFile largest = manySteps(kMostSteps);
    g.f.dialogs.fileToOpen = writeFile(g, QStringLiteral("largest.csv"), largest.bytes);

    g.w->stepGrid->importSteps();
    QVERIFY(!g.editable(0, 1));
    // A second transfer would read a table the first is replacing.
    g.f.dialogs.fileToSave = g.f.programDir() + QStringLiteral("/early.csv");
    g.w->stepGrid->exportSteps();
    QCOMPARE(g.f.dialogs.shown.size(), 1);
    QVERIFY(g.f.dialogs.shown.first().text.contains(QStringLiteral("being imported or exported")));
    QVERIFY(transferEnds(g));
    // Counted in the table, of which the grid had fetched only the first rows.
    QCOMPARE(g.f.dialogs.asked.size(), 1);
    QVERIFY2(g.f.dialogs.asked.first().text.contains(
                 QStringLiteral("Replace the 1000 steps of the table with the 32767 steps")),
             qPrintable(g.f.dialogs.asked.first().text));
    QCOMPARE(g.file(), largest.rows);
    QVERIFY(g.editable(0, 1));
    QVERIFY(!QFile::exists(g.f.dialogs.fileToSave));

    g.f.dialogs.fileToSave = g.f.programDir() + QStringLiteral("/exported.csv");
    g.w->stepGrid->exportSteps();
    QVERIFY(!QFile::exists(g.f.dialogs.fileToSave));
    QVERIFY(!g.editable(0, 1));
    QVERIFY(transferEnds(g));
    QCOMPARE(fileBytes(g.f.dialogs.fileToSave), largest.bytes);

    // Another import on the same connection, while the grid's model again
    // has rows left to fetch.
    const StepFile few = manySteps(3);
    g.f.dialogs.fileToOpen = writeFile(g, QStringLiteral("few.csv"), few.bytes);
    g.w->stepGrid->importSteps();
    QVERIFY(transferEnds(g));
    QCOMPARE(g.file(), few.rows);
    QCOMPARE(g.f.dialogs.shown.size(), 1);
}

void StepGridTest::runStartedDuringAnImportKeepsItsTableAndItsLock() {
    GridWindow g({{5, 1, 3}});
    g.f.dialogs.fileToOpen = writeFile(g, QStringLiteral("steps.csv"), "1,2,3\n4,1,5\n");

    g.w->stepGrid->importSteps();
    g.w->stepGrid->setLocked(true);
    QVERIFY(transferEnds(g));
    QCOMPARE(g.file(), (Rows{{5.0, 1.0, 3.0}}));
    QCOMPARE(g.f.dialogs.shown.size(), 1);
    QVERIFY(g.f.dialogs.shown.first().text.contains(QStringLiteral("A run is going")));
    QVERIFY(g.w->stepGrid->isLocked());
    QVERIFY(!g.editable(0, 1));
    g.w->stepGrid->setLocked(false);
    QVERIFY(g.editable(0, 1));
}

void StepGridTest::contextMenuSpeaksTheLanguageAndExportWritesTheTable() {
    GridWindow g({{12.5, 1.0, 60.0}, {0.0, 0.123, 2.0}});
    const auto menuTexts = [&g] {
        QMenu* menu = g.w->stepGrid->showContextMenu(g.w->mapToGlobal(QPoint(10, 10)));
        QStringList texts;
        for (const QAction* action : menu->actions()) {
            texts << action->text() + (action->isEnabled() ? QString() : QStringLiteral(" (off)"));
        }
        menu->close();
        return texts;
    };
    QCOMPARE(menuTexts(), (QStringList{QStringLiteral("导入 CSV…"), QStringLiteral("导出 CSV…")}));
    g.w->languageList->setCurrentIndex(1);
    emit g.w->languageList->activated(1);
    ticks(*g.w, 10);
    QCOMPARE(menuTexts(),
             (QStringList{QStringLiteral("Import CSV…"), QStringLiteral("Export CSV…")}));
    g.w->stepGrid->setLocked(true);
    QCOMPARE(menuTexts(),
             (QStringList{QStringLiteral("Import CSV… (off)"), QStringLiteral("Export CSV…")}));
    g.w->stepGrid->setLocked(false);

    const QString path = g.f.programDir() + QStringLiteral("/out.csv");
    g.f.dialogs.fileToSave = path;
    g.w->stepGrid->exportSteps();
    QVERIFY(transferEnds(g));
    QCOMPARE(fileBytes(path),
             QByteArray("voltage_V,current_A,hold_time_s\r\n12.5,1,60\r\n0,0.123,2\r\n"));
    QCOMPARE(g.f.dialogs.chooserTitles, QStringList{QStringLiteral("Export step table")});

    // What was exported comes back as it was.
    QVERIFY(execOnStepFile(g.f.programDir(), {QStringLiteral("DELETE FROM VK7100PPS1")}));
    g.w->session().stepTableModel()->select();
    g.f.dialogs.fileToOpen = path;
    g.w->stepGrid->importSteps();
    QVERIFY(transferEnds(g));
    QCOMPARE(g.file(), (Rows{{12.5, 1.0, 60.0}, {0.0, 0.123, 2.0}}));
    QVERIFY(g.f.dialogs.shown.isEmpty());
}

QTEST_MAIN(StepGridTest)
#include "test_step_grid.moc"
