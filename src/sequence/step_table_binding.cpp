#include "app/main_window.h"

#include "platform/dialogs.h"
#include "platform/screen.h"
#include "sequence/step_grid.h"
#include "sequence/step_table.h"
#include "sequence/step_table_store.h"

#include <QHeaderView>
#include <QSqlDatabase>
#include <QSqlTableModel>
#include <QTableView>

void MainWindow::bindStepTable() {
    static int connections = 0;
    databaseConnection_ = QStringLiteral("velkor-step-table-%1").arg(++connections);
    const QString problem = openStepTable(dataDir(), databaseConnection_);
    stepTableReady_ = problem.isEmpty();
    if (!stepTableReady_) {
        platform_.dialogs->message(problem, QStringLiteral("Velkor"));
        return;
    }
    stepTableModel = new QSqlTableModel(this, QSqlDatabase::database(databaseConnection_));
    stepTableModel->setObjectName(QStringLiteral("stepTableModel"));
    stepTableModel->setTable(kStepTableName);
    stepTableModel->setEditStrategy(QSqlTableModel::OnRowChange);
    stepTableModel->setSort(0, Qt::AscendingOrder);
    stepTableModel->select();

    stepGrid->setModel(stepTableModel);
    stepGrid->setDialogs(platform_.dialogs);
    connect(stepGrid, &StepGrid::saveFailed, this, [this](const QString& why) {
        platform_.dialogs->message(QStringLiteral("输入的数据未能保存到步骤表。\n"
                                                  "The entry could not be saved to the step "
                                                  "table.\n\n%1")
                                       .arg(why),
                                   QStringLiteral("Velkor"));
    });
    QTableView* view = stepGrid->table();
    view->setColumnHidden(kKeyColumn, true);
    view->horizontalHeader()->setFont(stepGrid->font());
    // The column widths are the design's and do not follow the screen.
    const double tppX = platform_.screen->twipsPerPixelX();
    const std::array<int, 3> widths = {1005, 1005, 885};
    for (int column = kVoltageColumn; column <= kHoldColumn; ++column) {
        view->setColumnWidth(column, qRound(widths[column - kVoltageColumn] / tppX));
    }
}
