#include "fakes.h"
#include "immutable_entry.h"
#include "step_table_file.h"
#include "window/step_grid.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlTableModel>
#include <QTableView>
#include <QtTest>

#include <cstdio>

namespace {

using Rows = QVector<QVariantList>;

const Rows kStored{{5.0, 1.0, 3.0}, {12.0, 2.0, 4.0}};

QByteArray fileDigest(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

// A shown, active window on fakes over a program directory prepared first.
struct GridWindow {
    WindowOnFakes f;
    QTableView* table = nullptr;

    QString dbPath() const { return f.programDir() + QStringLiteral("/db1.sqlite"); }
    MainWindow& open() {
        MainWindow& w = f.build();
        table = w.stepGrid->table();
        w.show();
        if (!QTest::qWaitForWindowActive(&w)) {
            qFatal("the window did not become active");
        }
        return w;
    }
    QString shown(int row, int column) const {
        return table->model()->index(row, column).data().toString();
    }
    void goTo(int row, int column) {
        table->setFocus();
        table->setCurrentIndex(table->model()->index(row, column));
    }
    // Types a value into a cell of the first row and moves down, which
    // leaves the row and so saves it.
    void enterInFirstRow(int column, const QString& text) {
        goTo(0, column);
        for (const QChar c : text) {
            QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    }
    // The run button with the supply answering.
    void pressRun() {
        f.window->session().state.linkUp = true;
        f.window->runButtonClicked();
    }
    QString lastMessage() const {
        return f.dialogs.shown.isEmpty() ? QString() : f.dialogs.shown.last().text;
    }
};

// Run as a process of its own: another program holding an exclusive lock on
// the step-table file until its input closes.
int holdLock(const char* path) {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    db.setDatabaseName(QFile::decodeName(path));
    QSqlQuery query(db);
    if (!db.open() || !query.exec(QStringLiteral("BEGIN EXCLUSIVE"))) {
        return 1;
    }
    std::puts("locked");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return query.exec(QStringLiteral("ROLLBACK")) ? 0 : 1;
}

} // namespace

class DatabaseFaultsTest : public QObject {
    Q_OBJECT
private slots:
    void tableThatCannotBeCreatedIsReportedAndRunsRefused();
    void damagedTableIsReportedAtStartAndKept();
    void deletedTableRefusesTheEditAndIsNotMadeAnew();
    void overwrittenTableRefusesTheRunAndIsKept();
    void readOnlyTableRunsButRefusesEdits();
    void lockedTableRefusesTheSaveQuicklyAndTakesItLater();
};

void DatabaseFaultsTest::tableThatCannotBeCreatedIsReportedAndRunsRefused() {
    GridWindow g;
    ImmutableEntry programDir(g.f.programDir());
    if (!programDir.isSet()) {
        QSKIP("the file system here has no immutable attribute");
    }
    MainWindow& w = g.open();
    QCOMPARE(g.f.dialogs.shown.size(), 1);
    QVERIFY(g.lastMessage().contains(g.dbPath()));
    QVERIFY(!w.session().stepTableReady());
    QVERIFY(!QFile::exists(g.dbPath()));

    g.pressRun();
    QVERIFY(!w.session().running());
    QVERIFY(!w.session().outputOn());
    QCOMPARE(g.f.dialogs.shown.size(), 2);
    QVERIFY(g.lastMessage().contains(QStringLiteral("sequence runs are off")));
}

// A page of the table spoilt while the file's header and catalogue are
// whole: only reading the table itself shows it.
void DatabaseFaultsTest::damagedTableIsReportedAtStartAndKept() {
    GridWindow g;
    QVERIFY(writeStepFile(g.f.programDir(), kStored));
    {
        QFile file(g.dbPath());
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.size() >= 8192);
        QVERIFY(file.seek(4096));
        file.write(QByteArray(4096, '\x5a'));
    }
    const QByteArray before = fileDigest(g.dbPath());

    MainWindow& w = g.open();
    QCOMPARE(g.f.dialogs.shown.size(), 1);
    QVERIFY(g.lastMessage().contains(g.dbPath()));
    QVERIFY2(g.lastMessage().contains(QStringLiteral("damaged")), qPrintable(g.lastMessage()));
    QVERIFY(!w.session().stepTableReady());

    g.pressRun();
    QVERIFY(!w.session().running());
    QVERIFY(g.lastMessage().contains(QStringLiteral("sequence runs are off")));
    w.close();
    g.f.window.reset();
    QCOMPARE(fileDigest(g.dbPath()), before);
}

void DatabaseFaultsTest::deletedTableRefusesTheEditAndIsNotMadeAnew() {
    GridWindow g;
    QVERIFY(writeStepFile(g.f.programDir(), kStored));
    MainWindow& w = g.open();
    if (!QFile::remove(g.dbPath())) {
        QSKIP("this system removes no file that a program holds open, the step table's "
              "database among them");
    }

    g.enterInFirstRow(1, QStringLiteral("7"));
    QCOMPARE(g.f.dialogs.shown.size(), 1);
    QVERIFY(g.lastMessage().contains(QStringLiteral("could not be saved")));
    QCOMPARE(g.shown(0, 1), QStringLiteral("7"));
    QVERIFY(!QFile::exists(g.dbPath()));

    // The grid differs from any table there is: no run.
    g.pressRun();
    QVERIFY(!w.session().running());
    QCOMPARE(g.f.dialogs.shown.size(), 2);
    QVERIFY(!QFile::exists(g.dbPath()));
}

void DatabaseFaultsTest::overwrittenTableRefusesTheRunAndIsKept() {
    GridWindow g;
    QVERIFY(writeStepFile(g.f.programDir(), kStored));
    MainWindow& w = g.open();
    {
        QFile file(g.dbPath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'x'));
    }
    const QByteArray garbage = fileDigest(g.dbPath());

    // A run reads the table anew and finds no table in the file: the run is
    // refused for that, not for an empty table.
    g.pressRun();
    QVERIFY(!w.session().running());
    QVERIFY(!w.session().outputOn());
    QCOMPARE(g.f.dialogs.shown.size(), 1);
    QVERIFY2(g.lastMessage().contains(QStringLiteral("could not be read")) &&
                 g.lastMessage().contains(QStringLiteral("file is not a database")),
             qPrintable(g.lastMessage()));
    w.close();
    g.f.window.reset();
    QCOMPARE(fileDigest(g.dbPath()), garbage);
}

void DatabaseFaultsTest::readOnlyTableRunsButRefusesEdits() {
    GridWindow g;
    QVERIFY(writeStepFile(g.f.programDir(), kStored));
    const QByteArray before = fileDigest(g.dbPath());
    ImmutableEntry readOnly(g.dbPath());
    if (!readOnly.isSet()) {
        QSKIP("the file system here has no immutable attribute");
    }
    MainWindow& w = g.open();
    QVERIFY(g.f.dialogs.shown.isEmpty());
    QVERIFY(w.session().stepTableReady());
    QCOMPARE(g.shown(1, 1), QStringLiteral("12"));

    // A table that cannot be changed still runs.
    g.pressRun();
    QVERIFY(w.session().running());
    w.runButtonClicked();
    QVERIFY(!w.session().running());
    QVERIFY(g.f.dialogs.shown.isEmpty());

    g.enterInFirstRow(1, QStringLiteral("7"));
    QCOMPARE(g.f.dialogs.shown.size(), 1);
    QVERIFY2(g.lastMessage().contains(QStringLiteral("readonly")), qPrintable(g.lastMessage()));
    QCOMPARE(g.shown(0, 1), QStringLiteral("7"));
    QVERIFY(readOnly.lift());
    QCOMPARE(fileDigest(g.dbPath()), before);
    QCOMPARE(readStepFile(g.f.programDir()), kStored);
}

void DatabaseFaultsTest::lockedTableRefusesTheSaveQuicklyAndTakesItLater() {
    GridWindow g;
    QVERIFY(writeStepFile(g.f.programDir(), kStored));
    MainWindow& w = g.open();
    QProcess holder;
    holder.start(QCoreApplication::applicationFilePath(),
                 {QStringLiteral("--hold-lock"), g.dbPath()});
    QVERIFY(holder.waitForReadyRead(5000));
    QCOMPARE(holder.readLine().trimmed(), QByteArray("locked"));

    // The window waits a moment for the lock, not seconds: its timers drive
    // the supply.
    QElapsedTimer held;
    held.start();
    g.enterInFirstRow(1, QStringLiteral("7"));
    const qint64 saveMs = held.elapsed();
    QCOMPARE(g.f.dialogs.shown.size(), 1);
    QVERIFY2(g.lastMessage().contains(QStringLiteral("database is locked")),
             qPrintable(g.lastMessage()));
    QCOMPARE(g.shown(0, 1), QStringLiteral("7"));

    held.restart();
    g.pressRun();
    const qint64 runMs = held.elapsed();
    QVERIFY(!w.session().running());
    QCOMPARE(g.f.dialogs.shown.size(), 2);
    // A held window would wait 10 s each time; a busy machine adds far less.
    QVERIFY2(saveMs < 5000 && runMs < 5000,
             qPrintable(QStringLiteral("save %1 ms, run start %2 ms").arg(saveMs).arg(runMs)));

    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(5000));
    QCOMPARE(holder.exitCode(), 0);
    QCOMPARE(readStepFile(g.f.programDir()), kStored);
    // Leaving the row again saves what was kept.
    g.goTo(0, 1);
    g.goTo(1, 1);
    QCOMPARE(g.f.dialogs.shown.size(), 2);
    QCOMPARE(readStepFile(g.f.programDir()), (Rows{{7.0, 1.0, 3.0}, {12.0, 2.0, 4.0}}));
}

int main(int argc, char** argv) {
    if (argc == 3 && qstrcmp(argv[1], "--hold-lock") == 0) {
        QCoreApplication app(argc, argv);
        return holdLock(argv[2]);
    }
    QApplication app(argc, argv);
    DatabaseFaultsTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "test_database_faults.moc"
