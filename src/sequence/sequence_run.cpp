#include "app/main_window.h"

#include "display/log_box.h"
#include "platform/dialogs.h"
#include "sequence/step_grid.h"
#include "sequence/step_table.h"
#include "setting/setpoint.h"

#include <QPushButton>
#include <QSqlError>
#include <QSqlRecord>
#include <QSqlTableModel>

void MainWindow::runButtonClicked() {
    if (state.runActive) {
        stopOperation();
        setButtonGreen(runButton, false);
        return;
    }
    if (!state.linkUp) {
        return;
    }
    state.chartIndex = 0;
    runCountChosen();
    if (!loadStepTableForRun()) {
        return;
    }
    // The manual period before the run is a record of its own, and the output
    // stays on into the run.
    if (state.outputOn) {
        logBox->appendText(QStringLiteral("\r\n"));
        saveLogAsRecord();
    }
    lockStepGrid(true);
    overCurrentTripped_ = false;
    state.runActive = true;
    state.runEndHandled = 0;
    state.outputOn = true;
    setFrontPanelEnabled(false);
    setButtonGreen(outputButton, false);
    setButtonGreen(runButton, true);
    showButtonCaptions();
    writeLogHeader();
    state.rowSeconds =
        toInt16HalfEven(cellNumber(state.sequenceTable[kHoldColumn][state.rowIndex]));
    state.secondsLeft = state.rowSeconds;
}

// Copies the step table into memory and checks every row; the first bad
// cell refuses the run and is shown to the operator.
bool MainWindow::loadStepTableForRun() {
    if (!stepTableReady_) {
        refuse(QStringLiteral("步骤表数据库不能使用，序列运行不可用。\n"
                              "The step table cannot be used; sequence runs "
                              "are off."),
               QStringLiteral("Velkor"));
        return false;
    }
    // What the grid shows is what runs: an edit still open or not yet saved
    // goes to the table first, and a table that refuses it refuses the run.
    if (!stepGrid->saveEdits()) {
        return false;
    }
    if (!stepTableModel->select()) {
        refuse(QStringLiteral("步骤表未能读取，序列运行未开始。\n"
                              "The step table could not be read; the run "
                              "did not start.\n\n%1")
                   .arg(stepTableModel->lastError().text()),
               QStringLiteral("Velkor"));
        return false;
    }
    while (stepTableModel->canFetchMore()) {
        stepTableModel->fetchMore();
    }
    const int rows = stepTableModel->rowCount();
    const int columns = qMin(stepTableModel->columnCount(), kRunTableColumns);
    state.sequenceTable = StepTable(kRunTableColumns, QVector<QVariant>(rows + 1));
    for (int row = 0; row < rows; ++row) {
        const QSqlRecord record = stepTableModel->record(row);
        for (int column = 0; column < columns; ++column) {
            state.sequenceTable[column][row] = record.value(column);
        }
    }
    const StepTableVerdict verdict = checkStepTable(state.sequenceTable, rows);
    if (!verdict.ok) {
        refuse(verdict.prompt, verdict.title);
        if (verdict.row >= 0) {
            stepGrid->showCell(verdict.row, verdict.column);
        }
        return false;
    }
    stepRows_ = rows;
    return true;
}

void MainWindow::lockStepGrid(bool locked) {
    stepGrid->setLocked(locked);
}

// While a run is active: the row in force and, once a second, its countdown.
void MainWindow::sequenceStep() {
    const auto cell = [this](int column, int row) {
        return cellNumber(state.sequenceTable[column][row]);
    };
    rowVolts_ = cell(kVoltageColumn, state.rowIndex);
    rowAmperes_ = cell(kCurrentColumn, state.rowIndex);
    if (!state.displayTick) {
        return;
    }
    if (state.secondsLeft > 1) {
        --state.secondsLeft;
    } else if (state.rowIndex < stepRows_ - 1) {
        // The new row's values go out from the next tick on.
        ++state.rowIndex;
        state.rowSeconds = toInt16HalfEven(cell(kHoldColumn, state.rowIndex));
        state.secondsLeft = state.rowSeconds;
    } else {
        if (state.runsLeft > 0) {
            --state.runsLeft;
        }
        // The last pass is over and this tick's display update ends the run:
        // the last row stays in force until then, so the output goes from it
        // straight to off, never through the first row again.
        if (!state.runsUnlimited && state.runsLeft == 0) {
            return;
        }
        state.rowIndex = 0;
        rowVolts_ = cell(kVoltageColumn, 0);
        rowAmperes_ = cell(kCurrentColumn, 0);
        state.rowSeconds = toInt16HalfEven(cell(kHoldColumn, 0));
        state.secondsLeft = state.rowSeconds;
    }
}
