#include "sequence/step_table.h"

#include "setting/setpoint_quantity.h"

#include <QtNumeric>

#include <cmath>

namespace {

bool isEmptyCell(const QVariant& cell) {
    return cell.isNull() ||
           (cell.typeId() == QMetaType::QString && cell.toString().trimmed().isEmpty());
}

// The prompts name the cell as the operator sees it: rows from 1, and columns
// from 1 among those shown, as the key column is hidden.
int shownColumn(int column) {
    return column - kKeyColumn;
}

StepTableVerdict refusedSetpoint(int row, int column, const SetpointQuantity& quantity,
                                 bool englishUi) {
    const DesignText prompt{
        QStringLiteral("第%1行第%2列数据错误；").arg(row + 1).arg(shownColumn(column)) +
            quantity.prompt.chinese,
        QStringLiteral("Row %1, column %2: %3.")
            .arg(row + 1)
            .arg(shownColumn(column))
            .arg(quantity.rowRule)};
    return {false,  prompt.text(englishUi), quantity.valueTitle.title(englishUi), row,
            column, prompt.english};
}

StepTableVerdict refusedHoldTime(int row, bool englishUi) {
    return {
        false,
        QStringLiteral("第%1行第%2列数据错误；时间（S）请输入不大于32767的秒数\n"
                       "Row %1, column %2: the hold time must be a number of seconds "
                       "not above 32767.")
            .arg(row + 1)
            .arg(shownColumn(kHoldColumn)),
        DesignText{QStringLiteral("时间数据错误"), QStringLiteral("Hold time out of range")}.title(
            englishUi),
        row, kHoldColumn};
}

// Whether a cell is blank, holds something that is not a number, or a number
// above `highest` or below `lowest`. A blank cell is what the grid keeps of
// text it could not take as a number, so it is refused like that text.
bool refused(const QVariant& cell, double lowest, double highest) {
    if (isEmptyCell(cell)) {
        return true;
    }
    bool numeric = false;
    const double value = cell.toDouble(&numeric);
    return !numeric || std::isnan(value) || value > highest || value < lowest;
}

QVariant cellAt(const StepTable& table, int column, int row) {
    if (column >= table.size() || row >= table[column].size()) {
        return {};
    }
    return table[column][row];
}

} // namespace

StepTableVerdict checkStepTable(const StepTable& table, int rows, bool englishUi) {
    if (rows <= 0) {
        return {false,
                QStringLiteral("步骤表中没有数据，请先在表格中输入电压、电流和时间。\n"
                               "The step table is empty: enter voltage, current and time first."),
                QStringLiteral("Velkor"), -1, -1};
    }
    for (int row = 0; row < rows; ++row) {
        if (refused(cellAt(table, kVoltageColumn, row), 0, kVoltageQuantity.limit())) {
            return refusedSetpoint(row, kVoltageColumn, kVoltageQuantity, englishUi);
        }
        if (refused(cellAt(table, kCurrentColumn, row), 0, kCurrentQuantity.limit())) {
            return refusedSetpoint(row, kCurrentColumn, kCurrentQuantity, englishUi);
        }
        // Any hold time below 2 s runs as one second, so there is no lower end.
        if (refused(cellAt(table, kHoldColumn, row), -qInf(), kLongestHoldSeconds)) {
            return refusedHoldTime(row, englishUi);
        }
    }
    return {};
}

double cellNumber(const QVariant& cell) {
    bool numeric = false;
    const double value = cell.toDouble(&numeric);
    return numeric ? value : 0.0;
}

const QRegularExpression& stepCellPattern() {
    static const QRegularExpression pattern(
        QRegularExpression::anchoredPattern(QStringLiteral("-?(\\d+(\\.\\d*)?|\\.\\d+)|")));
    return pattern;
}

std::optional<QVariant> stepCellValue(const QString& text) {
    if (!stepCellPattern().match(text).hasMatch()) {
        return std::nullopt;
    }
    return text.isEmpty() ? QVariant() : QVariant(text.toDouble());
}
