#include "app/form1.h"

#include "platform/dialogs.h"
#include "platform/screen.h"
#include "sequence/step_grid.h"
#include "sequence/step_table.h"
#include "sequence/step_table_store.h"

#include <QHeaderView>
#include <QSqlDatabase>
#include <QSqlTableModel>
#include <QTableView>

void Form1::bindStepTable() {
    static int connections = 0;
    databaseConnection_ = QStringLiteral("velkor-step-table-%1").arg(++connections);
    const QString problem = openStepTable(dataDir(), databaseConnection_);
    stepTableReady_ = problem.isEmpty();
    if (!stepTableReady_) {
        platform_.dialogs->message(problem, QStringLiteral("Velkor"));
        return;
    }
    Adodc1 = new QSqlTableModel(this, QSqlDatabase::database(databaseConnection_));
    Adodc1->setObjectName(QStringLiteral("Adodc1"));
    Adodc1->setTable(kStepTableName);
    Adodc1->setEditStrategy(QSqlTableModel::OnRowChange);
    Adodc1->setSort(0, Qt::AscendingOrder);
    Adodc1->select();

    DataGrid1->setModel(Adodc1);
    DataGrid1->setDialogs(platform_.dialogs);
    connect(DataGrid1, &StepGrid::saveFailed, this, [this](const QString& why) {
        platform_.dialogs->message(QStringLiteral("输入的数据未能保存到步骤表。\n"
                                                  "The entry could not be saved to the step "
                                                  "table.\n\n%1")
                                       .arg(why),
                                   QStringLiteral("Velkor"));
    });
    QTableView* view = DataGrid1->table();
    view->setColumnHidden(kKeyColumn, true);
    view->horizontalHeader()->setFont(DataGrid1->font());
    // The column widths are the design's and do not follow the screen.
    const double tppX = platform_.screen->twipsPerPixelX();
    const std::array<int, 3> widths = {1005, 1005, 885};
    for (int column = kVoltageColumn; column <= kHoldColumn; ++column) {
        view->setColumnWidth(column, qRound(widths[column - kVoltageColumn] / tppX));
    }
}
