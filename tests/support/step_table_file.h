#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

// The step-table file of a test's program directory, reached through a
// connection of the test's own, as another program would see it.

inline const QString kCreateStepTable =
    QStringLiteral("CREATE TABLE VK7100PPS1 (ID INTEGER PRIMARY KEY, \"电压（V）\" REAL, "
                   "\"电流（A）\" REAL, \"时间（S）\" REAL)");

// Runs statements on the file; false (with a warning) when one fails.
inline bool execOnStepFile(const QString& dir, const QStringList& statements) {
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "test-setup");
        db.setDatabaseName(dir + QStringLiteral("/db1.sqlite"));
        ok = db.open();
        for (const QString& statement : statements) {
            QSqlQuery query(db);
            if (ok && !query.exec(statement)) {
                qWarning("%s: %s", qPrintable(statement), qPrintable(query.lastError().text()));
                ok = false;
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("test-setup"));
    return ok;
}

// Creates the step table with the given rows of (voltage, current, hold
// time); a null QVariant is an empty cell.
inline bool writeStepFile(const QString& dir, const QVector<QVariantList>& rows) {
    QStringList statements{kCreateStepTable};
    for (const QVariantList& row : rows) {
        QStringList values;
        for (const QVariant& cell : row) {
            if (cell.isNull()) {
                values << QStringLiteral("NULL");
            } else if (cell.typeId() == QMetaType::QString) {
                values << QStringLiteral("'%1'").arg(cell.toString());
            } else {
                values << QString::number(cell.toDouble(), 'g', 17);
            }
        }
        statements << QStringLiteral("INSERT INTO VK7100PPS1 (\"电压（V）\", \"电流（A）\", "
                                     "\"时间（S）\") VALUES (%1)")
                          .arg(values.join(QStringLiteral(", ")));
    }
    return execOnStepFile(dir, statements);
}

// The rows of the table in key order, each as (voltage, current, hold time),
// an empty cell as a null QVariant.
inline QVector<QVariantList> readStepFile(const QString& dir) {
    QVector<QVariantList> rows;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "test-read");
        db.setDatabaseName(dir + QStringLiteral("/db1.sqlite"));
        if (db.open()) {
            QSqlQuery query(db);
            query.exec(QStringLiteral("SELECT \"电压（V）\", \"电流（A）\", \"时间（S）\" "
                                      "FROM VK7100PPS1 ORDER BY ID"));
            while (query.next()) {
                QVariantList row;
                for (int column = 0; column < 3; ++column) {
                    row << (query.isNull(column) ? QVariant() : query.value(column));
                }
                rows.append(row);
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("test-read"));
    return rows;
}
