#pragma once

#include "sequence/step_csv.h"

#include <QSqlDatabase>
#include <QString>

inline const QString kStepTableFile = QStringLiteral("db1.sqlite");
inline const QString kStepTableName = QStringLiteral("VK7100PPS1");

// Opens the step-table database in the data folder under the given
// connection name. A missing file is created with the empty table; an
// existing file is never re-created or altered, and a file that is not a
// database or lacks the table is refused. Returns why, for the operator, or the
// empty text once the table is open.
QString openStepTable(const QString& dataDir, const QString& connectionName);
