#include "session/supply_session.h"

#include "sequence/step_table.h"
#include "setting/setpoint.h"

#include <QSqlError>
#include <QSqlRecord>
#include <QSqlTableModel>

// Copies the step table into memory and checks every row; the first bad
// cell refuses the run and is shown to the operator.
Refused SupplySession::loadStepTableForRun() {
    const QString velkor = QStringLiteral("Velkor");
    if (!stepTableReady_) {
        return Refusal{QStringLiteral("步骤表数据库不能使用，序列运行不可用。\n"
                                      "The step table cannot be used; sequence runs "
                                      "are off."),
                       velkor};
    }
    // What the grid shows is what runs: an edit still open or not yet saved
    // goes to the table first, and a table that refuses it refuses the run.
    if (commitStepEdits_ && !commitStepEdits_()) {
        return Refusal{QStringLiteral("步骤表的编辑未能保存，序列运行未开始。\n"
                                      "The step table's edits could not be saved; the run "
                                      "did not start."),
                       velkor, false, true};
    }
    if (!stepTableModel_->select()) {
        return Refusal{QStringLiteral("步骤表未能读取，序列运行未开始。\n"
                                      "The step table could not be read; the run "
                                      "did not start.\n\n%1")
                           .arg(stepTableModel_->lastError().text()),
                       velkor};
    }
    while (stepTableModel_->canFetchMore()) {
        stepTableModel_->fetchMore();
    }
    const int rows = stepTableModel_->rowCount();
    const int columns = qMin(stepTableModel_->columnCount(), kRunTableColumns);
    state.sequenceTable = StepTable(kRunTableColumns, QVector<QVariant>(rows + 1));
    for (int row = 0; row < rows; ++row) {
        const QSqlRecord record = stepTableModel_->record(row);
        for (int column = 0; column < columns; ++column) {
            state.sequenceTable[column][row] = record.value(column);
        }
    }
    const StepTableVerdict verdict = checkStepTable(state.sequenceTable, rows, state.englishUi);
    if (!verdict.ok) {
        if (verdict.row >= 0) {
            emit stepCellRefused(verdict.row, verdict.column);
        }
        return Refusal{verdict.prompt, verdict.title, false, false, verdict.english};
    }
    stepRows_ = rows;
    return std::nullopt;
}

// While a run is active: the row in force and, once a second, its countdown.
void SupplySession::sequenceStep() {
    const auto cell = [this](int column, int row) {
        return cellNumber(state.sequenceTable[column][row]);
    };
    rowVolts_ = cell(kVoltageColumn, state.rowIndex);
    rowAmperes_ = cell(kCurrentColumn, state.rowIndex);
    stepInForce_ = {state.rowIndex + 1, state.passNumber};
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
        ++state.passNumber;
        rowVolts_ = cell(kVoltageColumn, 0);
        rowAmperes_ = cell(kCurrentColumn, 0);
        stepInForce_ = {1, state.passNumber};
        state.rowSeconds = toInt16HalfEven(cell(kHoldColumn, 0));
        state.secondsLeft = state.rowSeconds;
    }
}
