#include "sequence/step_table_store.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {

const QString kCreateTable =
    QStringLiteral("CREATE TABLE VK7100PPS1 (ID INTEGER PRIMARY KEY, \"电压（V）\" REAL, "
                   "\"电流（A）\" REAL, \"时间（S）\" REAL)");

// How long a change waits for another program that holds the file locked
// before it is refused. Everything runs on the window's thread, so this wait
// holds the timers that drive the supply.
constexpr int kLockWaitMs = 250;

QString refused(const QString& path, const QString& why) {
    return QStringLiteral("步骤表数据库不能使用，序列运行不可用。\n"
                          "The step table cannot be used; sequence runs are off.\n\n%1\n%2")
        .arg(path, why);
}

} // namespace

QString openStepTable(const QString& dataDir, const QString& connectionName) {
    const QString path = dataDir + QLatin1Char('/') + kStepTableFile;
    const bool existed = QFileInfo::exists(path);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kLockWaitMs));
    if (!db.open()) {
        return refused(path, db.lastError().text());
    }
    if (!existed) {
        QSqlQuery create(db);
        if (!create.exec(kCreateTable)) {
            return refused(path, create.lastError().text());
        }
        return {};
    }
    // SQLite opens any file lazily; reading the catalogue tells whether it
    // really is a database.
    QSqlQuery probe(db);
    if (!probe.exec(QStringLiteral("SELECT name FROM sqlite_master"))) {
        return refused(path, probe.lastError().text());
    }
    if (!db.tables().contains(kStepTableName)) {
        return refused(path, QStringLiteral("表 VK7100PPS1 不存在 / table VK7100PPS1 is missing"));
    }
    const int columns = db.record(kStepTableName).count();
    if (columns < 4 || columns > 5) {
        return refused(path, QStringLiteral("表 VK7100PPS1 有 %1 列，应为 4 或 5 / "
                                            "table VK7100PPS1 has %1 columns, not 4 or 5")
                                 .arg(columns));
    }
    // A damaged page shows only when it is read: without this the grid would
    // show the table as empty and take new rows into the damaged file.
    QSqlQuery check(db);
    if (!check.exec(QStringLiteral("PRAGMA quick_check(1)"))) {
        return refused(path, check.lastError().text());
    }
    if (!check.next() || check.value(0).toString() != QStringLiteral("ok")) {
        return refused(
            path,
            QStringLiteral("文件已损坏 / the file is damaged: %1").arg(check.value(0).toString()));
    }
    return {};
}
